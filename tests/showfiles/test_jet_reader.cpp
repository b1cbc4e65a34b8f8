// The database show file reader: the fixture's rows in CueNumber order with their values
// typed, and damaged files or files that are no such database, read without crashing or
// hanging.

#include "TestFiles.h"
#include "showfiles/JetShowReader.h"

#include <QTemporaryDir>
#include <sys/stat.h>
#include <tuple>

using namespace sorvane;

class JetReaderTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    const QString data = qEnvironmentVariable("SORVANE_TEST_DATA") + "/showfiles/";

    QString write(const QString& name, const QByteArray& bytes) {
        WriteFile(tmp.filePath(name), bytes);
        return tmp.filePath(name);
    }

private slots:
    void basicShowInCueNumberOrder() {
        const JetShow show = ReadJetShow(data + "show-basic.mdb");
        QCOMPARE(show.status, JetShow::Status::Ok);
        QStringList numbers;
        for (const CueRow& r : show.rows) {
            numbers << r.text;
            QCOMPARE(r.subCount, 13);
        }
        QCOMPARE(numbers.join(' '), QStringLiteral("1 2 3 4 5 6 7 8"));
        // Texts stay texts and numbers keep their column's kind through the reading process's
        // hand-over; a Null description or file is the empty text: cue, field, value, display.
        using V = StoredValue;
        const std::tuple<int, int, StoredValue, QString> fields[] = {
            {3, kDescription, V::text("Thunder roll"), "Thunder roll"},
            {3, kFile, V::text("thunder.wav"), "thunder.wav"},
            {3, kVolume, V::int32(-800), "-800"},
            {3, kSelectionStart, V::number(1.5), "1.5"},
            {3, kChannel, V::int16(1), "1"},
            {3, kWhen, V::int16(1), "Execute"},
            {2, kActionCue, V::int32(500), "500"},
            {2, kWhen, V::int16(2), "Complete"},
            {5, kDescription, V::text(QString()), QString()},
            {5, kFile, V::text(QString()), QString()},
            {1, kFile, V::text("C:\\Shows\\Media\\preshow.mp3"), "C:\\Shows\\Media\\preshow.mp3"},
            {4, kRate, V::number(0.75), "0.75"},
            {8, kDescription, V::text("Buffer walk-out, \"quiet\""), "Buffer walk-out, \"quiet\""}};
        for (const auto& [cue, k, value, text] : fields) {
            const SubItem& item = show.rows[static_cast<size_t>(cue - 1)].at(k);
            const QString where = QString::number(cue) + ':' + QString::number(k);
            QVERIFY2(item.value == value && item.text == text, qPrintable(where));
        }
        // A hand-over cut short is refused, not read as fewer rows.
        QVERIFY(!DeserializeJetShow(SerializeJetShow(show).chopped(3)).has_value());
        QVERIFY(!DeserializeJetShow(QByteArray()).has_value());
        // Single-precision columns keep their own digits.
        const std::pair<float, const char*> digits[] = {
            {0.1f, "0.1"}, {-3.3f, "-3.3"}, {16777216.f, "16777216"}, {0.f, "0"}};
        for (const auto& [single, text] : digits)
            QCOMPARE(StoredValue::number(SingleValue(single)).toText(), QString::fromLatin1(text));
    }

    void filesThatAreNoDatabase() {
        QVERIFY(tmp.isValid());
        // The database signature followed by nothing that makes sense.
        const QString fake =
            write("fake.mdb",
                  QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(8192, '\xA5'));
        QVERIFY(LooksLikeJetDatabase(fake));
        // A pipe is never opened for reading (it would wait for a writer).
        const QString fifo = tmp.filePath("pipe.mdb");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString& file :
             {fake, fifo, tmp.path(), tmp.filePath("missing.mdb"), write("empty.mdb", QByteArray()),
              write("show.cue", "1,Intro,0,0,0,0,0,1,0,0,0,0,0,0,\r\n")})
            QVERIFY2(ReadJetShow(file).status != JetShow::Status::Ok, qPrintable(file));
        // Cut short at several places, or with pages overwritten: whatever the reader makes of
        // them, it returns, and a damaged catalog never yields rows from nowhere.
        const QByteArray whole = ReadFile(data + "show-basic.mdb");
        QByteArray scribbled = whole;
        for (int i = 4096; i < 12288; ++i)
            scribbled[i] = static_cast<char>((i * 37) & 0xFF);
        for (const QByteArray& bytes : {whole.left(4096), whole.left(8192), whole.left(20480),
                                        whole.left(61440), whole.left(100000), scribbled}) {
            const JetShow s = ReadJetShow(write("damaged.mdb", bytes));
            QVERIFY(s.status != JetShow::Status::Ok || s.rows.size() <= 8);
        }
    }
};

QTEST_GUILESS_MAIN(JetReaderTest)
#include "test_jet_reader.moc"
