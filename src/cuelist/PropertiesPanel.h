#pragma once

// The properties panel `pctProperties`: the controls that edit the selected cue, their
// handlers, the two selectors and the stacking of the panel's rows.
//
// Every handler writes its change straight into the selected row of the editor's list. A
// value the program puts into a control runs that control's handler to its end before the put
// returns, also when the control already holds that value, so that loading a cue rewrites
// the row's fields in the forms the handlers give them.

#include "CueRecord.h"

#include <QWidget>
#include <array>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace sorvane {

class CueListEditor;
class CueListModel;
struct CueRow;
class Shell;

class PropertiesPanel : public QWidget {
    Q_OBJECT
public:
    PropertiesPanel(CueListEditor& editor, Shell& shell, QWidget* client);
    ~PropertiesPanel() override;

    // --- the controls, by name ----------------------------------------------------------
    // pctProperty(0..9): the rows (description, start condition, value, file, volume,
    // position markers and rate, begin on, channel, fade speed, play count).
    QWidget* pctProperty(int index) const { return pctProperty_[static_cast<size_t>(index)]; }
    QLineEdit* txtCueNumber() const { return txtCueNumber_; }
    QLineEdit* txtDescription() const { return txtDescription_; }
    QComboBox* cboWhen() const { return cboWhen_; }
    QComboBox* cboAction() const { return cboAction_; }
    QLabel* lblAction1() const { return lblAction1_; }
    QLineEdit* txtAction() const { return txtAction_; }
    QLineEdit* txtFile() const { return txtFile_; }
    QPushButton* cmdBrowse() const { return cmdBrowse_; }
    QSlider* sldVolume() const { return sldVolume_; }
    QLineEdit* txtVolume() const { return txtVolume_; }
    QLineEdit* txtStartPos() const { return txtStartPos_; }
    QLineEdit* txtEndPos() const { return txtEndPos_; }
    QPushButton* Command6() const { return Command6_; } // "Edit" of the position markers
    QSlider* sldRate() const { return sldRate_; }
    QLineEdit* txtRate() const { return txtRate_; }
    QRadioButton* optBeginOn(int index) const { return optBeginOn_[static_cast<size_t>(index)]; }
    QRadioButton* optChannel(int index) const { return optChannel_[static_cast<size_t>(index)]; }
    QSlider* sldSpeed() const { return sldSpeed_; }
    QLineEdit* txtPlayCount() const { return txtPlayCount_; }

    // Loads the cue at a 1-based position into the record and puts it into the controls.
    // A field whose stored value a control cannot take is shown as it stands in the row, and
    // the row keeps that field's stored value and text.
    void LoadCue(int position, CueRecord& c);

    // Stores a media file and its markers in the cue at a 1-based position, in the forms the
    // File, Start and End fields' handlers give them in the selected cue. A null file and a
    // marker that is not a number leave that field as it is.
    void StoreMedia(int position, const QString& file, const QString& start, const QString& end);

    // Stacks the rows from row 4 down: a hidden row gives its place to the rows below.
    void RefreshProperties();

    // --- handlers: each writes the selected row (stored value first, then display text) ---
    void txtDescription_Change();
    void txtAction_Change();
    void txtFile_Change();
    void txtPlayCount_Change();
    void txtStartPos_Change();
    void txtEndPos_Change();
    void optBeginOn_Click(std::int16_t Index);
    void optChannel_Click(std::int16_t Index);
    void sldVolume_Change();
    void sldVolume_Scroll();
    void sldRate_Change();
    void sldRate_Scroll();
    void sldSpeed_Change();
    void sldSpeed_Scroll();
    void txtCueNumber_KeyPress(std::int16_t KeyAscii);
    void cboAction_Click();
    void cboWhen_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    using Handler = void (PropertiesPanel::*)();

    void Build();
    void Connect();

    // Program writes into the controls. Each runs the control's handler to its end, also for
    // a value the control already holds; a value the control cannot take is refused (false):
    // no handler runs.
    bool PutText(QLineEdit* box, const QString& text, Handler handler);
    bool PutSlider(QSlider* slider, double value, Handler handler);
    bool PutIndex(QComboBox* box, int index);
    bool PutOption(QRadioButton* const* buttons, int count, int index,
                   void (PropertiesPanel::*handler)(std::int16_t));
    // Shows a field that was not put as it stands in the row, without running any handler:
    // `refused` holds the loaded record when the field loaded but its control refused it.
    void ShowUnloaded(int k, const CueRow& row, const CueRecord* refused);

    int Selected() const;
    CueListModel& model() const;
    void WriteVolume();
    void WriteRate();
    void WriteSpeed();
    void WriteMarker(QLineEdit* box, int k);
    void WriteText(QLineEdit* box, int k);
    void StoreMarker(int position, int k, const QString& text);
    void StoreText(int position, int k, const QString& text);

    CueListEditor& editor_;
    Shell& shell_;
    std::array<QWidget*, 10> pctProperty_{};

    QLineEdit* txtCueNumber_ = nullptr;
    QLineEdit* txtDescription_ = nullptr;
    QComboBox* cboWhen_ = nullptr;
    QComboBox* cboAction_ = nullptr;
    QLabel* lblAction1_ = nullptr;
    QLineEdit* txtAction_ = nullptr;
    QLineEdit* txtFile_ = nullptr;
    QPushButton* cmdBrowse_ = nullptr;
    QSlider* sldVolume_ = nullptr;
    QLineEdit* txtVolume_ = nullptr;
    QLineEdit* txtStartPos_ = nullptr;
    QLineEdit* txtEndPos_ = nullptr;
    QPushButton* Command6_ = nullptr;
    QSlider* sldRate_ = nullptr;
    QLineEdit* txtRate_ = nullptr;
    std::array<QRadioButton*, 2> optBeginOn_{};
    std::array<QRadioButton*, 5> optChannel_{};
    QSlider* sldSpeed_ = nullptr;
    QLineEdit* txtPlayCount_ = nullptr;

    // A selector's index changed just before its activation: the pick has been handled.
    bool cboActionChanged_ = false;
    bool cboWhenChanged_ = false;
};

} // namespace sorvane
