// The text show file (cue lines, line ends, encodings) and the database reader's values.

#include "../support/TextRow.h"
#include "showfiles/JetShowReader.h"
#include "showfiles/ShowFileFormat.h"

#include <QtTest>

using namespace sorvane;
using namespace Qt::StringLiterals;

class ShowFileFormatTest : public QObject {
    Q_OBJECT

private slots:
    void cueLines() {
        CueRow r = testing::TextRow(u"2\r,Rain,1,0,0,rain.wav,,1,0,4,5,0,1.5,12.25"_s.split(','));
        r.at(kVolume).value = StoredValue::int32(-800);
        r.at(kDescription).value = StoredValue::text("Rain,\r\nheavy\n");
        r.at(kFile).value = StoredValue::text("/media/a,b.wav");
        QCOMPARE(CueLine(r), "2 ,Rain   heavy ,1,0,0,/media/a b.wav,-800,1,0,4,5,0,1.5,12.25,");
    }

    // Lines end with CR LF, or in a file without any CR LF, with a CR or an LF alone.
    void lineEnds() {
        const std::pair<QString, QStringList> cases[] = {
            {"9,a,1,2,3,f,5,6,7,8,9,10,11,12,13,14,15\r\n",
             {"9|a|Execute|2|3|f|5|6|7|8|9|10|11|12"}},
            {"4,only\r\n4b\r\n", {"4|only", "4b"}},
            {"1,a,0\r\n2,b,2\r\n3,c,7\r\n", {"1|a|During", "2|b|Complete", "3|c|7"}},
            {"\r\n1,Rain\nheavy,1,0,0,\rrain.wav\r\n\r\n2\n,\n,2\r\n3\r",
             {"1|Rain\nheavy|Execute|0|0|\rrain.wav", "2\n|\n|Complete"}},
            {"1,a,0\n\n2,b,2\n3,c", {"1|a|During", "2|b|Complete"}},
            {"\r1,a,0\r\r2,b,2\r3,c", {"1|a|During", "2|b|Complete"}}};
        for (const auto& [text, rows] : cases) {
            QStringList out;
            for (const CueRow& r : ParseShowText(text)) {
                QStringList fields{r.text};
                for (int k = 1; k <= r.subCount; ++k)
                    fields << r.at(k).text;
                out << fields.join('|');
            }
            QCOMPARE(out, rows);
        }
    }

    void encoding() {
        const QString western = u"Caf\u00e9 \u2013 na\u00efve \u20ac5 \u201cq\u201d"_s;
        const QByteArray cp1252("Caf\xe9 \x96 na\xefve \x80"
                                "5 \x93q\x94");
        QCOMPARE(EncodeShowText(western), cp1252);
        QCOMPARE(DecodeShowBytes(cp1252), western);
        for (const QString& t :
             {u"\u00ef\u00bb\u00bfBOM"_s, u"\u0413\u0440\u043e\u043c \u96f7"_s}) {
            QCOMPARE(EncodeShowText(t), t.toUtf8());
            QCOMPARE(DecodeShowBytes(t.toUtf8()), t);
        }
        const std::pair<QByteArray, QString> older[] = {{"\xc4\x96Wind.mp3", u"\u0116Wind.mp3"_s},
                                                        {"caf\xe9\xc3", u"caf\u00e9\u00c3"_s},
                                                        {"\xef\xbb\xbfz\xc3\xa9", u"z\u00e9"_s},
                                                        {"\x80\x9f\xff", u"\u20ac\u0178\u00ff"_s}};
        for (const auto& [bytes, text] : older)
            QCOMPARE(DecodeShowBytes(bytes), text);
    }

    void everyTextReadsBackAsWritten() {
        QByteArray bytes;
        for (int b = 0; b < 256; ++b) {
            bytes.append(static_cast<char>(b));
            for (int b2 = 0x80; b2 < 256; ++b2) {
                const QString pair = "1," + FromWindows1252(bytes.right(1) + char(b2));
                if (DecodeShowBytes(EncodeShowText(pair)) != pair)
                    QFAIL(qPrintable(u"%1 %2"_s.arg(b).arg(b2)));
            }
        }
        const QString all = FromWindows1252(bytes);
        QCOMPARE(DecodeShowBytes(EncodeShowText(all)), all);
        bool ok = false;
        QCOMPARE(ToWindows1252(all, &ok), bytes);
        QVERIFY(ok);
    }

    void databaseValues() {
        const std::pair<float, QString> digits[] = {
            {0.1f, "0.1"}, {-3.3f, "-3.3"}, {16777216.f, "16777216"}};
        for (const auto& [single, text] : digits)
            QCOMPARE(StoredValue::number(SingleValue(single)).toText(), text);
        JetShow show;
        show.rows.push_back(testing::TextRow({"12", "Gr\u00fc\u00dfe"}));
        show.rows[0].at(kAction).value = StoredValue::int32(70000);
        show.rows[0].at(kActionCue).value = StoredValue::number(0.1 + 0.2);
        const QByteArray bytes = SerializeJetShow(show);
        const std::optional<JetShow> back = DeserializeJetShow(bytes);
        QVERIFY(back && back->rows.size() == 1);
        for (int k = 1; k <= kSubItemCount; ++k)
            QVERIFY(back->rows[0].at(k).value == show.rows[0].at(k).value);
        QVERIFY(!DeserializeJetShow(bytes.chopped(3)).has_value());
    }
};

QTEST_GUILESS_MAIN(ShowFileFormatTest)
#include "test_showfile_format.moc"
