#include "ShowFileFormat.h"

#include "cuelist/CueWords.h"

#include <QLocale>
#include <QStringDecoder>

namespace sorvane {

namespace {

// Windows-1252 characters of the bytes 0x80..0x9F (undefined ones as their C1 control).
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsNumericField(int k) {
    return k != kDescription && k != kFile;
}

QLocale CLocale() {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return c;
}

QLocale UserLocale() {
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return l;
}

// The shortest decimal form with a point.
QString PointText(double v) {
    if (v == 0) return QStringLiteral("0");
    return CLocale().toString(v, 'g', 15);
}

bool ReadsAsPointNumber(const QString& t) {
    bool ok = false;
    CLocale().toDouble(t.trimmed(), &ok);
    return ok;
}

// Swaps the number symbols of one locale for the other's in a text that is a number.
QString SwapSymbols(const QString& t, const QLocale& from, const QLocale& to) {
    QString out = t;
    const QString fromPoint = from.decimalPoint();
    const QString toPoint = to.decimalPoint();
    const QString fromMinus = from.negativeSign();
    const QString toMinus = to.negativeSign();
    if (fromPoint != toPoint) out.replace(fromPoint, toPoint);
    if (fromMinus != toMinus) out.replace(fromMinus, toMinus);
    return out;
}

} // namespace

QString ShowFileField(const StoredValue& value, int k) {
    QString t;
    if (value.isNumber()) {
        t = PointText(*value.toNumber());
    } else {
        t = value.toText();
        const QLocale user = UserLocale();
        const bool pointLocale = user.decimalPoint() == QStringLiteral(".") &&
                                 user.negativeSign() == QStringLiteral("-");
        if (IsNumericField(k) && !pointLocale) {
            // A number typed in the user's locale ("1,5") is kept as the same number.
            bool ok = false;
            const double v = user.toDouble(t.trimmed(), &ok);
            if (ok) {
                const QString swapped = SwapSymbols(t, user, CLocale());
                t = ReadsAsPointNumber(swapped) ? swapped : PointText(v);
            }
        }
    }
    t.replace(QLatin1Char(','), QLatin1Char(' '));
    return WithoutLineBreaks(t);
}

QString WithoutLineBreaks(QString t) {
    // A CR or LF inside a value would end the cue's line there: each is written as a blank.
    t.replace(QLatin1Char('\r'), QLatin1Char(' '));
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return t;
}

QString CueLine(const CueRow& row) {
    QString line;
    line.reserve(96);
    line += WithoutLineBreaks(row.text);
    line += QLatin1Char(',');
    for (int k = 1; k <= kSubItemCount; ++k) {
        if (k <= row.subCount) line += ShowFileField(row.at(k).value, k);
        line += QLatin1Char(',');
    }
    return line;
}

QString StoredTextOfField(const QString& field, int k) {
    if (!IsNumericField(k)) return field;
    const QLocale user = UserLocale();
    if (user.decimalPoint() == QStringLiteral(".") && user.negativeSign() == QStringLiteral("-"))
        return field; // files are read as they always were
    if (!ReadsAsPointNumber(field)) return field;
    return SwapSymbols(field, CLocale(), user);
}

std::vector<CueRow> ParseShowText(const QString& text) {
    std::vector<CueRow> rows;
    const qsizetype size = text.size();
    const QChar* chars = text.constData();
    // A file whose lines end with CR LF has no other line end: a CR or an LF alone is part of
    // a value there. Other files end their lines with a CR or an LF alone.
    const bool crlf = text.contains(QStringLiteral("\r\n"));
    qsizetype start = 0;
    for (;;) {
        qsizetype end = start;
        if (crlf) {
            end = text.indexOf(QStringLiteral("\r\n"), start);
            if (end < 0) end = size;
        } else {
            while (end < size && chars[end] != QLatin1Char('\r') && chars[end] != QLatin1Char('\n'))
                ++end;
        }
        if (end >= size) break; // the piece after the last line end is not a cue line
        const QStringView line = QStringView(text).mid(start, end - start);
        start = end + (crlf ? 2 : 1);
        if (line.isEmpty()) continue;
        CueRow row;
        int field = 0;
        qsizetype from = 0;
        while (field <= kSubItemCount) {
            const qsizetype comma = line.indexOf(QLatin1Char(','), from);
            const QStringView piece = line.mid(from, (comma < 0 ? line.size() : comma) - from);
            if (field == 0) {
                row.text = piece.toString();
            } else {
                const QString stored = StoredTextOfField(piece.toString(), field);
                row.at(field).value = StoredValue::text(stored);
                row.at(field).text = stored;
            }
            ++field;
            if (comma < 0) break;
            from = comma + 1;
        }
        row.subCount = field - 1;
        if (row.subCount >= kWhen) {
            const auto when = row.at(kWhen).value.toNumber();
            if (when && (*when == 0 || *when == 1 || *when == 2))
                row.at(kWhen).text = kWhenLoadedWords[static_cast<int>(*when)];
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

QByteArray ToWindows1252(const QString& text, bool* ok) {
    QByteArray out;
    out.resize(text.size());
    char* p = out.data();
    bool fits = true;
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            *p++ = static_cast<char>(c);
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i)
            if (kHigh[i] == c) {
                found = i;
                break;
            }
        if (found < 0) {
            fits = false;
            *p++ = '?';
        } else {
            *p++ = static_cast<char>(0x80 + found);
        }
    }
    if (ok) *ok = fits;
    return out;
}

QString FromWindows1252(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* p = out.data();
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        *p++ = (b >= 0x80 && b < 0xA0) ? QChar(kHigh[b - 0x80]) : QChar(b);
    }
    return out;
}

namespace {

bool IsAscii(const QByteArray& bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

} // namespace

QByteArray EncodeShowText(const QString& text) {
    bool fits = false;
    QByteArray bytes = ToWindows1252(text, &fits);
    // Windows-1252 bytes that also form valid UTF-8 would be read back as UTF-8, as other
    // characters: such a text is written as UTF-8, which reads back as it is.
    if (fits && (IsAscii(bytes) || !IsValidUtf8(bytes))) return bytes;
    return text.toUtf8();
}

bool IsValidUtf8(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(bytes); // the decoding runs here
    return !utf8.hasError();
}

QString DecodeShowBytes(const QByteArray& bytes) {
    if (IsAscii(bytes)) return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) return text;
    return FromWindows1252(bytes);
}

} // namespace sorvane
