// Every file's true length, as it plays: MP3s without a length header, with the encoder's
// padding, cut short, and files that are no sound at all.

#include "EngineFixture.h"

#include <QSignalSpy>

using namespace fixture;

namespace {
constexpr double kMp3Frame = 1152.0 / 44100; // one MP3 frame of a 44.1 kHz file

// Sample frames that ffmpeg decodes from `file`.
qint64 decodedFrames(const QString& file) {
    QByteArray pcm;
    const QStringList args = {"-loglevel", "error", "-i", file, "-f", "s16le", "-ac", "1", "-"};
    return run("ffmpeg", args, &pcm) ? pcm.size() / 2 : -1;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() ? path : QString();
}
} // namespace

class TestMediaLength : public EngineTest {
    Q_OBJECT

    // A 44.1 kHz tone of louder and softer seconds, as a WAV or encoded by lame with `args`.
    QString encode(const QString& name, double seconds, const QStringList& args) {
        Frames f = tone(44100, seconds, 440, 0.5);
        for (std::size_t i = 0; i < f.size(); ++i)
            f[i] *= 0.2f + 0.8f * float((i / 88200) % 2);
        const QString source = wav(name + ".wav", f, 44100);
        if (args.isEmpty()) return source;
        return run("lame", QStringList{"--quiet"} << args << source << path(name)) ? path(name)
                                                                                   : QString();
    }

private slots:
    // Each file states the length that plays, the last stretch before it plays to that end,
    // and one second marked within it sounds for that second.
    void lengthIsWhatPlays_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("within"); // of the decoded length, and of the end of play
        QTest::newRow("joinedVbrWithoutHeader") << "joined" << kMp3Frame;
        QTest::newRow("encoderPaddingIsNotCounted") << "tagged" << 2.0 / kRate;
        QTest::newRow("wmaReportsWhatPlays") << "wma" << 0.005;
        QTest::newRow("cut CBR with an Info frame") << "-b 160" << kMp3Frame;
        QTest::newRow("cut VBR with a Xing frame") << "-V 2" << kMp3Frame;
        QTest::newRow("cut WAV") << "" << 2.0 / kRate;
    }
    void lengthIsWhatPlays() {
        QFETCH(QString, kind);
        QFETCH(double, within);
        QString file;
        qint64 frames = 0;
        if (kind == "joined") { // sixty VBR pieces without a header: 10 minutes
            const QString piece = encode("piece.mp3", 10.0, {"-V", "4", "-t"});
            frames = 60 * decodedFrames(piece);
            file = writeAll(path("joined.mp3"), readAll(piece).repeated(60));
        } else if (kind == "tagged") { // LAME's info frame holds the padding
            file = encode("tagged.mp3", 10.0, {"-b", "128"});
            frames = decodedFrames(file);
            QCOMPARE(frames, qint64(441000));
        } else if (kind == "wma") { // states 10.030 s, plays 9.985 s
            file = path("ten.wma");
            QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-i", encode("wma", 10.0, {}),
                                   "-c:a", "wmav2", "-b:a", "128k", file}));
            frames = decodedFrames(file);
        } else { // cut short
            const QString name =
                QString("cut%1.%2").arg(kind, kind.isEmpty() ? "wav" : "mp3").remove(' ');
            const QStringList args = kind.split(' ', Qt::SkipEmptyParts);
            const QByteArray bytes = readAll(encode("whole-" + name, 10.0, args));
            file = writeAll(path(name), bytes.left(bytes.size() * 6 / 10));
            frames = decodedFrames(file);
            QVERIFY(frames > 4 * 44100 && frames < 8 * 44100);
        }
        QVERIFY(!file.isEmpty() && frames > 0);
        const double truth = static_cast<double>(frames) / 44100;
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        QCOMPARE(player.FileName(), file);
        QVERIFY2(std::abs(player.SelectionEnd() - truth) <= std::max(within, 1.0 / 44100),
                 qPrintable(QStringLiteral("%1 against %2").arg(player.SelectionEnd()).arg(truth)));
        player.setCurrentPosition(truth - 0.5);
        player.Play();
        const double end = truth - 0.5 + soundingFrames(render(engine, kRate * 3 / 2)) / 48000.0;
        QVERIFY2(std::abs(end - truth) <= within, qPrintable(QString::number(end, 'f', 6)));
        QCOMPARE(player.PlayState(), 0);
        player.setSelectionStart(truth - 2.0);
        player.setSelectionEnd(truth - 1.0);
        player.setCurrentPosition(truth - 2.0);
        player.Play();
        QVERIFY(std::abs(soundingFrames(render(engine, 2 * kRate)) - kRate) <= 1);
        QCOMPARE(player.PlayState(), 0);
    }

    // Files that hold no sound, among them zeros named .mp3 far larger than the memory a
    // load may take: refused at once with one event, the player empty and Play doing nothing.
    void refusedFilesLeaveThePlayerEmpty_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("sparseSize");
        const QByteArray mp3 = readAll(encode("stub-source.mp3", 1.0, {"-b", "128"}));
        QTest::newRow("MP3 stub") << "stub.mp3" << mp3.left(300) << qint64(0);
        QTest::newRow("text") << "text.wav" << QByteArray("This is no sound at all.\n")
                              << qint64(0);
        QTest::newRow("empty") << "empty.wav" << QByteArray() << qint64(0);
        QTest::newRow("garbage") << "garbage.mp3" << QByteArray(20000, '\x5a') << qint64(0);
        QTest::newRow("missing") << "" << QByteArray() << qint64(0);
        QTest::newRow("3 MB of zeros") << "zeros.mp3" << QByteArray(3 << 20, '\0') << qint64(0);
        QTest::newRow("10 GB of zeros") << "huge.mp3" << QByteArray() << (qint64(10) << 30);
    }
    void refusedFilesLeaveThePlayerEmpty() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, sparseSize);
        QString file = name.isEmpty() ? path("missing.wav") : writeAll(path(name), bytes);
        QVERIFY(!file.isEmpty());
        if (sparseSize) QVERIFY(QFile::resize(file, sparseSize)); // costs no disk
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(encode("good", 1.0, {}));
        QCOMPARE(player.PlayState(), 0);
        player.Play();
        render(engine, 4096);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(file);
        QVERIFY(player.FileName().isEmpty());
        QCOMPARE(player.PlayState(), 6);
        QCOMPARE(spy.size(), 1);
        player.Play();
        QCOMPARE(player.PlayState(), 6);
        QVERIFY(soundingFrames(render(engine, 2048)) <= kRamp); // only the old sound's fade
    }

    // An MP3 behind a large ID3 tag is found; MPEG audio of another layer named .mp3 is left
    // to the decoder, and plays.
    void mp3sBehindTagsOrOfAnotherLayerOpen() {
        QByteArray tagged("ID3\x04\x00\x00\x00\x24\x4f\x40", 10); // a tag of 600000 bytes
        tagged += QByteArray(600000, '\0') + readAll(encode("short.mp3", 1.0, {"-b", "128"}));
        const QString behindTag = writeAll(path("tagged-big.mp3"), tagged);
        const QString mp2 = path("layer2.mp3");
        QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                               "sine=f=440:d=3:r=44100", "-c:a", "mp2", "-f", "mp2", mp2}));
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(behindTag);
        QCOMPARE(player.FileName(), behindTag);
        QVERIFY(std::abs(player.SelectionEnd() - 1.0) <= 1.0 / 44100);
        player.setFileName(mp2);
        QCOMPARE(player.FileName(), mp2);
        QVERIFY(std::abs(player.SelectionEnd() - 3.0) < 0.05);
    }
};

QTEST_MAIN(TestMediaLength)
#include "test_media_length.moc"
