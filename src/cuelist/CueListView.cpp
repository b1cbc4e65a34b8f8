#include "CueListView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace sorvane {

CueListView::CueListView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);
    setItemDelegate(new CueListDelegate(this));
}

void CueListView::mousePressEvent(QMouseEvent* e) {
    pressed_ = true;
    // A press on the empty area keeps the selected cue selected.
    if (!indexAt(e->position().toPoint()).isValid()) {
        e->accept();
        return;
    }
    QTreeView::mousePressEvent(e);
}

void CueListView::mouseReleaseEvent(QMouseEvent* e) {
    QTreeView::mouseReleaseEvent(e);
    if (pressed_ && e->button() == Qt::LeftButton) {
        pressed_ = false;
        emit listClicked();
    }
}

void CueListView::keyPressEvent(QKeyEvent* e) {
    const QModelIndexList before =
        selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    QTreeView::keyPressEvent(e);
    const QModelIndexList after =
        selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    if (!after.isEmpty() && after != before) emit keySelected();
}

void CueListDelegate::initStyleOption(QStyleOptionViewItem* option,
                                      const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant fg = index.data(Qt::ForegroundRole);
    if (fg.canConvert<QColor>()) {
        const QColor c = fg.value<QColor>();
        option->palette.setColor(QPalette::Text, c);
        option->palette.setColor(QPalette::HighlightedText, c);
    }
    option->state &= ~QStyle::State_HasFocus;
}

} // namespace sorvane
