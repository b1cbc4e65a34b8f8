#pragma once

// The cue list (the show itself): the list `ListView1`, its redraw and the editing commands.
// The properties panel (PropertiesPanel) edits the selected cue; the editor shows and hides
// it and loads the selected cue into it.

#include "CueListModel.h"
#include "CueRecord.h"
#include "core/CueRef.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class QTreeView;
class QWidget;

namespace sorvane {

class CueListView;
class PropertiesPanel;
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

    // The selected cue by identity (cue 0 when none is selected), and where a cue so
    // referred to stands now.
    CueRef SelectedRef() const;
    CuePlace Locate(const CueRef& cue) const;
    // Stores a media file and its markers in the cue, wherever it stands, in the forms the
    // panel's fields store them (a null file leaves the file). Nothing when it is gone.
    void StoreMedia(const CueRef& cue, const QString& file, const QString& start,
                    const QString& end);

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
    PropertiesPanel& panel() const;
    QWidget* pctProperties() const;
    void HideProperties();
    void ShowProperties();
    void cmdProperties_Click();

    class RedrawTexts;

signals:
    // The operator double-clicked a cue with the left button; the cue is selected and loaded.
    void ListView1_DblClick();

private:
    void BuildList(QWidget* client);

    Shell& shell_;
    std::unique_ptr<RedrawTexts> redrawTexts_;
    CueListModel* model_ = nullptr;
    CueListView* listView_ = nullptr;
    QPointer<PropertiesPanel> panel_;
};

} // namespace sorvane
