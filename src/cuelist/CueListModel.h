#pragma once

// The rows of the cue list `ListView1`: the show itself. One row per cue: the row text (the
// cue number), the row's own stored value, and 13 sub-items that each keep a stored value
// and a display text. Nothing else holds a copy of the show.

#include "core/Palette.h"
#include "core/StoredValue.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace sorvane {

// Sub-item numbers (k = 1..13; sub-item k stands in column k + 1).
enum SubItemIndex {
    kDescription = 1,
    kWhen = 2,
    kAction = 3,
    kActionCue = 4,
    kFile = 5,
    kVolume = 6,
    kRate = 7,
    kBeginOn = 8,
    kChannel = 9,
    kFadeSpeed = 10,
    kPlayCount = 11,
    kSelectionStart = 12,
    kSelectionEnd = 13,
};
inline constexpr int kSubItemCount = 13;
inline constexpr int kColumnCount = 14;

struct SubItem {
    StoredValue value; // the cue's data
    QString text;      // what the list shows
};

struct CueRow {
    QString text;         // column "#": the cue number as text
    StoredValue ownValue; // the row's own stored value (its position when inserted)
    std::array<SubItem, kSubItemCount> sub; // sub[k - 1] is sub-item k
    // A row may hold fewer sub-items (a short line of a show file): only the first
    // `subCount` are present.
    int subCount = kSubItemCount;
    QColor colour = kWhite;
    bool bold = false;
    // The cue's identity, given by the list when it takes the row: no other row of the list
    // ever has it. It goes with the cue's fields when two cues are exchanged.
    std::uint64_t id = 0;

    SubItem& at(int k) { return sub[static_cast<size_t>(k - 1)]; }
    const SubItem& at(int k) const { return sub[static_cast<size_t>(k - 1)]; }
};

// Whether two rows show the same: the same texts in the same colour and weight.
bool SameLook(const CueRow& a, const CueRow& b);

class CueListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CueListModel(QObject* parent = nullptr);

    // Rows are addressed by 0-based index here; cue positions elsewhere are 1-based.
    int count() const { return static_cast<int>(rows_.size()); }
    const CueRow& row(int index) const { return rows_[static_cast<size_t>(index)]; }
    // The show the list holds: a new one after every clear and every replacement of all rows.
    std::uint64_t showId() const { return show_; }
    // The index of the row with that identity, -1 when none has it.
    int indexOfId(std::uint64_t id) const;

    void clear();
    void appendRow(CueRow row);
    void insertRow(int index, CueRow row);
    void removeRow(int index);
    // Replaces every row at once (a show file load).
    void setRows(std::vector<CueRow> rows);

    void setRowText(int index, const QString& text);
    void setOwnValue(int index, const StoredValue& value);
    // Writes a sub-item: the stored value first, then the display text. Writing past the end
    // of a short row adds the missing sub-items (empty) up to k.
    void setSubItem(int index, int k, const StoredValue& value, const QString& text);
    void setSubValue(int index, int k, const StoredValue& value);
    void setSubText(int index, int k, const QString& text);
    void setRowStyle(int index, const QColor& colour, bool bold);
    // Exchanges all sub-items (values, texts and their count) of two rows; row texts stay.
    void swapSubItems(int a, int b);
    // Direct access for bulk redraws; call `refresh()` afterwards.
    CueRow& mutableRow(int index) { return rows_[static_cast<size_t>(index)]; }
    void refresh(); // repaint every row
    // Repaints the rows first..last (0-based, clamped to the list).
    void refreshRows(int first, int last);

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static const std::array<QString, kColumnCount>& Headers();

private:
    bool valid(int index) const { return index >= 0 && index < count(); }
    bool reach(int index, int k);
    void changed(int row, int firstColumn, int lastColumn);

    std::vector<CueRow> rows_;
    std::uint64_t show_ = 1;
    std::uint64_t lastId_ = 0;
    QFont normalFont_;
    QFont boldFont_;
};

} // namespace sorvane
