// Every file's true length as it plays, and files that are no sound at all refused.

#include "EngineFixture.h"

#include <QSignalSpy>
#include <QtEndian>

using namespace fixture;

constexpr double kMp3Frame = 1152.0 / 44100; // one MP3 frame of a 44.1 kHz file

class TestMediaLength : public EngineTest {
    Q_OBJECT

    // A 44.1 kHz tone of louder and softer seconds, as a WAV or encoded by lame with `args`.
    QString encode(const QString& name, double seconds, const QStringList& args) {
        Frames f = tone(44100, seconds, 440, 0.5);
        for (std::size_t i = 0; i < f.size(); ++i)
            f[i] *= 0.2f + 0.8f * float((i / 88200) % 2);
        const QString source = wav(name + ".wav", f, 44100);
        if (!args.isEmpty()) run("lame", QStringList{"--quiet"} << args << source << path(name));
        return args.isEmpty() ? source : path(name);
    }
    // Sample frames that ffmpeg decodes from `file`.
    qint64 decodedFrames(const QString& file) {
        const QString pcm = file + ".pcm";
        run("ffmpeg", {"-loglevel", "error", "-y", "-i", file, "-f", "s16le", "-ac", "1", pcm});
        return QFileInfo(pcm).size() / 2;
    }

    // A PNG of noise, some 4 MB: costly to read and decode.
    QString noisePicture() {
        const QString file = path("noise.png");
        if (!QFileInfo::exists(file))
            run("ffmpeg",
                {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                 "nullsrc=s=1700x1700,geq=r=random(1)*255:g=random(2)*255:b=random(3)*255",
                 "-frames:v", "1", file});
        return file;
    }
    static qint64 bytesRead() {
        QFile io(QStringLiteral("/proc/self/io"));
        if (!io.open(QIODevice::ReadOnly)) return -1;
        const QByteArray text = io.readAll();
        const qsizetype at = text.indexOf("rchar: ") + 7; // bytes read from files so far
        return text.mid(at, text.indexOf('\n', at) - at).toLongLong();
    }

private slots:
    // The length stated is what plays, to its end; a second marked within sounds for a second.
    void lengthIsWhatPlays_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("within");
        QTest::newRow("joinedVbrWithoutHeader") << "joined" << kMp3Frame;
        QTest::newRow("encoderPaddingIsNotCounted") << "tagged" << 2.0 / kRate;
        QTest::newRow("wmaReportsWhatPlays") << "wma" << 0.005; // states 10.030 s, plays 9.985
        QTest::newRow("cut CBR with an Info frame") << "-b 160" << kMp3Frame;
        QTest::newRow("cut VBR with a Xing frame") << "-V 2" << kMp3Frame;
        QTest::newRow("cut WAV") << "" << 2.0 / kRate;
        QTest::newRow("MP3 behind a large ID3 tag") << "id3" << 2.0 / kRate;
        QTest::newRow("MPEG layer 2 named .mp3") << "mp2" << 0.05;
        QTest::newRow("MP3 named .wav") << "named" << kMp3Frame;
        QTest::newRow("WAV of 8-bit samples") << "pcm_u8" << 2.0 / kRate;
        QTest::newRow("WAV of 24-bit samples") << "pcm_s24le" << 2.0 / kRate;
        QTest::newRow("WAV of float samples") << "pcm_f32le" << 2.0 / kRate;
        QTest::newRow("WAV of A-law samples") << "pcm_alaw" << 2.0 / kRate;
        QTest::newRow("mono WAV") << "mono" << 2.0 / kRate;
        QTest::newRow("WAV written as a stream") << "streamed" << 2.0 / kRate;
        QTest::newRow("WAV with a chunk after its samples") << "trailing" << 2.0 / kRate;
        QTest::newRow("WAV cut inside a sample") << "cut-odd" << 2.0 / kRate;
    }
    void lengthIsWhatPlays() {
        QFETCH(QString, kind);
        QFETCH(double, within);
        QString file = path(kind + ".mp3");
        const auto whole = [&] { return readAll(encode("whole-" + kind, 4.0, {})); };
        qint64 frames = 0;
        if (kind == "joined") { // sixty VBR pieces without a header: 10 minutes
            const QString piece = encode("piece.mp3", 10.0, {"-V", "4", "-t"});
            frames = 60 * decodedFrames(piece);
            file = writeAll(file, readAll(piece).repeated(60));
        } else if (kind == "tagged") {
            file = encode("tagged.mp3", 10.0, {"-b", "128"});
            QCOMPARE(decodedFrames(file), qint64(441000));
        } else if (kind == "wma") {
            file = path("ten.wma");
            QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-i", encode("wma", 10.0, {}),
                                   "-c:a", "wmav2", "-b:a", "128k", file}));
        } else if (kind == "id3") { // a tag of 600000 bytes first
            const QByteArray tag = QByteArray("ID3\x04\x00\x00\x00\x24\x4f\x40", 10);
            const QByteArray mp3 = readAll(encode("short.mp3", 3.0, {"-b", "128"}));
            file = writeAll(file, tag + QByteArray(600000, '\0') + mp3);
        } else if (kind == "named") {
            file = writeAll(path("named.wav"), readAll(encode("named.mp3", 4.0, {"-b", "128"})));
        } else if (kind.startsWith("pcm") || kind == "mono") {
            file = path(kind + ".wav");
            QVERIFY(run("ffmpeg",
                        {"-loglevel", "error", "-y", "-i", encode(kind + "-source", 4.0, {}),
                         kind == "mono" ? "-ac" : "-c:a", kind == "mono" ? "1" : kind, file}));
        } else if (kind == "streamed") { // the sizes of the RIFF and data chunks left open
            QByteArray bytes = whole();
            const qsizetype data = bytes.indexOf("data");
            QVERIFY(data > 0);
            bytes.replace(4, 4, QByteArray(4, '\xff'));
            bytes.replace(data + 4, 4, QByteArray(4, '\xff'));
            file = writeAll(path("streamed.wav"), bytes);
        } else if (kind == "trailing") { // 600 bytes of a chunk no player knows, after the data
            QByteArray bytes = whole() + "junk" + QByteArray("\x50\x02\x00\x00", 4);
            bytes += QByteArray(592, '\x7f');
            qToLittleEndian(static_cast<quint32>(bytes.size() - 8), bytes.data() + 4);
            file = writeAll(path("trailing.wav"), bytes);
        } else if (kind == "cut-odd") { // ends in the middle of a sample
            const QByteArray bytes = whole();
            file = writeAll(path("cut-odd.wav"), bytes.left(bytes.size() * 6 / 10 / 4 * 4 + 3));
        } else if (kind == "mp2") {
            QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                   "sine=f=440:d=3:r=44100", "-c:a", "mp2", "-f", "mp2", file}));
        } else { // cut short
            file = path(QString("cut%1.%2").arg(kind, kind.isEmpty() ? "wav" : "mp3").remove(' '));
            const QStringList args = kind.split(' ', Qt::SkipEmptyParts);
            const QByteArray bytes =
                readAll(encode("whole-" + QFileInfo(file).fileName(), 10, args));
            file = writeAll(file, bytes.left(bytes.size() * 6 / 10));
        }
        frames = frames ? frames : decodedFrames(file);
        QVERIFY(!file.isEmpty() && frames > 2 * 44100);
        const double truth = static_cast<double>(frames) / 44100;
        Rig rig(file);
        QVERIFY2(std::abs(rig.player.SelectionEnd() - truth) <= std::max(within, 1.0 / 44100),
                 qPrintable(QString("%1 against %2").arg(rig.player.SelectionEnd()).arg(truth)));
        rig.player.setCurrentPosition(truth - 0.5);
        rig.player.Play();
        const double end = truth - 0.5 + soundingFrames(rig.render(kRate * 3 / 2)) / 48000.0;
        QVERIFY2(std::abs(end - truth) <= within, qPrintable(QString::number(end, 'f', 6)));
        QCOMPARE(rig.player.PlayState(), 0);
        playStretch(rig.player, truth - 2.0, truth - 1.0);
        QVERIFY(std::abs(soundingFrames(rig.render(2 * kRate)) - kRate) <= 1);
        QCOMPARE(rig.player.PlayState(), 0);
    }

    // A player remembers the MP3s it measured; one replaced under its name is measured
    // again, even at the same size and time of change.
    void aReplacedMp3IsMeasuredAgain() {
        Rig rig;
        const QString file = path("replaced.mp3");
        const QByteArray ten = readAll(encode("ten.mp3", 10.0, {"-b", "128"}));
        const QDateTime changed = QDateTime::currentDateTime().addSecs(-60);
        // Overwrites the file in place, keeping its time of change.
        const auto rewrite = [&](const QByteArray& bytes) {
            QFile f(file);
            return f.open(QIODevice::ReadWrite) && f.write(bytes) == bytes.size() &&
                   f.setFileTime(changed, QFileDevice::FileModificationTime);
        };
        QVERIFY(rewrite(ten));
        for (int load = 0; load < 2; ++load) {
            rig.player.setFileName(file);
            QVERIFY(std::abs(rig.player.SelectionEnd() - 10.0) <= kMp3Frame);
        }
        // The last 4 s of frames blanked: the same size, time and file.
        const qsizetype kept = ten.size() * 6 / 10;
        QVERIFY(rewrite(ten.left(kept) + QByteArray(ten.size() - kept, '\0')));
        rig.player.setFileName(file);
        QVERIFY2(std::abs(rig.player.SelectionEnd() - 6.0) <= 0.1,
                 qPrintable(QString::number(rig.player.SelectionEnd())));
        // And another file of another length under the name.
        QVERIFY(!writeAll(file, readAll(encode("three.mp3", 3.0, {"-b", "128"}))).isEmpty());
        rig.player.setFileName(file);
        QVERIFY(std::abs(rig.player.SelectionEnd() - 3.0) <= 0.1);
    }

    // A sound file's picture (cover art) is never shown: an MP3's is not even read at the load,
    // another's is not decoded, and the sound plays as it does without it.
    void picturesInSoundFilesAreLeftAlone_data() {
        QTest::addColumn<QString>("ext");
        for (const char* ext : {"mp3", "m4a", "flac"})
            QTest::newRow(ext) << ext;
    }
    void picturesInSoundFilesAreLeftAlone() {
        QFETCH(QString, ext);
        const QString bare = path("bare." + ext), covered = path("covered." + ext);
        QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                               "sine=f=440:d=3:r=44100", bare}));
        QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-i", bare, "-i", noisePicture(), "-map",
                               "0", "-map", "1", "-c", "copy", "-id3v2_version", "3",
                               "-disposition:v", "attached_pic", covered}));
        const qint64 picture = QFileInfo(covered).size() - QFileInfo(bare).size();
        QVERIFY(picture > 3000000);
        Rig plain(bare), rig;
        const qint64 before = bytesRead();
        rig.player.setFileName(covered);
        const qint64 read = bytesRead() - before;
        QCOMPARE(rig.player.FileName(), covered);
        QCOMPARE(rig.player.SelectionEnd(), plain.player.SelectionEnd());
        if (ext == "mp3") QVERIFY2(read < picture / 4, qPrintable(QString::number(read)));
        plain.player.Play();
        rig.player.Play();
        const Frames expected = plain.render(2 * kRate);
        QCOMPARE(firstDifference(rig.render(2 * kRate), 0, expected, 0, 2 * kRate), -1);
        QVERIFY(soundingFrames(expected) == 2 * kRate);
    }

    // No sound (10 GB of zeros among them): refused with one event, Play then doing nothing.
    void refusedFilesLeaveThePlayerEmpty_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray mp3 = readAll(encode("stub-source.mp3", 1.0, {"-b", "128"}));
        QTest::newRow("MP3 stub") << "stub.mp3" << mp3.left(300);
        QTest::newRow("text") << "text.wav" << QByteArray("This is no sound at all.\n");
        QTest::newRow("empty") << "empty.wav" << QByteArray();
        QTest::newRow("garbage") << "garbage.mp3" << QByteArray(20000, '\x5a');
        QTest::newRow("missing") << "" << QByteArray();
        QTest::newRow("3 MB of zeros") << "zeros.mp3" << QByteArray(3 << 20, '\0');
        QTest::newRow("10 GB of zeros") << "huge.mp3" << QByteArray();
        QTest::newRow("a picture") << "picture.mp3" << readAll(noisePicture());
    }
    void refusedFilesLeaveThePlayerEmpty() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const QString file = name.isEmpty() ? path("missing.wav") : writeAll(path(name), bytes);
        QVERIFY(!file.isEmpty());
        if (name == "huge.mp3") QVERIFY(QFile::resize(file, qint64(10) << 30)); // costs no disk
        Rig rig(encode("good", 1.0, {}));
        rig.player.Play();
        rig.render(4096);
        QSignalSpy spy(&rig.player, &MediaPlayer::PlayStateChange);
        rig.player.setFileName(file);
        QVERIFY(rig.player.FileName().isEmpty());
        QCOMPARE(rig.player.PlayState(), 6);
        QCOMPARE(spy.size(), 1);
        rig.player.Play();
        QCOMPARE(rig.player.PlayState(), 6);
        QVERIFY(soundingFrames(rig.render(2048)) <= kRamp); // only the old sound's fade
    }
};

QTEST_MAIN(TestMediaLength)
#include "test_media_length.moc"
