// The text show file: cue lines, line ends, the decimal point in every locale, and the
// choice between Windows-1252 and UTF-8.

#include "showfiles/ShowFileFormat.h"

#include <QLocale>
#include <QtTest>

using namespace sorvane;
using namespace Qt::StringLiterals;

namespace {

CueRow ExampleRow() {
    CueRow r;
    r.text = u"2"_s;
    const StoredValue values[] = {StoredValue::text(u"Rain heavy"_s),
                                  StoredValue::int32(1),
                                  StoredValue::int32(0),
                                  StoredValue::text(u"0"_s),
                                  StoredValue::text(u"rain.wav"_s),
                                  StoredValue::int32(-800),
                                  StoredValue::text(u"1"_s),
                                  StoredValue::int16(0),
                                  StoredValue::int16(4),
                                  StoredValue::int32(5),
                                  StoredValue::text(u"0"_s),
                                  StoredValue::number(1.5),
                                  StoredValue::number(12.25)};
    for (int k = 1; k <= kSubItemCount; ++k)
        r.at(k) = {values[k - 1], values[k - 1].toText()};
    return r;
}

// Each row's number and description.
QStringList Descriptions(const QString& text) {
    QStringList out;
    for (const CueRow& r : ParseShowText(text))
        out << r.text + QLatin1Char(':') + r.at(kDescription).text;
    return out;
}

} // namespace

class ShowFileFormatTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void exampleLineAndCommas() {
        CueRow r = ExampleRow();
        QCOMPARE(CueLine(r), u"2,Rain heavy,1,0,0,rain.wav,-800,1,0,4,5,0,1.5,12.25,"_s);
        // A comma or a line break inside a value would cut the cue: each is written as a
        // blank, and the line loads back as one cue.
        r.at(kDescription).value = StoredValue::text(u"Rain,\r\nheavy"_s);
        r.at(kFile).value = StoredValue::text(u"/media/a,b.wav"_s);
        QCOMPARE(CueLine(r), u"2,Rain   heavy,1,0,0,/media/a b.wav,-800,1,0,4,5,0,1.5,12.25,"_s);
        const auto back = ParseShowText(CueLine(r) + u"\r\n"_s);
        QCOMPARE(back.size(), size_t(1));
        QCOMPARE(back[0].subCount, kSubItemCount);
        QCOMPARE(back[0].at(kSelectionEnd).value.toText(), u"12.25"_s);
        // Empty and missing sub-items are empty fields; the line still has 14 commas.
        CueRow shortRow;
        shortRow.text = u"7\r"_s;
        shortRow.subCount = 2; // an empty When, then nothing
        shortRow.at(kDescription).value = StoredValue::text(u"a\nb\rc\r\nd"_s);
        QCOMPARE(CueLine(shortRow), u"7 ,a b c  d,,,,,,,,,,,,,"_s);
        QCOMPARE(Descriptions(CueLine(shortRow) + u"\r\n"_s), QStringList{u"7 :a b c  d"_s});
    }

    void numbersKeepAPointInEveryLocale() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        CueRow r = ExampleRow();
        r.at(kRate).value = StoredValue::text(u"1,5"_s); // typed in this locale
        r.at(kSelectionStart).value = StoredValue::number(-0.25);
        r.at(kDescription).value = StoredValue::text(u"1,5 Takte"_s);
        QCOMPARE(CueLine(r), u"2,1 5 Takte,1,0,0,rain.wav,-800,1.5,0,4,5,0,-0.25,12.25,"_s);

        // Reading it back in the same locale gives the locale's own numbers again.
        const auto rows = ParseShowText(CueLine(r) + u"\r\n"_s);
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(rows[0].at(kRate).value.toText(), u"1,5"_s);
        QCOMPARE(*rows[0].at(kRate).value.toNumber(), 1.5);
        QCOMPARE(*rows[0].at(kSelectionStart).value.toNumber(), -0.25);
        QCOMPARE(*rows[0].at(kSelectionEnd).value.toNumber(), 12.25);
        // Description and File are never numbers: their points stay.
        const auto other = ParseShowText(u"1,1.5,0,0,0,take.1.5,0,1,0,0,0,0,0,0,\r\n"_s);
        QCOMPARE(other[0].at(kDescription).value.toText(), u"1.5"_s);
        QCOMPARE(other[0].at(kFile).value.toText(), u"take.1.5"_s);
        QCOMPARE(other[0].at(kRate).value.toText(), u"1"_s);

        // Where the separator is a point, files load as they always did.
        QLocale::setDefault(QLocale::c());
        const auto plain = ParseShowText(u"1,a,0,0,0,0,0,1.50,0,0,0,0,x,2,\r\n"_s);
        QCOMPARE(plain[0].at(kRate).value.toText(), u"1.50"_s);
        QCOMPARE(plain[0].at(kSelectionStart).value.toText(), u"x"_s);
    }

    void loadedValuesAreTexts() {
        const auto rows = ParseShowText(CueLine(ExampleRow()) + u"\r\n"_s);
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(rows[0].subCount, kSubItemCount);
        for (int k = 1; k <= kSubItemCount; ++k) {
            QCOMPARE(rows[0].at(k).value.kind(), StoredValue::Kind::Text);
            QCOMPARE(rows[0].at(k).value.toText(), ExampleRow().at(k).value.toText());
        }
        // The loader's own words for the start condition stand until the list is redrawn.
        QCOMPARE(rows[0].at(kWhen).text, u"Execute"_s);
        QCOMPARE(rows[0].at(kAction).text, u"0"_s);
        const auto words = ParseShowText(u"1,a,0,\r\n2,b,2,\r\n3,c,7,\r\n"_s);
        QCOMPARE(words[0].at(kWhen).text, u"During"_s);
        QCOMPARE(words[1].at(kWhen).text, u"Complete"_s);
        QCOMPARE(words[2].at(kWhen).text, u"7"_s);
    }

    void lineEnds() {
        // Only pieces followed by a line end are cue lines.
        QCOMPARE(ParseShowText(u"1,a,\r\n2,b,\r\n3,c,"_s).size(), size_t(2));
        QCOMPARE(ParseShowText(u"1,a,0,0,0,0,0,1,0,0,0,0,0,0,"_s).size(), size_t(0));
        QCOMPARE(ParseShowText(QString()).size(), size_t(0));
        // LF alone, CR alone and CR LF each end a line, mixed in one file too; empty lines
        // add no row, and the piece after the last line end stays unloaded.
        const QStringList three{u"1:a"_s, u"2:b"_s, u"3:c"_s};
        QCOMPARE(Descriptions(u"1,a,\n2,b,\n3,c,\n4,unended,"_s), three);
        QCOMPARE(Descriptions(u"1,a,\r2,b,\r3,c,\r4,unended,"_s), three);
        QCOMPARE(Descriptions(u"\r\n1,a,\r\n\n2,b,\r\r3,c,\n\r\n4,unended"_s), three);
        // A CR LF is one line end, not a CR line and an empty LF line: nothing between.
        QCOMPARE(Descriptions(u"1,a,\r\n2,b,\r\n3,c,\r\n"_s), three);
        // A cue number that is not the position is kept; fields after the 13th are ignored.
        const auto extra = ParseShowText(u"9,a,1,2,3,f,5,6,7,8,9,10,11,12,13,14,15\r\n"_s);
        QCOMPARE(extra[0].text, u"9"_s);
        QCOMPARE(extra[0].subCount, 13);
        QCOMPARE(extra[0].at(kSelectionEnd).value.toText(), u"12"_s);
        // A short line has only the sub-items it names.
        const auto shortLine = ParseShowText(u"4,only\r\n4b\r\n"_s);
        QCOMPARE(shortLine[0].subCount, 1);
        QCOMPARE(shortLine[0].at(kDescription).value.toText(), u"only"_s);
        QCOMPARE(shortLine[1].subCount, 0);
        QCOMPARE(shortLine[1].text, u"4b"_s);
    }

    // The bytes a text is written as, and the text they read back as.
    void encoding_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        // Windows-1252, one byte a character, where everything fits and the bytes cannot be
        // UTF-8.
        QTest::newRow("western") << u"Caf\u00e9 \u2013 na\u00efve \u20ac5 \u201cquote\u201d"_s
                                 << QByteArray("Caf\xe9 \x96 na\xefve \x80"
                                               "5 \x93quote\x94");
        QTest::newRow("accent and dash") << u"caf\u00e9 \u2013"_s << QByteArray("caf\xe9 \x96");
        // Text whose Windows-1252 bytes would read as UTF-8 is written as UTF-8.
        QTest::newRow("C4 96, U+0116")
            << u"\u00c4\u2013Wind.mp3"_s << QByteArray("\xc3\x84\xe2\x80\x93Wind.mp3");
        QTest::newRow("C9 85, U+0245")
            << u"CAF\u00c9\u2026"_s << QByteArray("CAF\xc3\x89\xe2\x80\xa6");
        QTest::newRow("C2 A9, U+00A9")
            << u"\u00c2\u00a9 2024"_s << QByteArray("\xc3\x82\xc2\xa9 2024");
        QTest::newRow("EF BB BF, a byte order mark") << u"\u00ef\u00bb\u00bfBOM"_s
                                                     << QByteArray("\xc3\xaf\xc2\xbb\xc2\xbf"
                                                                   "BOM");
        // Characters beyond the code page make the file UTF-8.
        QTest::newRow("beyond") << u"1,\u0413\u0440\u043e\u043c \u96f7 caf\u00e9,0,\r\n"_s
                                << u"1,\u0413\u0440\u043e\u043c \u96f7 caf\u00e9,0,\r\n"_s.toUtf8();
    }
    void encoding() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(EncodeShowText(text), bytes);
        QCOMPARE(DecodeShowBytes(bytes), text);
    }

    // Files written before: bytes that are not valid UTF-8 are Windows-1252, and a UTF-8
    // byte order mark is dropped.
    void decoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("not UTF-8") << QByteArray("\xc4\x96Wind.mp3") << u"\u0116Wind.mp3"_s;
        QTest::newRow("cut UTF-8") << QByteArray("caf\xe9\xc3") << u"caf\u00e9\u00c3"_s;
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf"
                                                       "caf\xc3\xa9")
                                         << u"caf\u00e9"_s;
        QTest::newRow("undefined and last")
            << QByteArray("\x80\x9f\xff") << u"\u20ac\u0178\u00ff"_s;
    }
    void decoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(DecodeShowBytes(bytes), text);
    }

    // Every text the program writes reads back as it was: every character of the code page
    // alone and in every pair, after an ASCII start; every byte maps to a character and back.
    void everyTextReadsBackAsWritten() {
        QByteArray bytes;
        QString all;
        for (int b = 0; b < 256; ++b) {
            bytes.append(static_cast<char>(b));
            const QString c = FromWindows1252(QByteArray(1, static_cast<char>(b)));
            all += c;
            QCOMPARE(DecodeShowBytes(EncodeShowText(u"x"_s + c)), u"x"_s + c);
            for (int b2 = 0x80; b2 < 256; ++b2) {
                const QString pair =
                    u"1,"_s + c + FromWindows1252(QByteArray(1, static_cast<char>(b2)));
                if (DecodeShowBytes(EncodeShowText(pair)) != pair)
                    QFAIL(qPrintable(u"%1 %2"_s.arg(b).arg(b2)));
            }
        }
        QCOMPARE(DecodeShowBytes(EncodeShowText(all)), all);
        bool ok = false;
        QCOMPARE(ToWindows1252(all, &ok), bytes);
        QVERIFY(ok);
        ToWindows1252(u"\u96f7"_s, &ok);
        QVERIFY(!ok);
    }
};

QTEST_GUILESS_MAIN(ShowFileFormatTest)
#include "test_showfile_format.moc"
