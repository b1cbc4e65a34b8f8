// Every file's true length, as it plays: MP3s without a length header, with the encoder's
// padding, cut short, and files that only pretend to be MP3s.

#include "EngineFixture.h"
#include "platform/engine/MediaPlayer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace fixture;
using sorvane::AudioEngine;
using sorvane::MediaPlayer;

namespace {

bool run(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (out) *out = p.readAllStandardOutput();
    return true;
}

// Sample frames that ffmpeg decodes from `file`.
qint64 decodedFrames(const QString& file) {
    QByteArray pcm;
    if (!run("ffmpeg", {"-loglevel", "error", "-i", file, "-f", "s16le", "-ac", "1", "-"}, &pcm))
        return -1;
    return pcm.size() / 2;
}

// Frames up to the last non-silent one.
int soundingFrames(const Frames& s) {
    for (int i = static_cast<int>(s.size()) / 2 - 1; i >= 0; --i)
        if (s[2 * i] != 0.0f || s[2 * i + 1] != 0.0f) return i + 1;
    return 0;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

constexpr double kMp3Frame = 1152.0 / 44100; // one MP3 frame of a 44.1 kHz file

} // namespace

class TestMediaLength : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    // Plays the last `tail` seconds before SelectionEnd and returns how long it sounded.
    double playsUntil(AudioEngine& engine, MediaPlayer& player, double tail) {
        player.setCurrentPosition(player.SelectionEnd() - tail);
        player.Play();
        const Frames out = render(engine, static_cast<int>((tail + 1.0) * kRate));
        return player.SelectionEnd() - tail + static_cast<double>(soundingFrames(out)) / kRate;
    }

