#pragma once

// The cue list (the show itself) and the properties panel that edits the selected cue.

#include <QObject>

class QSlider;
class QTreeView;
class QWidget;

namespace sorvane {

class Shell;

class CueListEditor : public QObject {
    Q_OBJECT
public:
    CueListEditor(Shell& shell, QWidget* client);

    QTreeView* ListView1() const { return listView_; }
    QWidget* pctProperties() const { return properties_; }
    QSlider* sldVolume() const { return sldVolume_; }

    void UpdateListView();
    void ListView1_Click();
    void HideProperties();
    void ShowProperties();
    void RefreshProperties();

private:
    Shell& shell_;
    QTreeView* listView_ = nullptr;
    QWidget* properties_ = nullptr;
    QSlider* sldVolume_ = nullptr;
};

} // namespace sorvane
