// The text show file: cue lines, line ends, the decimal point in every locale, and the
// choice between Windows-1252 and UTF-8.

#include "../support/TextRow.h"
#include "showfiles/ShowFileFormat.h"

#include <QLocale>
#include <QtTest>

using namespace sorvane;
using namespace Qt::StringLiterals;

namespace {

// The example cue with the kinds of values the panel stores.
CueRow ExampleRow() {
    CueRow r =
        testing::TextRow(u"2,Rain heavy,1,0,0,rain.wav,-800,1,0,4,5,0,1.5,12.25"_s.split(','));
    r.at(kWhen).value = StoredValue::int32(1);
    r.at(kVolume).value = StoredValue::int32(-800);
    r.at(kChannel).value = StoredValue::int16(4);
    r.at(kSelectionStart).value = StoredValue::number(1.5);
    r.at(kSelectionEnd).value = StoredValue::number(12.25);
    return r;
}

// Each loaded row as its text and the display texts of the sub-items it holds.
QStringList Rows(const QString& text) {
    QStringList out;
    for (const CueRow& r : ParseShowText(text)) {
        QStringList fields{r.text};
        for (int k = 1; k <= r.subCount; ++k)
            fields << r.at(k).text;
        out << fields.join('|');
    }
    return out;
}

} // namespace

class ShowFileFormatTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void cueLines() {
        CueRow r = ExampleRow();
        QCOMPARE(CueLine(r), u"2,Rain heavy,1,0,0,rain.wav,-800,1,0,4,5,0,1.5,12.25,"_s);
        // A comma or a line break inside a value would cut the cue: each is written as a blank.
        r.text = u"2\r"_s;
        r.at(kDescription).value = StoredValue::text(u"Rain,\r\nheavy\n"_s);
        r.at(kFile).value = StoredValue::text(u"/media/a,b.wav"_s);
        QCOMPARE(
            Rows(CueLine(r) + u"\r\n"_s),
            QStringList{u"2 |Rain   heavy |Execute|0|0|/media/a b.wav|-800|1|0|4|5|0|1.5|12.25"_s});
        // Empty and missing sub-items are empty fields; the line still has 14 commas.
        r.subCount = 2;
        r.at(kWhen).value = StoredValue::text(QString());
        QCOMPARE(CueLine(r), u"2 ,Rain   heavy ,,,,,,,,,,,,,"_s);
    }

    void numbersKeepAPointInEveryLocale() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        CueRow r = ExampleRow();
        r.at(kRate).value = StoredValue::text(u"1,5"_s); // typed in this locale
        r.at(kSelectionStart).value = StoredValue::number(-0.25);
        r.at(kDescription).value = StoredValue::text(u"1,5 Takte"_s);
        const QString line = CueLine(r);
        QCOMPARE(line, u"2,1 5 Takte,1,0,0,rain.wav,-800,1.5,0,4,5,0,-0.25,12.25,"_s);
        // Read back in the same locale, the numbers are the locale's own; Description and File
        // are never numbers.
        QCOMPARE(Rows(line + u"\r\n1.5,1.5,0,0,0,take.1.5,\r\n"_s),
                 QStringList({u"2|1 5 Takte|Execute|0|0|rain.wav|-800|1,5|0|4|5|0|-0,25|12,25"_s,
                              u"1.5|1.5|During|0|0|take.1.5|"_s}));
        // Where the separator is a point, files load as they always did.
        QLocale::setDefault(QLocale::c());
        QCOMPARE(Rows(u"1,a,0,0,0,0,0,1.50,0,0,0,0,x,2\r\n"_s),
                 QStringList{u"1|a|During|0|0|0|0|1.50|0|0|0|0|x|2"_s});
    }

    // LF, CR and CR LF each end a line; empty lines add no row; the piece after the last line
    // end stays unloaded; fields after the 13th are ignored, a short line has the sub-items
    // it names, and the start condition shows the loader's words.
    void lineEnds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("rows");
        const QStringList three{u"1|a|"_s, u"2|b|"_s, u"3|c|"_s};
        QTest::newRow("CR LF") << u"1,a,\r\n2,b,\r\n3,c,\r\n"_s << three;
        QTest::newRow("LF") << u"1,a,\n2,b,\n3,c,\n4,unended,"_s << three;
        QTest::newRow("CR") << u"1,a,\r2,b,\r3,c,\r4,unended,"_s << three;
        QTest::newRow("mixed, empty lines") << u"\r\n1,a,\r\n\n2,b,\r\r3,c,\n\r\n4,d"_s << three;
        QTest::newRow("no line end") << u"1,a,0,0,0,0,0,1,0,0,0,0,0,0,"_s << QStringList();
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("extra fields") << u"9,a,1,2,3,f,5,6,7,8,9,10,11,12,13,14,15\r\n"_s
                                      << QStringList{u"9|a|Execute|2|3|f|5|6|7|8|9|10|11|12"_s};
        QTest::newRow("short lines") << u"4,only\r\n4b\r\n"_s << QStringList{"4|only", "4b"};
        QTest::newRow("start words") << u"1,a,0\r\n2,b,2\r\n3,c,7\r\n"_s
                                     << QStringList{"1|a|During", "2|b|Complete", "3|c|7"};
    }
    void lineEnds() {
        QFETCH(QString, text);
        QFETCH(QStringList, rows);
        QCOMPARE(Rows(text), rows);
    }

    void encoding() {
        // Windows-1252, one byte a character, where everything fits and the bytes cannot be
        // UTF-8.
        const QString western = u"Caf\u00e9 \u2013 na\u00efve \u20ac5 \u201cq\u201d"_s;
        const QByteArray cp1252("Caf\xe9 \x96 na\xefve \x80"
                                "5 \x93q\x94");
        QCOMPARE(EncodeShowText(western), cp1252);
        QCOMPARE(DecodeShowBytes(cp1252), western);
        // UTF-8 where the Windows-1252 bytes would read as UTF-8 (C4 96, C9 85, C2 A9, a byte
        // order mark) or a character is beyond the code page.
        for (const QString& t :
             {u"\u00c4\u2013Wind.mp3"_s, u"CAF\u00c9\u2026"_s, u"\u00c2\u00a9 2024"_s,
              u"\u00ef\u00bb\u00bfBOM"_s, u"\u0413\u0440\u043e\u043c \u96f7 caf\u00e9"_s}) {
            QCOMPARE(EncodeShowText(t), t.toUtf8());
            QCOMPARE(DecodeShowBytes(t.toUtf8()), t);
        }
        // Files written before: bytes that are not valid UTF-8 are Windows-1252, and a UTF-8
        // byte order mark is dropped.
        const std::pair<QByteArray, QString> older[] = {{"\xc4\x96Wind.mp3", u"\u0116Wind.mp3"_s},
                                                        {"caf\xe9\xc3", u"caf\u00e9\u00c3"_s},
                                                        {"\xef\xbb\xbfz\xc3\xa9", u"z\u00e9"_s},
                                                        {"\x80\x9f\xff", u"\u20ac\u0178\u00ff"_s}};
        for (const auto& [bytes, text] : older)
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
                const QString pair = u"1,"_s + c + FromWindows1252(QByteArray(1, char(b2)));
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
