#pragma once

// Reads the older database show files: Jet 4 databases holding the show as the table
// tblCueList (row number, CueNumber, then the 13 stored values by position).

#include "cuelist/CueListModel.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace sorvane {

struct JetShow {
    enum class Status {
        Ok,         // the rows of tblCueList, ordered by CueNumber ascending
        CannotOpen, // missing, unreadable, or not a Jet database
        NoCueTable, // a database without a readable tblCueList with a CueNumber column
    };
    Status status = Status::CannotOpen;
    std::vector<CueRow> rows;
};

// Whether the file starts like a Jet (or ACE) database.
bool LooksLikeJetDatabase(const QString& path);

// The rows come ordered by CueNumber ascending (rows without a number first, rows of equal
// number in the table's order); a row's text is its CueNumber as text; the columns from
// position 2 on give sub-items 1 to 13: numbers stay numbers, texts stay texts, Null and
// empty values become the empty text.
// The file is read in a child process: a damaged file that would crash or stall the database
// library gives CannotOpen (after at most 30 seconds) instead.
JetShow ReadJetShow(const QString& path);

// A single-precision column's value as the number its own digits give ("0.1", where the
// bits widened to double would read 0.100000001490116).
double SingleValue(float f);

// The form in which the reading process hands its result over.
QByteArray SerializeJetShow(const JetShow& show);
std::optional<JetShow> DeserializeJetShow(const QByteArray& bytes);

} // namespace sorvane
