// The database show file reader: the fixtures' rows in CueNumber order with their values
// typed, and files that are no such database, read without crashing or hanging.

#include "showfiles/JetShowReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <tuple>

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

        // Texts stay texts, numbers stay numbers, and a Null description or file is the empty
        // text, as value and as display: cue, field, value, display.
        const std::tuple<int, int, StoredValue, QString> fields[] = {
            {3, kDescription, StoredValue::text("Thunder roll"), "Thunder roll"},
            {3, kFile, StoredValue::text("thunder.wav"), "thunder.wav"},
            {3, kVolume, StoredValue::number(-800), "-800"},
            {3, kSelectionStart, StoredValue::number(1.5), "1.5"},
            {3, kSelectionEnd, StoredValue::number(12.25), "12.25"},
            {3, kChannel, StoredValue::number(1), "1"},
            {3, kFadeSpeed, StoredValue::number(5), "5"},
            {3, kWhen, StoredValue::number(1), "Execute"},
            {2, kAction, StoredValue::number(8), "8"},
            {2, kActionCue, StoredValue::number(500), "500"},
            {2, kWhen, StoredValue::number(2), "Complete"},
            {5, kDescription, StoredValue::text(QString()), QString()},
            {5, kFile, StoredValue::text(QString()), QString()},
            {5, kVolume, StoredValue::number(-2000), "-2000"},
            {1, kFile, StoredValue::text("C:\\Shows\\Media\\preshow.mp3"),
             "C:\\Shows\\Media\\preshow.mp3"},
            {4, kRate, StoredValue::number(0.75), "0.75"},
            {8, kDescription, StoredValue::text("Buffer walk-out, \"quiet\""),
             "Buffer walk-out, \"quiet\""}};
        for (const auto& [cue, k, value, text] : fields) {
            const SubItem& item = show.rows[static_cast<size_t>(cue - 1)].at(k);
            const QString where = QString::number(cue) + QLatin1Char(':') + QString::number(k);
            QVERIFY2(item.value.isNumber() == value.isNumber(), qPrintable(where));
            QVERIFY2(item.value.toText() == value.toText(), qPrintable(where));
            QVERIFY2(item.text == text, qPrintable(where));
        }
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
        const std::pair<float, const char*> digits[] = {{0.1f, "0.1"},
                                                        {1.1f, "1.1"},
                                                        {-3.3f, "-3.3"},
                                                        {12.25f, "12.25"},
                                                        {16777216.f, "16777216"},
                                                        {0.f, "0"}};
        for (const auto& [single, text] : digits)
            QCOMPARE(StoredValue::number(SingleValue(single)).toText(), QString::fromLatin1(text));
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
