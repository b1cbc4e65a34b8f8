#include "CueListEditor.h"

#include "app/Shell.h"

#include <QFrame>
#include <QSlider>
#include <QStandardItemModel>
#include <QTreeView>

namespace sorvane {

CueListEditor::CueListEditor(Shell& shell, QWidget* client) : QObject(client), shell_(shell) {
    listView_ = new QTreeView(client);
    listView_->setObjectName(QStringLiteral("ListView1"));
    auto* model = new QStandardItemModel(0, 14, listView_);
    listView_->setModel(model);
    properties_ = new QFrame(client);
    properties_->setObjectName(QStringLiteral("pctProperties"));
    sldVolume_ = new QSlider(properties_);
    sldVolume_->setObjectName(QStringLiteral("sldVolume"));
}

void CueListEditor::UpdateListView() {}
void CueListEditor::ListView1_Click() {}
void CueListEditor::HideProperties() { properties_->hide(); }
void CueListEditor::ShowProperties() { properties_->show(); }
void CueListEditor::RefreshProperties() {}

} // namespace sorvane
