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
        // Only pieces followed by a line end are cue lines.
        QCOMPARE(ParseShowText(QStringLiteral("1,a,\r\n2,b,\r\n3,c,")).size(), size_t(2));
        QCOMPARE(ParseShowText(QStringLiteral("1,a,0,0,0,0,0,1,0,0,0,0,0,0,")).size(), size_t(0));
        QCOMPARE(ParseShowText(QString()).size(), size_t(0));
        // LF alone, CR alone and CR LF each end a line, mixed in one file too; empty lines
        // add no row, and the piece after the last line end stays unloaded.
        auto descriptions = [](const QString& text) {
            QStringList out;
            for (const CueRow& r : ParseShowText(text))
                out << r.text + QLatin1Char(':') + r.at(kDescription).text;
            return out;
        };
        const QStringList three{QStringLiteral("1:a"), QStringLiteral("2:b"),
                                QStringLiteral("3:c")};
        QCOMPARE(descriptions(QStringLiteral("1,a,\n2,b,\n3,c,\n4,unended,")), three);
        QCOMPARE(descriptions(QStringLiteral("1,a,\r2,b,\r3,c,\r4,unended,")), three);
        QCOMPARE(descriptions(QStringLiteral("\r\n1,a,\r\n\n2,b,\r\r3,c,\n\r\n4,unended")), three);
        // A CR LF is one line end, not a CR line and an empty LF line: nothing between.
        QCOMPARE(descriptions(QStringLiteral("1,a,\r\n2,b,\r\n3,c,\r\n")), three);
        // A line end inside a value is written as a blank, so the line stays whole.
        CueRow r;
        r.text = QStringLiteral("7\r");
        r.at(kDescription) = {StoredValue::text(QStringLiteral("a\nb\rc\r\nd")), QString()};
        r.subCount = 1;
        QCOMPARE(CueLine(r), QStringLiteral("7 ,a b c  d,,,,,,,,,,,,,"));
        QCOMPARE(descriptions(CueLine(r) + QStringLiteral("\r\n")),
                 QStringList{QStringLiteral("7 :a b c  d")});
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

    // Text whose Windows-1252 bytes would read as UTF-8 is written as UTF-8, so every text
    // the program writes reads back as it was.
    void everyTextReadsBackAsWritten() {
        const QString fits[] = {
            QStringLiteral("\u00c4\u2013Wind.mp3"),  // C4 96: would read as U+0116
            QStringLiteral("CAF\u00c9\u2026"),       // C9 85: would read as U+0245
            QStringLiteral("\u00c2\u00a9 2024"),     // C2 A9: would read as U+00A9
            QStringLiteral("\u00ef\u00bb\u00bfBOM"), // EF BB BF: would read as a byte order mark
        };
        for (const QString& text : fits) {
            const QByteArray bytes = EncodeShowText(text);
            QCOMPARE(bytes, text.toUtf8());
            QCOMPARE(DecodeShowBytes(bytes), text);
        }
        QCOMPARE(EncodeShowText(QStringLiteral("\u00c4\u2013Wind.mp3")),
                 QByteArray("\xc3\x84\xe2\x80\x93Wind.mp3"));
        // Every character of the code page alone and in every pair, after an ASCII start.
        QString all;
        for (int b = 0; b < 256; ++b) {
            const QString c = FromWindows1252(QByteArray(1, static_cast<char>(b)));
            all += c;
            QCOMPARE(DecodeShowBytes(EncodeShowText(QStringLiteral("x") + c)),
                     QStringLiteral("x") + c);
            for (int b2 = 0x80; b2 < 256; ++b2) {
                const QString pair = QStringLiteral("1,") + c +
                                     FromWindows1252(QByteArray(1, static_cast<char>(b2)));
                if (DecodeShowBytes(EncodeShowText(pair)) != pair)
                    QFAIL(qPrintable(QStringLiteral("%1 %2").arg(b).arg(b2)));
            }
        }
        QCOMPARE(DecodeShowBytes(EncodeShowText(all)), all);
        // Where the bytes cannot be UTF-8 the file stays Windows-1252, one byte a character,
        // and files written so before read as they always did.
        QCOMPARE(EncodeShowText(QStringLiteral("caf\u00e9 \u2013")), QByteArray("caf\xe9 \x96"));
        QCOMPARE(DecodeShowBytes(QByteArray("\xc4\x96Wind.mp3")), QStringLiteral("\u0116Wind.mp3"));
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
