// The text show file: cue lines, line ends, the decimal point in every locale, and the
// choice between Windows-1252 and UTF-8.

#include "showfiles/ShowFileFormat.h"

#include <QLocale>
#include <QtTest>

using namespace sorvane;

namespace {

CueRow ExampleRow() {
    CueRow r;
    r.text = QStringLiteral("2");
    auto set = [&](int k, const StoredValue& v) {
        r.at(k).value = v;
        r.at(k).text = v.toText();
    };
    set(kDescription, StoredValue::text(QStringLiteral("Rain heavy")));
    set(kWhen, StoredValue::int32(1));
    set(kAction, StoredValue::int32(0));
    set(kActionCue, StoredValue::text(QStringLiteral("0")));
    set(kFile, StoredValue::text(QStringLiteral("rain.wav")));
    set(kVolume, StoredValue::int32(-800));
    set(kRate, StoredValue::text(QStringLiteral("1")));
    set(kBeginOn, StoredValue::int16(0));
    set(kChannel, StoredValue::int16(4));
    set(kFadeSpeed, StoredValue::int32(5));
    set(kPlayCount, StoredValue::text(QStringLiteral("0")));
    set(kSelectionStart, StoredValue::number(1.5));
    set(kSelectionEnd, StoredValue::number(12.25));
    return r;
}

QStringList Values(const CueRow& r) {
    QStringList out{r.text};
    for (int k = 1; k <= r.subCount; ++k)
        out << r.at(k).value.toText();
    return out;
}

} // namespace

class ShowFileFormatTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void exampleLineAndCommas() {
        CueRow r = ExampleRow();
        QCOMPARE(CueLine(r),
                 QStringLiteral("2,Rain heavy,1,0,0,rain.wav,-800,1,0,4,5,0,1.5,12.25,"));
        QCOMPARE(CueLine(r).count(QLatin1Char(',')), 14);
        r.at(kDescription).value = StoredValue::text(QStringLiteral("Rain, heavy"));
        r.at(kFile).value = StoredValue::text(QStringLiteral("/media/a,b.wav"));
        QCOMPARE(CueLine(r),
                 QStringLiteral("2,Rain  heavy,1,0,0,/media/a b.wav,-800,1,0,4,5,0,1.5,12.25,"));
        // A line break inside a value (a description read from a database show) would cut
        // the cue in two: it is written as blanks, and the line loads back as one cue.
        r.at(kDescription).value = StoredValue::text(QStringLiteral("Rain\r\nheavy"));
        QCOMPARE(CueLine(r),
                 QStringLiteral("2,Rain  heavy,1,0,0,/media/a b.wav,-800,1,0,4,5,0,1.5,12.25,"));
        const auto back = ParseShowText(CueLine(r) + QStringLiteral("\r\n"));
        QCOMPARE(back.size(), size_t(1));
        QCOMPARE(back[0].subCount, kSubItemCount);
        QCOMPARE(back[0].at(kSelectionEnd).value.toText(), QStringLiteral("12.25"));
        // Empty and missing sub-items are empty fields; the line still has 14 commas.
        CueRow shortRow;
        shortRow.text = QStringLiteral("7");
        shortRow.subCount = 2;
        shortRow.at(kDescription).value = StoredValue::text(QStringLiteral("Intro"));
        QCOMPARE(CueLine(shortRow), QStringLiteral("7,Intro,,,,,,,,,,,,,"));
    }

    void numbersKeepAPointInEveryLocale() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        CueRow r = ExampleRow();
        r.at(kRate).value = StoredValue::text(QStringLiteral("1,5")); // typed in this locale
        r.at(kSelectionStart).value = StoredValue::number(-0.25);
        r.at(kDescription).value = StoredValue::text(QStringLiteral("1,5 Takte"));
        QCOMPARE(CueLine(r),
                 QStringLiteral("2,1 5 Takte,1,0,0,rain.wav,-800,1.5,0,4,5,0,-0.25,12.25,"));

        // Reading it back in the same locale gives the locale's own numbers again.
        const auto rows = ParseShowText(CueLine(r) + QStringLiteral("\r\n"));
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(rows[0].at(kRate).value.toText(), QStringLiteral("1,5"));
        QCOMPARE(*rows[0].at(kRate).value.toNumber(), 1.5);
        QCOMPARE(*rows[0].at(kSelectionStart).value.toNumber(), -0.25);
        QCOMPARE(*rows[0].at(kSelectionEnd).value.toNumber(), 12.25);
        // Description and File are never numbers: their points stay.
        const auto other =
            ParseShowText(QStringLiteral("1,1.5,0,0,0,take.1.5,0,1,0,0,0,0,0,0,\r\n"));
        QCOMPARE(other[0].at(kDescription).value.toText(), QStringLiteral("1.5"));
        QCOMPARE(other[0].at(kFile).value.toText(), QStringLiteral("take.1.5"));
        QCOMPARE(other[0].at(kRate).value.toText(), QStringLiteral("1"));

        // Where the separator is a point, files load as they always did.
        QLocale::setDefault(QLocale::c());
        const auto plain = ParseShowText(QStringLiteral("1,a,0,0,0,0,0,1.50,0,0,0,0,x,2,\r\n"));
        QCOMPARE(plain[0].at(kRate).value.toText(), QStringLiteral("1.50"));
        QCOMPARE(plain[0].at(kSelectionStart).value.toText(), QStringLiteral("x"));
    }

    void loadedValuesAreTexts() {
        const auto rows = ParseShowText(CueLine(ExampleRow()) + QStringLiteral("\r\n"));
        QCOMPARE(rows.size(), size_t(1));
        const CueRow& r = rows[0];
        QCOMPARE(r.subCount, kSubItemCount);
        QCOMPARE(Values(r), Values(ExampleRow()));
        for (int k = 1; k <= kSubItemCount; ++k)
            QCOMPARE(r.at(k).value.kind(), StoredValue::Kind::Text);
        // The loader's own words for the start condition stand until the list is redrawn.
        QCOMPARE(r.at(kWhen).text, QStringLiteral("Execute"));
        QCOMPARE(r.at(kAction).text, QStringLiteral("0"));
        const auto words = ParseShowText(QStringLiteral("1,a,0,\r\n2,b,2,\r\n3,c,7,\r\n"));
        QCOMPARE(words[0].at(kWhen).text, QStringLiteral("During"));
        QCOMPARE(words[1].at(kWhen).text, QStringLiteral("Complete"));
        QCOMPARE(words[2].at(kWhen).text, QStringLiteral("7"));
    }

    void lineEnds() {
        // Only pieces followed by CR LF are cue lines.
        QCOMPARE(ParseShowText(QStringLiteral("1,a,\r\n2,b,\r\n3,c,")).size(), size_t(2));
        QCOMPARE(ParseShowText(QStringLiteral("1,a,0,0,0,0,0,1,0,0,0,0,0,0,")).size(), size_t(0));
        QCOMPARE(ParseShowText(QString()).size(), size_t(0));
        // Empty lines add no row; a lone LF or CR stays inside its line.
        const auto rows = ParseShowText(QStringLiteral("\r\n\r\n5,a\nb,\r\n6,c\rd,\r\n\r\n"));
        QCOMPARE(rows.size(), size_t(2));
        QCOMPARE(rows[0].text, QStringLiteral("5"));
        QCOMPARE(rows[0].at(kDescription).text, QStringLiteral("a\nb"));
        QCOMPARE(rows[1].at(kDescription).text, QStringLiteral("c\rd"));
        // A cue number that is not the position is kept; fields after the 13th are ignored.
        const auto extra =
            ParseShowText(QStringLiteral("9,a,1,2,3,f,5,6,7,8,9,10,11,12,13,14,15\r\n"));
        QCOMPARE(extra[0].text, QStringLiteral("9"));
        QCOMPARE(extra[0].subCount, 13);
        QCOMPARE(extra[0].at(kSelectionEnd).value.toText(), QStringLiteral("12"));
        // A short line has only the sub-items it names.
        const auto shortLine = ParseShowText(QStringLiteral("4,only\r\n4b\r\n"));
        QCOMPARE(shortLine[0].subCount, 1);
        QCOMPARE(shortLine[0].at(kDescription).value.toText(), QStringLiteral("only"));
        QCOMPARE(shortLine[1].subCount, 0);
        QCOMPARE(shortLine[1].text, QStringLiteral("4b"));
    }

    void windows1252WhenEverythingFits() {
        const QString western =
            QStringLiteral("Caf\u00e9 \u2013 na\u00efve \u20ac5 \u201cquote\u201d");
        const QByteArray bytes = EncodeShowText(western);
        QCOMPARE(bytes.size(), western.size()); // one byte per character
        QCOMPARE(bytes, QByteArray("Caf\xe9 \x96 na\xefve \x80"
                                   "5 \x93quote\x94"));
        QCOMPARE(DecodeShowBytes(bytes), western);
        // Every byte maps to a character and back.
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        bool ok = false;
        QCOMPARE(ToWindows1252(FromWindows1252(all), &ok), all);
        QVERIFY(ok);
        QCOMPARE(FromWindows1252(QByteArray("\x80\x9f\xff")), QStringLiteral("\u20ac\u0178\u00ff"));
    }

    void utf8WhenSomethingDoesNot() {
        const QString text = QStringLiteral("1,\u0413\u0440\u043e\u043c \u96f7 caf\u00e9,0,\r\n");
        bool fits = true;
        ToWindows1252(text, &fits);
        QVERIFY(!fits);
        const QByteArray bytes = EncodeShowText(text);
        QCOMPARE(bytes, text.toUtf8());
        QCOMPARE(DecodeShowBytes(bytes), text);
        const auto rows = ParseShowText(DecodeShowBytes(bytes));
        QCOMPARE(rows[0].at(kDescription).text,
                 QStringLiteral("\u0413\u0440\u043e\u043c \u96f7 caf\u00e9"));
        // Bytes that are not valid UTF-8 are Windows-1252; a UTF-8 byte order mark is dropped.
        QCOMPARE(DecodeShowBytes(QByteArray("caf\xe9\xc3")), QStringLiteral("caf\u00e9\u00c3"));
        QCOMPARE(DecodeShowBytes(QByteArray("\xef\xbb\xbf"
                                            "caf\xc3\xa9")),
                 QStringLiteral("caf\u00e9"));
        QCOMPARE(DecodeShowBytes(QByteArray("plain")), QStringLiteral("plain"));
    }
};

QTEST_GUILESS_MAIN(ShowFileFormatTest)
#include "test_showfile_format.moc"
