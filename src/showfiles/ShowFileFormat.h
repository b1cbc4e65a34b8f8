#pragma once

// The text show file: one line per cue, the row text and the 13 stored values each followed
// by ",", every line ended by CR LF. Numbers are kept with a point as decimal separator, so
// that a show moves between machines of any locale; the text is Windows-1252 when every
// character fits and those bytes cannot be taken for UTF-8, and UTF-8 otherwise. A file
// written by another program may end its lines with CR or LF instead.

#include "cuelist/CueListModel.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace sorvane {

// A stored value as its file field: a number in its shortest decimal form with a point, a
// text as it stands (in the numeric fields, a text that reads as a number in the user's
// locale gets a point for the locale's separator), every "," replaced by a blank and every
// CR and LF by a blank.
// `k` is the sub-item number (1..13); Description (1) and File (5) are never numbers.
QString ShowFileField(const StoredValue& value, int k);
// The text with each CR and each LF replaced by a blank.
QString WithoutLineBreaks(QString t);

// The cue line of a row, without its line end.
QString CueLine(const CueRow& row);

// A file field as the stored text of sub-item `k`: in the numeric fields a number written
// with a point gets the user's locale's separator; everything else is kept as it stands.
QString StoredTextOfField(const QString& field, int k);

// The rows of a show file's text. Each piece followed by a line end is a cue line; what
// follows the last line end is ignored; an empty line adds no row. The line end is CR LF in a
// text that holds one (a CR or an LF alone stays in its value), else a CR or an LF. Every
// value is stored as text.
std::vector<CueRow> ParseShowText(const QString& text);

// Bytes to write for the text: Windows-1252 when every character fits and the bytes cannot
// be taken for UTF-8 by DecodeShowBytes, else UTF-8; so the text always reads back the same.
QByteArray EncodeShowText(const QString& text);
bool IsValidUtf8(const QByteArray& bytes);
// Text of a file's bytes: UTF-8 when they are valid UTF-8, else Windows-1252.
QString DecodeShowBytes(const QByteArray& bytes);

// Windows-1252 both ways. The five bytes the code page leaves undefined map to the
// characters U+0081, U+008D, U+008F, U+0090 and U+009D and back.
QByteArray ToWindows1252(const QString& text, bool* ok);
QString FromWindows1252(const QByteArray& bytes);

} // namespace sorvane
