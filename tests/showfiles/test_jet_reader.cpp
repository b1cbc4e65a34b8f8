// The database show file reader: the fixtures' rows in CueNumber order with their values
// typed, and files that are no such database, read without crashing or hanging.

#include "showfiles/JetShowReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

using namespace sorvane;

namespace {
QString Data(const QString& name) {
    return qEnvironmentVariable("SORVANE_TEST_DATA") + QStringLiteral("/showfiles/") + name;
}
} // namespace

class JetReaderTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;

    QString write(const QString& name, const QByteArray& bytes) {
        const QString p = tmp.filePath(name);
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return p;
    }

private slots:
    void basicShowInCueNumberOrder() {
        const JetShow show = ReadJetShow(Data(QStringLiteral("show-basic.mdb")));
        QCOMPARE(show.status, JetShow::Status::Ok);
        QCOMPARE(show.rows.size(), size_t(8));
        QStringList numbers;
        for (const CueRow& r : show.rows)
            numbers << r.text;
        QCOMPARE(numbers.join(QLatin1Char(' ')), QStringLiteral("1 2 3 4 5 6 7 8"));
        for (const CueRow& r : show.rows)
            QCOMPARE(r.subCount, 13);

        // Cue 3 (stored first): texts stay texts, numbers stay numbers.
        const CueRow& thunder = show.rows[2];
        QCOMPARE(thunder.at(kDescription).value, StoredValue::text(QStringLiteral("Thunder roll")));
        QCOMPARE(thunder.at(kFile).value, StoredValue::text(QStringLiteral("thunder.wav")));
        QVERIFY(thunder.at(kVolume).value.isNumber());
        QCOMPARE(*thunder.at(kVolume).value.toNumber(), -800.0);
        QCOMPARE(thunder.at(kVolume).text, QStringLiteral("-800"));
        QCOMPARE(*thunder.at(kSelectionStart).value.toNumber(), 1.5);
        QCOMPARE(*thunder.at(kSelectionEnd).value.toNumber(), 12.25);
        QCOMPARE(*thunder.at(kChannel).value.toNumber(), 1.0);
        QCOMPARE(*thunder.at(kFadeSpeed).value.toNumber(), 5.0);
        QCOMPARE(thunder.at(kWhen).text, QStringLiteral("Execute"));

        // Cue 2: the Delay of 500 ms.
        const CueRow& hold = show.rows[1];
        QCOMPARE(*hold.at(kAction).value.toNumber(), 8.0);
        QCOMPARE(*hold.at(kActionCue).value.toNumber(), 500.0);
        QCOMPARE(hold.at(kWhen).text, QStringLiteral("Complete"));

        // Cue 5: Null description and file are the empty text, as value and as display.
        const CueRow& fade = show.rows[4];
        QCOMPARE(fade.at(kDescription).value, StoredValue::text(QString()));
        QCOMPARE(fade.at(kDescription).text, QString());
        QCOMPARE(fade.at(kFile).value, StoredValue::text(QString()));
        QCOMPARE(*fade.at(kVolume).value.toNumber(), -2000.0);

        QCOMPARE(show.rows[0].at(kFile).value.toText(),
                 QStringLiteral("C:\\Shows\\Media\\preshow.mp3"));
        QCOMPARE(show.rows[3].at(kRate).value.toNumber().value_or(0), 0.75);
        QCOMPARE(show.rows[7].at(kDescription).value.toText(),
                 QStringLiteral("Buffer walk-out, \"quiet\""));
    }

    void emptyTableAndMissingTable() {
        const JetShow empty = ReadJetShow(Data(QStringLiteral("show-empty.mdb")));
        QCOMPARE(empty.status, JetShow::Status::Ok);
        QCOMPARE(empty.rows.size(), size_t(0));
        const JetShow none = ReadJetShow(Data(QStringLiteral("no-cuelist.mdb")));
        QCOMPARE(none.status, JetShow::Status::NoCueTable);
        QCOMPARE(none.rows.size(), size_t(0));
    }

    void filesThatAreNoDatabase() {
        QVERIFY(tmp.isValid());
        const QString text =
            write(QStringLiteral("show.cue"), "1,Intro,0,0,0,0,0,1,0,0,0,0,0,0,\r\n");
        QCOMPARE(ReadJetShow(text).status, JetShow::Status::CannotOpen);
        QCOMPARE(ReadJetShow(tmp.filePath(QStringLiteral("missing.mdb"))).status,
                 JetShow::Status::CannotOpen);
        QCOMPARE(ReadJetShow(tmp.path()).status, JetShow::Status::CannotOpen);
        QCOMPARE(ReadJetShow(write(QStringLiteral("empty.mdb"), QByteArray())).status,
                 JetShow::Status::CannotOpen);
        // The database signature followed by nothing that makes sense.
        QByteArray fake("\x00\x01\x00\x00Standard Jet DB\x00", 20);
        fake.append(QByteArray(8192, '\xA5'));
        QVERIFY(LooksLikeJetDatabase(write(QStringLiteral("fake.mdb"), fake)));
        QVERIFY(ReadJetShow(tmp.filePath(QStringLiteral("fake.mdb"))).status !=
                JetShow::Status::Ok);
        // A pipe is never opened for reading (it would wait for a writer).
        const QString fifo = tmp.filePath(QStringLiteral("pipe.mdb"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!LooksLikeJetDatabase(fifo));
        QCOMPARE(ReadJetShow(fifo).status, JetShow::Status::CannotOpen);
    }

    void damagedDatabasesEndTheRead() {
        QFile f(Data(QStringLiteral("show-basic.mdb")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();
        // Cut short at several places, and with a page overwritten: whatever the reader makes
        // of them, it returns, and a truncated catalog never yields rows from nowhere.
        for (int cut : {4096, 8192, 20480, 61440, 100000}) {
            const JetShow s = ReadJetShow(write(QStringLiteral("cut.mdb"), whole.left(cut)));
            QVERIFY(s.status != JetShow::Status::Ok || s.rows.size() <= 8);
        }
        QByteArray scribbled = whole;
        for (int i = 4096; i < 12288; ++i)
            scribbled[i] = static_cast<char>((i * 37) & 0xFF);
        const JetShow s = ReadJetShow(write(QStringLiteral("scribbled.mdb"), scribbled));
        QVERIFY(s.status != JetShow::Status::Ok || s.rows.size() <= 8);
    }

    void singleColumnsKeepTheirDigits() {
        QCOMPARE(StoredValue::number(SingleValue(0.1f)).toText(), QStringLiteral("0.1"));
        QCOMPARE(StoredValue::number(SingleValue(1.1f)).toText(), QStringLiteral("1.1"));
        QCOMPARE(StoredValue::number(SingleValue(-3.3f)).toText(), QStringLiteral("-3.3"));
        QCOMPARE(StoredValue::number(SingleValue(12.25f)).toText(), QStringLiteral("12.25"));
        QCOMPARE(StoredValue::number(SingleValue(16777216.f)).toText(), QStringLiteral("16777216"));
        QCOMPARE(SingleValue(0.f), 0.0);
    }

    void handOverKeepsKindsAndTexts() {
        JetShow show;
        show.status = JetShow::Status::Ok;
        CueRow r;
        r.text = QStringLiteral("12");
        r.subCount = 5;
        r.at(1) = {StoredValue::text(QStringLiteral("Gr\u00fc\u00dfe \u96f7")),
                   QStringLiteral("shown")};
        r.at(2) = {StoredValue::int16(-2), QStringLiteral("During")};
        r.at(3) = {StoredValue::int32(70000), QStringLiteral("70000")};
        r.at(4) = {StoredValue::number(0.1 + 0.2), QStringLiteral("0.3")};
        r.at(5) = {StoredValue(), QString()};
        show.rows.push_back(r);
        const auto back = DeserializeJetShow(SerializeJetShow(show));
        QVERIFY(back.has_value());
        QCOMPARE(back->rows.size(), size_t(1));
        const CueRow& b = back->rows[0];
        QCOMPARE(b.text, r.text);
        QCOMPARE(b.subCount, 5);
        for (int k = 1; k <= 5; ++k) {
            QCOMPARE(b.at(k).value, r.at(k).value);
            QCOMPARE(b.at(k).text, r.at(k).text);
        }
        QCOMPARE(b.at(3).value.kind(), StoredValue::Kind::Int32);
        QVERIFY(!DeserializeJetShow(QByteArray("\x00\x00\x00\x00\xff\xff", 6)).has_value());
        QVERIFY(!DeserializeJetShow(QByteArray()).has_value());
    }
};

QTEST_GUILESS_MAIN(JetReaderTest)
#include "test_jet_reader.moc"
