// Browse: the file a cue takes, the MP3 question, decodings, and failures that change nothing.

#include "MediaFixture.h"
#include "core/Palette.h"
#include "media/Form6.h"
#include "media/clsMP3.h"
#include "platform/process/ProcessRunner.h"

using namespace sorvane;
using namespace sorvane::testing;

class MediaChoiceTest : public QObject, MediaFixture {
    Q_OBJECT
    const QString mp3 = path("Song.MP3");

    // A decoder whose program "decodes" by copying the 10-second WAV to its destination.
    ScriptedProcessRunner* useScripted(int slices, bool writes = true) {
        auto runner = std::make_unique<ScriptedProcessRunner>();
        ScriptedProcessRunner* r = runner.get();
        r->slicesToEnd = slices;
        if (writes) r->onEnd = [this, r] { QFile::copy(path("ten.wav"), r->arguments.value(2)); };
        media->setMP3(std::make_unique<clsMP3>(std::move(runner)));
        return r;
    }
    void browse(const QString& file, MsgResult answer = MsgResult::Yes) {
        shell->scripted.queueFile(file);
        shell->scripted.queueAnswer(answer);
        media->cmdBrowse_Click();
    }

private slots:
    void initTestCase() {
        QVERIFY(MakeWithFfmpeg(mp3, 1.5));
        QVERIFY(MakeWithFfmpeg(path("voice.wma"), 1.0, "wmav2"));
        for (const char* name : {"first.mp3", "second.mp3", "a.mp3", "b.mp3"})
            QVERIFY(QFile::copy(mp3, path(name)));
    }
    void init() { open(); }

    void browseTakesTheFileAsItIs_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("dialogs");
        QTest::addColumn<double>("end"); // -1: nothing is written
        QTest::newRow("wav") << path("ten.wav") << 1 << 10.0;
        QTest::newRow("wma, no question") << path("voice.wma") << 1 << 1.0;
        QTest::newRow("MP3 in capitals, answered No") << mp3 << 2 << 1.5;
        QTest::newRow("dialog cancelled") << QString() << 1 << -1.0;
        QTest::newRow("file the player refuses") << path("junk.wav") << 1 << -1.0;
    }
    void browseTakesTheFileAsItIs() {
        QFETCH(QString, file);
        QFETCH(int, dialogs);
        QFETCH(double, end);
        browse(file, MsgResult::No);
        QCOMPARE(shell->scripted.calls().size(), dialogs);
        // End, Start and File in this order, each through its handler, then the list click.
        const QStringList wrote{"End=" + fields->end, "Start=0", "File=" + file, "Click"};
        QCOMPARE(fields->log, end < 0 ? QStringList() : wrote);
        QVERIFY(end < 0 || std::abs(ReadNumber(fields->end).value_or(-1) - end) < 0.1);
    }

    void takenNameGivesNumberedName() {
        // The real decoder: the name reaches it untouched, through no shell.
        const QString stem = path("it's \"a\" $(touch x) `y` $HOME; Ünï");
        QVERIFY(QFile::copy(mp3, stem + ".take2.mp3"));
        QVERIFY(QFile::copy(path("ten.wav"), stem + ".wav"));
        browse(stem + ".take2.mp3");
        QCOMPARE(fields->file, stem + " (2).wav");
        QVERIFY(std::abs(ReadNumber(fields->end).value_or(-1) - 1.5) < 0.15);
        QCOMPARE(QFileInfo(stem + ".wav").size(), QFileInfo(path("ten.wav")).size());
        QVERIFY(QFile::copy(path("ten.wav"), stem + " (3).wav"));
        QCOMPARE(MediaCommands::DecodedName(stem + ".take2.mp3"), stem + " (4).wav");
    }

    void secondDecodingWhileOneRunsIsRefused() {
        ScriptedProcessRunner* r = useScripted(3);
        QStringList nestedLog{"not run"};
        bool pressed = false; // once only, so that a nested decoding cannot nest again
        r->onSlice = [&](int slice) {
            if (slice != 1 || std::exchange(pressed, true)) return;
            browse(path("second.mp3")); // Browse pressed again while the first decoding runs
            nestedLog = fields->log;
        };
        browse(path("first.mp3"));
        QCOMPARE(r->starts, 1);
        QVERIFY(nestedLog.isEmpty());
        QCOMPARE(shell->last().text, kDecodingBusyText);
        QCOMPARE(fields->file, path("first.wav"));
        r->onSlice = nullptr; // once done, the next decoding runs again
        browse(path("second.mp3"));
        QCOMPARE(fields->file, path("second.wav"));
    }

    void failingDecoderReportedNamingTheFile_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("decoder"); // empty: a scripted one ending with `exitCode`
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("named");
        QTest::newRow("missingDecoderReportedAndNothingWaits")
            << "Song.MP3" << path("no-such-lame") << 0 << "MP3 decoder";
        QTest::newRow("failure status, a file written") << "a.mp3" << QString() << 1 << "a.mp3";
        QTest::newRow("success, nothing written") << "b.mp3" << QString() << 0 << "b.mp3";
        QTest::newRow("real decoder, no MP3 inside") << "fake.mp3" << AppLame() << 0 << "fake.mp3";
    }
    void failingDecoderReportedNamingTheFile() {
        QFETCH(QString, source);
        QFETCH(QString, decoder);
        QFETCH(int, exitCode);
        QFETCH(QString, named);
        QFile::copy(path("ten.wav"), path("fake.mp3")); // the player takes it, the decoder not
        if (decoder.isEmpty())
            useScripted(1, exitCode != 0)->endExitCode = exitCode;
        else
            media->DecoderPath = decoder;
        browse(path(source));
        QCOMPARE(shell->last().colour, kRed);
        QVERIFY(shell->last().text.contains(named));
        QVERIFY(fields->log.isEmpty());
        QTRY_VERIFY(media->decodingWindow() == nullptr);
    }
};

QTEST_MAIN(MediaChoiceTest)
#include "test_media_choice.moc"
