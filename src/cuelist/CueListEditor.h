#pragma once

// The cue list (the show itself) and the properties panel that edits the selected cue.
//
// The show is the list `ListView1` and its model: one row per cue. The panel's controls write
// every change straight into the selected row through their handlers. A value the program puts
// into a control runs that control's handler to its end before the put returns, also when the
// control already holds that value, so that loading a cue always rewrites the row's fields in
// the forms the handlers give them.

#include "CueListModel.h"
#include "CueRecord.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTreeView;
class QWidget;

namespace sorvane {

class CueListView;
class Shell;

class CueListEditor : public QObject {
    Q_OBJECT
public:
    CueListEditor(Shell& shell, QWidget* client);
    ~CueListEditor() override;

    // --- the list ------------------------------------------------------------------
    QTreeView* ListView1() const;
    CueListModel& model() const { return *model_; }
    // The current cue: the number (as text) of the cue fired last or inserted last; "-1" after
    // a load (no current cue); empty until one of these writes it.
    QString ListView1Tag;
    // 1-based position of the selected cue, 0 when no cue is selected.
    int SelectedIndex() const;
    // Selects the cue at a 1-based position (0 or a position without a row clears the
    // selection). Runs no handler.
    void SelectRow(int position);

    // The record the selection handler fills and puts into the panel.
    CueRecord SelectedCue;

    void UpdateListView();
    void ListView1_Click();

    // --- list editing ----------------------------------------------------------------
    void cmdAddCue_Click();
    void cmdDeleteCue_Click();
    void cmdMoveUp_Click();
    void cmdMoveDown_Click();

    // --- the properties panel ------------------------------------------------------------
    QWidget* pctProperties() const { return properties_; }
    QWidget* pctProperty(int index) const { return pctProperty_[static_cast<size_t>(index)]; }
    void HideProperties();
    void ShowProperties();
    void RefreshProperties();
    void cmdProperties_Click();

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

    // Field handlers: each writes the selected row (stored value first, then display text).
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

    class RedrawTexts;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    using Handler = void (CueListEditor::*)();

    void BuildList(QWidget* client);
    void BuildPanel(QWidget* client);
    void ConnectPanel();

    // Program writes into the panel's controls. Each runs the control's handler to its end,
    // also for a value the control already holds; a value the control cannot take is refused
    // (false): the control keeps its value and no handler runs.
    bool PutText(QLineEdit* box, const QString& text, Handler handler);
    bool PutSlider(QSlider* slider, double value, Handler handler);
    bool PutIndex(QComboBox* box, int index);
    bool PutOption(QRadioButton* const* buttons, int count, int index,
                   void (CueListEditor::*handler)(std::int16_t));
    // Shows a field whose stored value could not be loaded, without running any handler.
    void ShowUnloaded(int k, const CueRow& row);

    void WriteVolume();
    void WriteRate();
    void WriteSpeed();
    void WriteMarker(QLineEdit* box, int k);
    void WriteText(QLineEdit* box, int k);

    Shell& shell_;
    std::unique_ptr<RedrawTexts> redrawTexts_;
    CueListModel* model_ = nullptr;
    CueListView* listView_ = nullptr;
    QWidget* properties_ = nullptr;
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
