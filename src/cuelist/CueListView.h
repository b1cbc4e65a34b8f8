#pragma once

// The cue list's view: a report list that tells its owner when the operator clicked in it or
// moved the selection with the keys.

#include <QStyledItemDelegate>
#include <QTreeView>
#include <utility>

namespace sorvane {

class CueListView : public QTreeView {
    Q_OBJECT
public:
    explicit CueListView(QWidget* parent);

    // The rows on screen, 0-based, first and last (last < first when none is). The view reads
    // every row afresh when it comes into view, so rows off screen need no repaint.
    std::pair<int, int> shownRows() const;
    void setSelectionModel(QItemSelectionModel* selectionModel) override;

signals:
    // A mouse click anywhere in the list (on a row or on the empty area below the rows).
    void listClicked();
    // The keys moved the selection to another row.
    void keySelected();
    // A double-click with the left button on a row (the first click selected it).
    void rowDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* e) const override;

private:
    bool pressed_ = false;
    QItemSelectionModel* headerSelection_ = nullptr;
};

// Draws every cell in its row's own colour, also the selected row.
class CueListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace sorvane