    // A tone with a quiet stretch, encoded by lame with `args`, `seconds` long, 44.1 kHz.
    QString encode(const QString& name, double seconds, const QStringList& args) {
        Frames f = tone(44100, seconds, 440, 0.5);
        for (std::size_t i = 0; i < f.size() / 2; i += 2)
            f[i] *= 0.2f + 0.8f * float((i / 44100) % 2); // louder and softer seconds
        const QString wav = path(name + ".wav");
        if (!writeFloatWav(wav, f, 44100)) return QString();
        const QString mp3 = path(name);
        QStringList all = {"--quiet"};
        all << args << wav << mp3;
        return run("lame", all) ? mp3 : QString();
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // A long VBR MP3 without any header, made by joining short ones: its length is counted
    // frame by frame, and the last second plays to that end.
    void joinedVbrWithoutHeader() {
        const QString piece = encode("piece.mp3", 10.0, {"-V", "4", "-t"});
        QVERIFY(!piece.isEmpty());
        const qint64 pieceFrames = decodedFrames(piece);
        QVERIFY(pieceFrames > 0);
        const QByteArray bytes = readAll(piece);
        QByteArray joined;
        for (int i = 0; i < 60; ++i)
            joined += bytes;
        const QString file = path("joined.mp3");
        QVERIFY(writeAll(file, joined));

        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        QCOMPARE(player.FileName(), file);
        const double truth = 60.0 * pieceFrames / 44100;
        QVERIFY2(std::abs(player.SelectionEnd() - truth) <= kMp3Frame,
                 qPrintable(QStringLiteral("%1 against %2").arg(player.SelectionEnd()).arg(truth)));
        const double end = playsUntil(engine, player, 1.0);
        QVERIFY2(std::abs(end - truth) <= kMp3Frame, qPrintable(QString::number(end)));
        QCOMPARE(player.PlayState(), 0);
    }

    // A 10-second MP3 with LAME's info frame: 10.000 s, not 10 s and the encoder's padding,
    // and exactly that plays.
    void encoderPaddingIsNotCounted() {
        const QString file = encode("tagged.mp3", 10.0, {"-b", "128"});
        QVERIFY(!file.isEmpty());
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        QVERIFY2(std::abs(player.SelectionEnd() - 10.0) <= 1.0 / 44100,
                 qPrintable(QString::number(player.SelectionEnd(), 'f', 6)));
        QCOMPARE(decodedFrames(file), qint64(441000));
        const double end = playsUntil(engine, player, 0.5);
        QVERIFY2(std::abs(end - 10.0) <= 2.0 / kRate, qPrintable(QString::number(end, 'f', 6)));
    }

    // A WMA states more than it plays (10.030 s for 9.985 s of sound): SelectionEnd is what
    // plays, and a pass ends there.
    void wmaReportsWhatPlays() {
        const QString wav = path("for-wma.wav");
        QVERIFY(writeFloatWav(wav, tone(44100, 10.0, 440, 0.5), 44100));
        const QString file = path("ten.wma");
        QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-i", wav, "-c:a", "wmav2", "-b:a",
                               "128k", file}));
        const double truth = static_cast<double>(decodedFrames(file)) / 44100;
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        QVERIFY2(std::abs(player.SelectionEnd() - truth) <= 1.0 / 44100,
                 qPrintable(QStringLiteral("%1 against %2").arg(player.SelectionEnd()).arg(truth)));
        const double end = playsUntil(engine, player, 0.5);
        QVERIFY2(std::abs(end - truth) <= 0.005, qPrintable(QString::number(end)));
    }

    // MP3s cut short, constant and variable bit rate, each with its info frame: they open,
    // state what they hold, and play to that end; a stretch marked within it plays whole.
    void truncatedFilesPlayWhatTheyHold_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("CBR with an Info frame") << QStringList{"-b", "160"};
        QTest::newRow("VBR with a Xing frame") << QStringList{"-V", "2"};
    }
    void truncatedFilesPlayWhatTheyHold() {
        QFETCH(QStringList, args);
        const QString whole = encode(QStringLiteral("whole-%1.mp3").arg(args.join("")), 10.0, args);
        QVERIFY(!whole.isEmpty());
        const QByteArray bytes = readAll(whole);
        const QString cut = path(QStringLiteral("cut-%1.mp3").arg(args.join("")));
        QVERIFY(writeAll(cut, bytes.left(bytes.size() * 6 / 10)));
        const double truth = static_cast<double>(decodedFrames(cut)) / 44100;
        QVERIFY(truth > 4 && truth < 8);

        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(cut);
        QCOMPARE(player.FileName(), cut);
        QVERIFY2(std::abs(player.SelectionEnd() - truth) <= kMp3Frame,
                 qPrintable(QStringLiteral("%1 against %2").arg(player.SelectionEnd()).arg(truth)));
        const double end = playsUntil(engine, player, 0.5);
        QVERIFY2(std::abs(end - truth) <= kMp3Frame, qPrintable(QString::number(end)));

        // One second marked inside what the file holds sounds for that second.
        player.setSelectionStart(truth - 2.0);
        player.setSelectionEnd(truth - 1.0);
        player.setCurrentPosition(truth - 2.0);
        player.Play();
        const Frames out = render(engine, 2 * kRate);
        QVERIFY(std::abs(soundingFrames(out) - kRate) <= 1);
        QCOMPARE(player.PlayState(), 0);
    }

    // Files of zeros named .mp3, one of them far larger than the memory it may take: refused,
    // and the player stays empty (a read through them would outlast the test).
    void zerosNamedMp3AreRefused() {
        const QString small = path("zeros.mp3");
        QVERIFY(writeAll(small, QByteArray(3 << 20, '\0')));
        const QString huge = path("huge.mp3");
        {
            QFile f(huge);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qint64(10) << 30)); // sparse: costs no disk
        }
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        for (const QString& file : {small, huge}) {
            player.setFileName(file);
            QVERIFY(player.FileName().isEmpty());
            QCOMPARE(player.PlayState(), 6);
        }
        // An MP3 behind a large ID3 tag is still found.
        const QString tone = encode("short.mp3", 1.0, {"-b", "128"});
        QByteArray tagged("ID3\x04\x00\x00", 6);
        const int tagSize = 600000;
        tagged += char((tagSize >> 21) & 0x7F);
        tagged += char((tagSize >> 14) & 0x7F);
        tagged += char((tagSize >> 7) & 0x7F);
        tagged += char(tagSize & 0x7F);
        tagged += QByteArray(tagSize, '\0');
        tagged += readAll(tone);
        const QString behindTag = path("tagged-big.mp3");
        QVERIFY(writeAll(behindTag, tagged));
        player.setFileName(behindTag);
        QCOMPARE(player.FileName(), behindTag);
        QVERIFY(std::abs(player.SelectionEnd() - 1.0) <= 1.0 / 44100);
        // MPEG audio of another layer named .mp3 is left to the decoder, and plays.
        const QString mp2 = path("layer2.mp2");
        QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                               "sine=f=440:d=3:r=44100", "-c:a", "mp2", "-b:a", "192k", mp2}));
        const QString named = path("layer2.mp3");
        QVERIFY(QFile::copy(mp2, named));
        player.setFileName(named);
        QCOMPARE(player.FileName(), named);
        QVERIFY(std::abs(player.SelectionEnd() - 3.0) < 0.05);
    }
};

QTEST_MAIN(TestMediaLength)
#include "test_media_length.moc"
