#include "CueListModel.h"

#include "core/Palette.h"

#include <QFont>

namespace sorvane {

namespace {

QFont ListFont(bool bold) {
    QFont f = SmallFont();
    f.setBold(bold);
    return f;
}

} // namespace

CueListModel::CueListModel(QObject* parent)
    : QAbstractTableModel(parent), normalFont_(ListFont(false)), boldFont_(ListFont(true)) {}

const std::array<QString, kColumnCount>& CueListModel::Headers() {
    static const std::array<QString, kColumnCount> headers = {QStringLiteral("#"),
                                                              QStringLiteral("Description"),
                                                              QStringLiteral("When"),
                                                              QStringLiteral("Action"),
                                                              QStringLiteral("ActionCue"),
                                                              QStringLiteral("File"),
                                                              QStringLiteral("Volume"),
                                                              QStringLiteral("Rate"),
                                                              QStringLiteral("Begin On"),
                                                              QStringLiteral("Ch"),
                                                              QStringLiteral("Spd"),
                                                              QStringLiteral("Count"),
                                                              QStringLiteral("SelectionStart"),
                                                              QStringLiteral("SelectionEnd")};
    return headers;
}

int CueListModel::indexOfId(std::uint64_t id) const {
    for (int i = 0; i < count(); ++i)
        if (rows_[static_cast<size_t>(i)].id == id) return i;
    return -1;
}

void CueListModel::clear() {
    ++show_;
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void CueListModel::appendRow(CueRow row) {
    insertRow(count(), std::move(row));
}

void CueListModel::insertRow(int index, CueRow row) {
    index = std::clamp(index, 0, count());
    row.id = ++lastId_;
    beginInsertRows({}, index, index);
    rows_.insert(rows_.begin() + index, std::move(row));
    endInsertRows();
}

void CueListModel::removeRow(int index) {
    if (!valid(index)) return;
    beginRemoveRows({}, index, index);
    rows_.erase(rows_.begin() + index);
    endRemoveRows();
}

void CueListModel::setRows(std::vector<CueRow> rows) {
    ++show_;
    for (CueRow& r : rows)
        r.id = ++lastId_;
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void CueListModel::setRowText(int index, const QString& text) {
    if (!valid(index)) return;
    rows_[static_cast<size_t>(index)].text = text;
    changed(index, 0, 0);
}

void CueListModel::setOwnValue(int index, const StoredValue& value) {
    if (!valid(index)) return;
    rows_[static_cast<size_t>(index)].ownValue = value;
}

bool CueListModel::reach(int index, int k) {
    if (!valid(index) || k < 1 || k > kSubItemCount) return false;
    CueRow& r = rows_[static_cast<size_t>(index)];
    if (r.subCount < k) {
        // Writing past the end of a short row adds the missing sub-items, empty.
        for (int j = r.subCount + 1; j <= k; ++j)
            r.at(j) = SubItem{};
        r.subCount = k;
    }
    return true;
}

void CueListModel::setSubItem(int index, int k, const StoredValue& value, const QString& text) {
    if (!reach(index, k)) return;
    SubItem& s = rows_[static_cast<size_t>(index)].at(k);
    s.value = value;
    s.text = text;
    changed(index, k, k);
}

void CueListModel::setSubValue(int index, int k, const StoredValue& value) {
    if (!reach(index, k)) return;
    rows_[static_cast<size_t>(index)].at(k).value = value;
}

void CueListModel::setSubText(int index, int k, const QString& text) {
    if (!reach(index, k)) return;
    rows_[static_cast<size_t>(index)].at(k).text = text;
    changed(index, k, k);
}

void CueListModel::setRowStyle(int index, const QColor& colour, bool bold) {
    if (!valid(index)) return;
    CueRow& r = rows_[static_cast<size_t>(index)];
    r.colour = colour;
    r.bold = bold;
    changed(index, 0, kColumnCount - 1);
}

void CueListModel::swapSubItems(int a, int b) {
    if (!valid(a) || !valid(b) || a == b) return;
    CueRow& ra = rows_[static_cast<size_t>(a)];
    CueRow& rb = rows_[static_cast<size_t>(b)];
    std::swap(ra.sub, rb.sub);
    std::swap(ra.subCount, rb.subCount);
    std::swap(ra.id, rb.id);
    changed(std::min(a, b), 1, kColumnCount - 1);
    changed(std::max(a, b), 1, kColumnCount - 1);
}

void CueListModel::refresh() {
    if (rows_.empty()) return;
    emit dataChanged(index(0, 0), index(count() - 1, kColumnCount - 1));
}

bool SameLook(const CueRow& a, const CueRow& b) {
    if (a.text != b.text || a.colour != b.colour || a.bold != b.bold || a.subCount != b.subCount)
        return false;
    for (int k = 1; k <= a.subCount; ++k)
        if (a.at(k).text != b.at(k).text) return false;
    return true;
}

void CueListModel::refreshRows(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, count() - 1);
    if (first > last) return;
    emit dataChanged(index(first, 0), index(last, kColumnCount - 1));
}

void CueListModel::changed(int row, int firstColumn, int lastColumn) {
    emit dataChanged(index(row, firstColumn), index(row, lastColumn));
}

int CueListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int CueListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CueListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !valid(index.row())) return {};
    const CueRow& r = rows_[static_cast<size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        if (column == 0) return r.text;
        if (column <= r.subCount) return r.at(column).text;
        return QString();
    case Qt::ForegroundRole:
        return r.colour;
    case Qt::FontRole:
        return r.bold ? boldFont_ : normalFont_;
    default:
        return {};
    }
}

QVariant CueListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return Headers()[section];
    return {};
}

Qt::ItemFlags CueListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace sorvane
