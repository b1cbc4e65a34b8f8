#include "CueListView.h"

#include "CueListModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

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
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);
    setItemDelegate(new CueListDelegate(this));
}

std::pair<int, int> CueListView::shownRows() const {
    auto* cues = qobject_cast<CueListModel*>(model());
    if (!cues || cues->count() == 0) return {0, -1};
    // Scrolling goes by rows: the scroll bar's value is the first row shown.
    const int first = verticalScrollBar()->value();
    // All rows are as high as the first; the view knows that height once it has laid the
    // rows out, which spares measuring every column's text again.
    int rowHeight = QTreeView::rowHeight(cues->index(std::max(first, 0), 0));
    if (rowHeight <= 0) rowHeight = std::max(1, sizeHintForRow(0));
    const int shown = viewport()->height() / rowHeight + 2;
    return {std::max(first, 0), std::min(first + shown, cues->count() - 1)};
}

void CueListView::setSelectionModel(QItemSelectionModel* selectionModel) {
    QTreeView::setSelectionModel(selectionModel);
    // The header shows no selection. Sharing the list's, it would be repainted whole each
    // time the selected cue changes, as every GO does.
    delete headerSelection_;
    headerSelection_ = model() ? new QItemSelectionModel(model(), header()) : nullptr;
    header()->setSelectionModel(headerSelection_);
}

void CueListView::mousePressEvent(QMouseEvent* e) {
    // Only the left button selects a cue: any other press would move the selection (the cue
    // the next GO fires) without loading it into the panel or redrawing the list.
    if (e->button() != Qt::LeftButton) {
        e->accept();
        return;
    }
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

void CueListView::mouseDoubleClickEvent(QMouseEvent* e) {
    // Only the left button's double-click on a row counts; any other is taken as a press.
    if (e->button() != Qt::LeftButton || !indexAt(e->position().toPoint()).isValid()) {
        mousePressEvent(e);
        return;
    }
    QTreeView::mouseDoubleClickEvent(e);
    emit rowDoubleClicked();
}

void CueListView::keyPressEvent(QKeyEvent* e) {
    const QModelIndexList before =
        selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    QTreeView::keyPressEvent(e);
    const QModelIndexList after =
        selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    if (!after.isEmpty() && after != before) emit keySelected();
}

QItemSelectionModel::SelectionFlags CueListView::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* e) const {
    // The list holds one selected cue: Ctrl or Shift with a click or a key selects the cue as
    // the plain click or key does, and never takes the selection away.
    const QItemSelectionModel::SelectionFlags command = QTreeView::selectionCommand(index, e);
    if (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return command;
}

void CueListDelegate::initStyleOption(QStyleOptionViewItem* option,
                                      const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    // A cell shows the start of its text: a huge text (a description of megabytes) is not
    // laid out whole each time the row is measured or painted.
    constexpr qsizetype kShownChars = 1024;
    if (option->text.size() > kShownChars) {
        qsizetype cut = kShownChars;
        if (option->text.at(cut - 1).isHighSurrogate()) --cut;
        option->text.truncate(cut);
        option->text += QChar(0x2026);
    }
    const QVariant fg = index.data(Qt::ForegroundRole);
    if (fg.canConvert<QColor>()) {
        const QColor c = fg.value<QColor>();
        option->palette.setColor(QPalette::Text, c);
        option->palette.setColor(QPalette::HighlightedText, c);
    }
    option->state &= ~QStyle::State_HasFocus;
}

void CueListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    // A cell is drawn here directly: the style's drawing lays each text out several times, and
    // a GO repaints rows while the next cue is about to start.
    QStyleOptionViewItem o(option);
    initStyleOption(&o, index);
    const bool selected = o.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = !(o.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (o.state & QStyle::State_Active) ? QPalette::Normal
                                                                          : QPalette::Inactive;
    if (selected) painter->fillRect(o.rect, o.palette.brush(group, QPalette::Highlight));
    if (o.text.isEmpty()) return;
    // The same margins as the style gives an item's text.
    const QWidget* view = o.widget;
    const QStyle* style = view ? view->style() : nullptr;
    const int margin = (style ? style->pixelMetric(QStyle::PM_FocusFrameHMargin, &o, view) : 2) + 1;
    const QRect textRect = o.rect.adjusted(margin, 0, -margin, 0);
    painter->save();
    painter->setFont(o.font);
    painter->setPen(o.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textRect, static_cast<int>(o.displayAlignment) | Qt::TextSingleLine,
                      o.fontMetrics.elidedText(o.text, o.textElideMode, textRect.width()));
    painter->restore();
}

} // namespace sorvane
