// The media player control on an offline engine: the samples it renders, its states and
// events, its handling of damaged files, one run through SDL's dummy driver, and a video.

#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"
#include "../support/WavHeader.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cmath>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

using sorvane::AudioEngine;
using sorvane::MediaPlayer;

namespace {

constexpr int kRate = 48000;
constexpr int kRamp = kRate / 200;     // a start or stop fades over 5 ms
constexpr int kGainRamp = kRate / 100; // a Volume or Mute change over 10 ms

AudioEngine::Options offline() {
    AudioEngine::Options o;
    o.output = AudioEngine::Output::Offline;
    o.sampleRate = kRate;
    return o;
}

// Interleaved 16-bit samples.
struct Pcm {
    int rate = kRate;
    int channels = 2;
    std::vector<std::int16_t> samples;
    int frames() const { return static_cast<int>(samples.size()) / channels; }
    float at(int frame, int channel) const {
        return samples[static_cast<std::size_t>(frame) * channels + channel] / 32768.0f;
    }
};

Pcm sine(int rate, int channels, double seconds, double hz, double amplitude) {
    Pcm p;
    p.rate = rate;
    p.channels = channels;
    const int n = static_cast<int>(std::lround(seconds * rate));
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c)
            p.samples.push_back(static_cast<std::int16_t>(
                std::lround(amplitude * 32767 * std::sin(2 * M_PI * hz * i / rate + c))));
    return p;
}

// A signal that differs at every frame and between the channels, so that a repeated or
// dropped frame shows.
Pcm noise(int rate, double seconds) {
    Pcm p;
    p.rate = rate;
    std::uint32_t x = 12345;
    const int n = static_cast<int>(std::lround(seconds * rate));
    for (int i = 0; i < 2 * n; ++i) {
        x = x * 1664525u + 1013904223u;
        p.samples.push_back(static_cast<std::int16_t>(static_cast<int>(x >> 16) - 32768) / 2);
    }
    return p;
}

Pcm constant(double seconds, std::int16_t value) {
    Pcm p;
    p.samples.assign(static_cast<std::size_t>(2 * std::lround(seconds * kRate)), value);
    return p;
}

void writeWav(const QString& path, const Pcm& p) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    const std::uint32_t bytes = static_cast<std::uint32_t>(p.samples.size() * 2);
    f.write(sorvane::testing::WavHeader(sorvane::testing::kWavPcm, p.channels, p.rate, 16, bytes));
    f.write(reinterpret_cast<const char*>(p.samples.data()), bytes);
}

bool run(const QString& program, const QStringList& args) {
    QProcess proc;
    proc.start(program, args);
    return proc.waitForFinished(60000) && proc.exitStatus() == QProcess::NormalExit &&
           proc.exitCode() == 0;
}

std::vector<float> render(AudioEngine& engine, int frames) {
    std::vector<float> out(static_cast<std::size_t>(frames) * 2);
    for (int done = 0; done < frames; done += engine.periodFrames()) {
        const int n = std::min(engine.periodFrames(), frames - done);
        engine.renderOffline(out.data() + 2 * done, n);
    }
    return out;
}

double rms(const std::vector<float>& s, int from, int to) {
    double sum = 0;
    for (int i = 2 * from; i < 2 * to; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / (2.0 * (to - from)));
}

// Upward zero crossings of the left channel per second, over [from, to).
double frequency(const std::vector<float>& s, int from, int to) {
    int first = -1, last = -1, count = 0;
    for (int i = from + 1; i < to; ++i)
        if (s[2 * (i - 1)] < 0 && s[2 * i] >= 0) {
            if (first < 0) first = i;
            last = i;
            ++count;
        }
    return count < 2 ? 0 : (count - 1) * double(kRate) / (last - first);
}

// Frames up to the last non-silent one.
int soundingFrames(const std::vector<float>& s) {
    for (int i = static_cast<int>(s.size()) / 2 - 1; i >= 0; --i)
        if (s[2 * i] != 0.0f || s[2 * i + 1] != 0.0f) return i + 1;
    return 0;
}

} // namespace

class TestMediaPlayer : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString wav(const QString& name, const Pcm& p) {
        const QString f = path(name);
        writeWav(f, p);
        return f;
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // States and events from an empty player through a load, playing and the end of the
    // last pass, with the sample-exact sound of a file at the output rate.
    void statesEventsAndExactPlayback() {
        const Pcm src = noise(kRate, 0.5);
        const QString file = wav("states.wav", src);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        QCOMPARE(player.PlayState(), 6);
        QCOMPARE(player.FileName(), QString());
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);

        player.setFileName(file);
        QCOMPARE(player.FileName(), file);
        QCOMPARE(player.PlayState(), 0);
        QCOMPARE(player.SelectionStart(), 0.0);
        QCOMPARE(player.SelectionEnd(), 0.5);
        QCOMPARE(player.CurrentPosition(), 0.0);
        QCOMPARE(player.PlayCount(), 1);
        player.Play();
        QCOMPARE(player.PlayState(), 2);

        const auto out = render(engine, src.frames() + 2000);
        // Past the start's fade-in, the file's samples unchanged; during it, never louder.
        for (int i = 0; i < src.frames(); ++i) {
            if (i < kRamp) {
                QVERIFY(std::abs(out[2 * i]) <= std::abs(src.at(i, 0)));
                continue;
            }
            QCOMPARE(out[2 * i], src.at(i, 0));
            QCOMPARE(out[2 * i + 1], src.at(i, 1));
        }
        QCOMPARE(soundingFrames(out), src.frames());
        QCOMPARE(player.PlayState(), 0);
        QCOMPARE(player.CurrentPosition(), 0.5); // stands at the end of what it played
        QCOMPARE(spy.size(), 3);
        QCOMPARE(spy.at(0).at(0).toInt(), 0);
        QCOMPARE(spy.at(1).at(0).toInt(), 2);
        QCOMPARE(spy.at(2).at(0).toInt(), 0);

        // Play again after the end starts from the beginning; emptying closes the player.
        player.Play();
        const auto again = render(engine, kRamp + 100);
        QCOMPARE(again[2 * (kRamp + 50)], src.at(kRamp + 50, 0));
        player.setFileName(QString());
        QCOMPARE(player.PlayState(), 6);
        QCOMPARE(player.FileName(), QString());
        QCOMPARE(spy.last().at(0).toInt(), 6);
        QVERIFY(soundingFrames(render(engine, 1000)) <= kRamp); // only the fade-out
    }

    // A sine keeps its frequency and length at rate 1, doubles one and halves the other at
    // rate 2, and a file at another sample rate plays at its own speed.
    void rateChangesSpeedAndPitch_data() {
        QTest::addColumn<int>("fileRate");
        QTest::addColumn<double>("rate");
        QTest::newRow("48k at 1") << 48000 << 1.0;
        QTest::newRow("48k at 2") << 48000 << 2.0;
        QTest::newRow("44.1k at 1") << 44100 << 1.0;
        QTest::newRow("44.1k at 2") << 44100 << 2.0;
        QTest::newRow("22.05k at 0.5") << 22050 << 0.5;
    }
    void rateChangesSpeedAndPitch() {
        QFETCH(int, fileRate);
        QFETCH(double, rate);
        const QString file =
            wav(QStringLiteral("sine%1.wav").arg(fileRate), sine(fileRate, 1, 1.0, 500, 0.5));
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        QCOMPARE(player.SelectionEnd(), 1.0);
        player.setRate(rate);
        QCOMPARE(player.Rate(), rate);
        player.Play();
        const auto out = render(engine, static_cast<int>(kRate / rate) + 4000);
        const int expected = static_cast<int>(kRate / rate);
        QVERIFY2(std::abs(soundingFrames(out) - expected) <= 16,
                 qPrintable(QStringLiteral("%1 frames").arg(soundingFrames(out))));
        const double hz = frequency(out, 1000, expected - 1000);
        QVERIFY2(std::abs(hz - 500 * rate) < 500 * rate * 0.002, qPrintable(QString::number(hz)));
        QCOMPARE(player.PlayState(), 0);
    }

    // Out-of-range rates: clamped to 0.25..2, refused when not a positive number; a rate
    // change while playing speeds the sound up without a gap.
    void rateLimitsAndSmoothChange() {
        const QString file = wav("rate.wav", sine(kRate, 2, 2.0, 300, 0.5));
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        player.setRate(5);
        QCOMPARE(player.Rate(), 2.0);
        player.setRate(0.1);
        QCOMPARE(player.Rate(), 0.25);
        player.setRate(0);
        QCOMPARE(player.Rate(), 0.25);
        player.setRate(std::nan(""));
        QCOMPARE(player.Rate(), 0.25);
        player.setRate(1);
        player.Play();
        auto a = render(engine, 9600);
        player.setRate(1.5);
        auto b = render(engine, 9600);
        QVERIFY(std::abs(frequency(a, 0, 9600) - 300) < 2);
        QVERIFY(std::abs(frequency(b, 2000, 9600) - 450) < 3);
        QVERIFY(rms(b, 0, 9600) > 0.3); // no gap at the change
        QVERIFY(std::abs(player.CurrentPosition() - (0.2 + 0.3)) < 0.01);
    }

    // Three passes of a marked stretch are the stretch three times, frame for frame, for a
    // WAV and for MP3 and WMA whose stretch start is reached by a seek while the reference
    // was decoded straight from the start.
    void loopIsSampleExact_data() {
        QTest::addColumn<QString>("format");
        QTest::newRow("wav") << "wav";
        QTest::newRow("mp3") << "mp3";
        QTest::newRow("wma") << "wma";
    }
    void loopIsSampleExact() {
        QFETCH(QString, format);
        const QString base = wav("loop.wav", sine(kRate, 2, 6.0, 441, 0.6));
        QString file = base;
        if (format == "mp3") {
            file = path("loop.mp3");
            QVERIFY(run("lame", {"--quiet", "-b", "192", base, file}));
        } else if (format == "wma") {
            file = path("loop.wma");
            QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-i", base, "-c:a", "wmav2", "-b:a",
                                   "192k", file}));
        }
        AudioEngine engine(offline());
        const double start = 4.25, end = 4.75;
        const int s = static_cast<int>(start * kRate), e = static_cast<int>(end * kRate);

        MediaPlayer straight(engine);
        straight.setFileName(file);
        QVERIFY(!straight.FileName().isEmpty());
        straight.Play();
        const auto reference = render(engine, e + 10);
        straight.Stop();
        render(engine, 1000);

        MediaPlayer looping(engine);
        looping.setFileName(file);
        looping.setPlayCount(3);
        looping.setSelectionStart(start);
        looping.setSelectionEnd(end);
        looping.setCurrentPosition(start);
        looping.Play();
        const int n = e - s;
        const auto out = render(engine, 3 * n + 3000);
        // Only the first pass fades in: the seams are not touched.
        for (int pass = 0; pass < 3; ++pass)
            for (int i = pass == 0 ? kRamp : 0; i < n; ++i)
                for (int c = 0; c < 2; ++c)
                    if (out[2 * (pass * n + i) + c] != reference[2 * (s + i) + c])
                        QFAIL(qPrintable(
                            QStringLiteral("pass %1 frame %2 differs").arg(pass).arg(i)));
        QCOMPARE(soundingFrames(out), 3 * n);
        QCOMPARE(looping.PlayState(), 0);
    }

    // PlayCount 0 loops until stopped; markers changed while playing take effect at the
    // next pass; Stop returns to the stretch start.
    void endlessLoopAndSelectionChange() {
        const Pcm src = noise(kRate, 1.0);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("endless.wav", src));
        player.setPlayCount(0);
        player.setSelectionStart(0.1);
        player.setSelectionEnd(0.2);
        player.setCurrentPosition(0.1);
        player.Play();
        auto first = render(engine, 2400); // half the first pass
        player.setSelectionEnd(0.15);      // the running pass still ends at 0.2
        auto rest = render(engine, 2400 + 2400 + 2400 + 100);
        for (int i = 0; i < 2400; ++i)
            QCOMPARE(rest[2 * i], src.at(7200 + i, 0));
        for (int i = 0; i < 2400; ++i)
            QCOMPARE(rest[2 * (2400 + i)], src.at(4800 + i, 0));
        for (int i = 0; i < 2400; ++i)
            QCOMPARE(rest[2 * (4800 + i)], src.at(4800 + i, 0));
        QCOMPARE(player.PlayState(), 2);
        QCOMPARE(player.SelectionEnd(), 0.15);
        player.Stop();
        QCOMPARE(player.PlayState(), 0);
        QCOMPARE(player.CurrentPosition(), 0.1);
        render(engine, 1000);
        QCOMPARE(player.CurrentPosition(), 0.1);
    }

    // An end marker at or before the start marker, or past the media, plays to the end.
    void markersOutsideTheMedia() {
        const Pcm src = noise(kRate, 0.4);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("markers.wav", src));
        player.setSelectionStart(0.1);
        player.setSelectionEnd(0);
        player.setCurrentPosition(0.1);
        player.Play();
        auto out = render(engine, 20000);
        QCOMPARE(soundingFrames(out), src.frames() - 4800);
        QCOMPARE(player.PlayState(), 0);
        player.setSelectionEnd(99);
        player.setCurrentPosition(0.3);
        player.Play();
        out = render(engine, 20000);
        QCOMPARE(soundingFrames(out), src.frames() - 14400);
        // A start marker at the very end leaves nothing to play: the player stops at once.
        player.setSelectionStart(0.4);
        player.Play();
        render(engine, 256);
        QCOMPARE(player.PlayState(), 0);
    }

    // Volume -2000 is a gain of 0.1; -4000 and Mute are silence; a change while playing
    // arrives within one period and is ramped.
    void volumeAndMute() {
        const QString file = wav("level.wav", constant(2.0, 16384)); // 0.5
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        player.setVolume(-2000);
        QCOMPARE(player.Volume(), -2000);
        player.Play();
        auto out = render(engine, 4800);
        const double db = 20 * std::log10(rms(out, kRamp, 4800) / 0.5);
        QVERIFY2(std::abs(db + 20) < 0.1, qPrintable(QString::number(db)));

        player.setVolume(0);
        out = render(engine, 1024);
        QVERIFY(out[0] > 0.05f && out[0] < 0.06f); // the ramp starts at once
        QVERIFY(out[2 * (kGainRamp / 2)] > 0.2f);
        QCOMPARE(out[2 * kGainRamp], 0.5f); // and is done in 10 ms
        float biggestStep = 0;
        for (int i = 1; i < 1024; ++i)
            biggestStep = std::max(biggestStep, std::abs(out[2 * i] - out[2 * i - 2]));
        QVERIFY(biggestStep < 0.01f);

        player.setVolume(-4000);
        render(engine, 512);
        out = render(engine, 1024);
        QCOMPARE(rms(out, 0, 1024), 0.0);
        player.setVolume(-6000);
        QCOMPARE(player.Volume(), -6000);
        out = render(engine, 1024);
        QCOMPARE(rms(out, 0, 1024), 0.0);

        player.setVolume(0);
        player.setMute(true);
        QVERIFY(player.Mute());
        out = render(engine, 1024);
        QVERIFY(rms(out, 512, 1024) == 0.0);
        QCOMPARE(player.Volume(), 0);
        player.setMute(false);
        render(engine, 1024);
        out = render(engine, 256);
        QCOMPARE(out[0], 0.5f);
    }

    // A fade in steps of 40 every 11 ms never jumps: each step is spread over the ramp.
    void fadeStepsAreSmooth() {
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("fade.wav", constant(3.0, 16384)));
        player.Play();
        std::vector<float> all;
        for (int v = 0; v >= -2000; v -= 40) {
            player.setVolume(v);
            const auto step = render(engine, kRate * 11 / 1000);
            all.insert(all.end(), step.begin(), step.end());
        }
        float biggestStep = 0;
        for (std::size_t i = 2 * kRamp; i < all.size(); i += 2)
            biggestStep = std::max(biggestStep, std::abs(all[i] - all[i - 2]));
        QVERIFY2(biggestStep < 0.0005f, qPrintable(QString::number(biggestStep)));
        QVERIFY(std::abs(all[all.size() - 2] - 0.05f) < 0.0005f);
    }

    // Pause keeps the position and resumes exactly there; a seek while playing moves the
    // sound at the next period and reads back at once.
    void pauseResumeAndSeek() {
        const Pcm src = noise(kRate, 2.0);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("seek.wav", src));
        player.Play();
        render(engine, 4800);
        player.Pause();
        QCOMPARE(player.PlayState(), 1);
        render(engine, 2000);
        QCOMPARE(player.CurrentPosition(), 0.1);
        render(engine, 2000);
        QCOMPARE(player.CurrentPosition(), 0.1);
        player.Play();
        auto out = render(engine, 512);
        for (int i = kRamp; i < 512; ++i)
            QCOMPARE(out[2 * i], src.at(4800 + i, 0));

        player.setCurrentPosition(1.5);
        QCOMPARE(player.CurrentPosition(), 1.5);
        out = render(engine, 512);
        for (int i = kRamp; i < 512; ++i)
            QCOMPARE(out[2 * i + 1], src.at(72000 + i, 1));
        QVERIFY(std::abs(player.CurrentPosition() - (1.5 + 512.0 / kRate)) < 1e-9);
        player.setCurrentPosition(-3);
        QCOMPARE(player.CurrentPosition(), 0.0);
        player.setCurrentPosition(50);
        QCOMPARE(player.CurrentPosition(), 2.0);
    }

    // The buffering pre-roll: two passes, with a seek to half a second before the end
    // right after Play; the second pass starts at the stretch start and runs on.
    void seekAfterPlayStartsTheCountAfresh() {
        const Pcm src = noise(kRate, 1.0);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("buffer.wav", src));
        player.setMute(true);
        player.setPlayCount(2);
        player.Play();
        player.setCurrentPosition(player.SelectionEnd() - 0.5);
        player.setMute(false);
        const auto out = render(engine, 24000 + 4800);
        for (int i = kGainRamp; i < 24000; i += 7)
            QCOMPARE(out[2 * i], src.at(24000 + i, 0));
        for (int i = 0; i < 4800; i += 7)
            QCOMPARE(out[2 * (24000 + i)], src.at(i, 0));
        QCOMPARE(player.PlayState(), 2);
        player.Pause();
        player.setCurrentPosition(0);
        render(engine, 512);
        QCOMPARE(player.CurrentPosition(), 0.0);
        QCOMPARE(player.PlayState(), 1);
    }

    // MP3 and WMA decode; a mono file plays on both channels; the length is the media's.
    void compressedFormats() {
        const QString mono = wav("mono.wav", sine(44100, 1, 3.0, 1000, 0.5));
        const QString mp3 = path("mono.mp3");
        QVERIFY(run("lame", {"--quiet", mono, mp3}));
        const QString wma = path("mono.wma");
        QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-i", mono, "-c:a", "wmav2", wma}));
        AudioEngine engine(offline());
        for (const QString& file : {mp3, wma}) {
            MediaPlayer player(engine);
            player.setFileName(file);
            QCOMPARE(player.FileName(), file);
            QVERIFY2(std::abs(player.SelectionEnd() - 3.0) < 0.06,
                     qPrintable(QString::number(player.SelectionEnd())));
            player.setCurrentPosition(1.0);
            player.Play();
            const auto out = render(engine, 9600);
            QVERIFY(rms(out, 0, 9600) > 0.3);
            for (int i = 0; i < 9600; ++i)
                QCOMPARE(out[2 * i], out[2 * i + 1]);
            QVERIFY2(std::abs(frequency(out, kRamp, 9600) - 1000) < 2,
                     qPrintable(QString::number(frequency(out, kRamp, 9600))));
        }
    }

    // A VBR MP3 without its length header, loud first and quiet after: the length guessed
    // from its first bit rate is far too short, yet SelectionEnd reads the whole length and
    // the whole sound plays.
    void variableBitRateWithoutHeader() {
        Pcm p = noise(44100, 1.0);
        const Pcm quiet = sine(44100, 2, 5.0, 300, 0.05);
        p.samples.insert(p.samples.end(), quiet.samples.begin(), quiet.samples.end());
        const QString base = wav("vbr.wav", p);
        const QString mp3 = path("vbr.mp3");
        QVERIFY(run("lame", {"--quiet", "-V", "0", "-t", base, mp3}));
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(mp3);
        QCOMPARE(player.FileName(), mp3);
        QVERIFY2(std::abs(player.SelectionEnd() - 6.0) < 0.06,
                 qPrintable(QString::number(player.SelectionEnd())));
        player.setCurrentPosition(5.0);
        player.Play();
        const auto out = render(engine, kRate * 3 / 2);
        // One second, with the encoder's delay and padding that no header takes off here.
        QVERIFY2(soundingFrames(out) >= kRate && soundingFrames(out) < kRate * 105 / 100,
                 qPrintable(QString::number(soundingFrames(out))));
        QVERIFY(rms(out, 0, kRate * 9 / 10) > 0.02);
        QCOMPARE(player.PlayState(), 0);
    }

    // Damaged and foreign files leave the player empty and closed, and never hang it.
    void unplayableFilesLeaveThePlayerEmpty() {
        const QString base = wav("long.wav", sine(44100, 2, 8.0, 440, 0.5));
        const QString mp3 = path("long.mp3");
        QVERIFY(run("lame", {"--quiet", base, mp3}));
        QFile full(mp3);
        QVERIFY(full.open(QIODevice::ReadOnly));
        const QByteArray bytes = full.readAll();
        auto write = [&](const QString& name, const QByteArray& data) {
            QFile f(path(name));
            f.open(QIODevice::WriteOnly);
            f.write(data);
            return path(name);
        };
        QFile wavFile(base);
        QVERIFY(wavFile.open(QIODevice::ReadOnly));
        const QByteArray wavBytes = wavFile.readAll();
        const QStringList bad = {
            write("stub.mp3", bytes.left(300)),
            write("text.wav", "This is a text file and no sound at all.\n"),
            write("empty.wav", QByteArray()),
            write("garbage.mp3", QByteArray(20000, '\x5a')),
            path("missing.wav"),
        };
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        for (const QString& file : bad) {
            player.setFileName(base);
            QCOMPARE(player.PlayState(), 0);
            QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
            player.setFileName(file);
            QVERIFY2(player.FileName().isEmpty(), qPrintable(file));
            QCOMPARE(player.PlayState(), 6);
            QCOMPARE(spy.size(), 1);
            player.Play(); // nothing to play: nothing happens
            QCOMPARE(player.PlayState(), 6);
            QCOMPARE(soundingFrames(render(engine, 2048)) < 200, true);
        }
        player.setFileName(mp3); // the whole file is fine
        QCOMPARE(player.FileName(), mp3);
        // An MP3 cut in half plays the half it holds, and says so.
        const QString half = write("half.mp3", bytes.left(bytes.size() / 2));
        player.setFileName(half);
        QCOMPARE(player.FileName(), half);
        QVERIFY2(std::abs(player.SelectionEnd() - 4.0) < 0.1,
                 qPrintable(QString::number(player.SelectionEnd())));
        // A WAV cut short states no length beyond its data: it plays what it holds.
        const QString cut = write("cut.wav", wavBytes.left(wavBytes.size() / 3));
        player.setFileName(cut);
        QCOMPARE(player.FileName(), cut);
        QVERIFY(std::abs(player.SelectionEnd() - (wavBytes.size() / 3 - 44) / 4 / 44100.0) < 0.001);
    }

    // Through SDL's dummy driver in real time: the position advances and the player stops by
    // itself; the event arrives on the GUI thread.
    void realTimeThroughTheDummyDriver() {
        qputenv("SDL_AUDIODRIVER", "dummy");
        AudioEngine engine;
        QCOMPARE(engine.outputName(), QStringLiteral("dummy"));
        MediaPlayer player(engine);
        player.setFileName(wav("short.wav", sine(kRate, 2, 0.6, 440, 0.3)));
        QThread* eventThread = nullptr;
        connect(&player, &MediaPlayer::PlayStateChange, this,
                [&](int) { eventThread = QThread::currentThread(); });
        player.Play();
        QTRY_VERIFY_WITH_TIMEOUT(player.CurrentPosition() > 0.1, 3000);
        QCOMPARE(player.PlayState(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(player.PlayState(), 0, 5000);
        QVERIFY(std::abs(player.CurrentPosition() - 0.6) < 1e-9);
        QCOMPARE(eventThread, QThread::currentThread());
    }

    // An MP3 followed by gigabytes of nothing keeps a decoder busy searching for the next
    // frame; letting go of the player breaks that off, so the only decode worker is free
    // again at once for the next sound.
    void lettingGoBreaksOffALongRead() {
        const QString base = wav("lead.wav", sine(44100, 2, 2.0, 440, 0.5));
        const QString mp3 = path("endless.mp3");
        QVERIFY(run("lame", {"--quiet", base, mp3}));
        {
            QFile f(mp3);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.resize(qint64(4) << 30)); // sparse: costs no disk
        }
        const Pcm src = noise(kRate, 0.5);
        const QString next = wav("next.wav", src);
        AudioEngine::Options o = offline();
        o.decodeThreads = 1;
        AudioEngine engine(o);
        auto stuck = std::make_unique<MediaPlayer>(engine);
        stuck->setFileName(mp3);
        QCOMPARE(stuck->FileName(), mp3);
        // Its frames are counted: two seconds, not the length the size suggests.
        QVERIFY2(std::abs(stuck->SelectionEnd() - 2.0) < 0.05,
                 qPrintable(QString::number(stuck->SelectionEnd())));
        stuck->Play(); // its sound plays
        QVERIFY(rms(render(engine, kRate / 2), 0, kRate / 2) > 0.3);
        stuck->Pause();
        stuck->setCurrentPosition(1.9); // near the end: the worker searches on for more
        stuck->Play();
        QTest::qWait(100); // the worker is on it now
        stuck.reset();

        MediaPlayer player(engine);
        player.setFileName(next);
        player.Play();
        const auto out = render(engine, src.frames());
        for (int i = kRamp; i < src.frames(); i += 13)
            QCOMPARE(out[2 * i], src.at(i, 0));
    }

    // Play reaches a sound that has just ended on the audio thread although the GUI thread has
    // not heard of the end yet (it still reads 2); Pause and Play after an end play all the
    // passes again.
    void playRightAfterTheEnd() {
        const Pcm src = noise(kRate, 0.2);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("again.wav", src));
        player.Play();
        // Rendered off the GUI thread: the end is reported but not yet delivered.
        std::vector<float> out(2 * 12000);
        std::thread audio([&] { engine.renderOffline(out.data(), 12000); });
        audio.join();
        QCOMPARE(soundingFrames(out), src.frames());
        QCOMPARE(player.PlayState(), 2);
        player.Play(); // as a cue does on a channel that reads playing
        out = render(engine, 12000);
        QCOMPARE(soundingFrames(out), src.frames());
        QCOMPARE(out[2 * kRamp], src.at(kRamp, 0));
        QCOMPARE(player.PlayState(), 0);

        player.setPlayCount(2);
        player.Play();
        render(engine, 2 * src.frames() + 2000);
        QCOMPARE(player.PlayState(), 0);
        player.Pause();
        QCOMPARE(player.PlayState(), 1);
        player.Play();
        out = render(engine, 2 * src.frames() + 2000);
        QCOMPARE(soundingFrames(out), 2 * src.frames());
        QCOMPARE(player.PlayState(), 0);
    }

    // A player that outlives its engine is left empty and harmless.
    void playerOutlivesTheEngine() {
        auto engine = std::make_unique<AudioEngine>(offline());
        MediaPlayer player(*engine);
        const QString file = wav("orphan.wav", noise(kRate, 0.3));
        player.setFileName(file);
        player.Play();
        render(*engine, 512);
        engine.reset();
        QCOMPARE(player.PlayState(), 6);
        QCOMPARE(player.FileName(), QString());
        player.setFileName(file);
        QCOMPARE(player.FileName(), QString());
        player.Play();
        player.setVolume(-100);
        player.setCurrentPosition(0.1);
        QCOMPARE(player.CurrentPosition(), 0.0);
        QCOMPARE(player.PlayState(), 6);
    }

    // Players made, loaded, played, reloaded and destroyed as fast as the GUI thread goes
    // while the audio thread mixes them: nothing crashes, and the engine still plays after.
    void playersComeAndGoWhilePlaying() {
        qputenv("SDL_AUDIODRIVER", "dummy");
        const QString longWav = wav("churn-long.wav", noise(44100, 12.0));
        const QString shortWav = wav("churn-short.wav", sine(kRate, 1, 0.3, 440, 0.5));
        const QString mp3 = path("churn.mp3");
        QVERIFY(run("lame", {"--quiet", "-b", "128", longWav, mp3}));
        const QString text = path("churn-text.wav");
        {
            QFile f(text);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a sound\n");
        }
        const QStringList files = {longWav, mp3, shortWav, text, QString(), mp3};
        {
            AudioEngine engine;
            QCOMPARE(engine.outputName(), QStringLiteral("dummy"));
            // Destroyed while playing, while seeking, and right after a load whose decoding
            // has only begun.
            for (int round = 0; round < 60; ++round) {
                auto p = std::make_unique<MediaPlayer>(engine);
                p->setFileName(files[round % files.size()]);
                p->setRate(round % 4 == 0 ? 1.0 : 0.5 + 0.25 * (round % 7));
                p->setPlayCount(round % 3);
                p->Play();
                if (round % 2) p->setCurrentPosition(round * 0.17);
                if (round % 5 == 0) QTest::qWait(3);
                if (round % 3 == 0) p->Pause();
            }
            // One player reloaded again and again while it plays.
            MediaPlayer player(engine);
            for (int round = 0; round < 120; ++round) {
                const QString file = files[round % files.size()];
                player.setFileName(file);
                QCOMPARE(player.FileName(), file == text ? QString() : file);
                player.Play();
                player.setCurrentPosition(0.25 * (round % 9));
                if (round % 10 == 0) QCoreApplication::processEvents();
            }
            // The engine still plays a sound to its end.
            player.setFileName(shortWav);
            player.setPlayCount(1);
            player.setRate(1.0);
            player.Play();
            QTRY_VERIFY_WITH_TIMEOUT(player.CurrentPosition() > 0.05, 3000);
            QTRY_COMPARE_WITH_TIMEOUT(player.PlayState(), 0, 5000);
        }
        // Players destroyed just before their engine, while sound is being decoded for them.
        for (int round = 0; round < 5; ++round) {
            AudioEngine engine;
            MediaPlayer a(engine);
            MediaPlayer b(engine);
            a.setFileName(mp3);
            b.setFileName(longWav);
            a.setCurrentPosition(8.0);
            a.Play();
            b.Play();
        }
    }

    // A video without sound: its pictures follow the position at the set rate, and the
    // player ends like a sound does.
    void videoFollowsThePosition() {
        // 1.5 s at 10 frames/s: red, then green, then blue, half a second each.
        const QString file = path("colours.avi");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
                     {"-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s",
                      "64x48", "-r", "10", "-i", "-", "-c:v", "mjpeg", "-q:v", "2", file});
        QVERIFY(ffmpeg.waitForStarted());
        for (int f = 0; f < 15; ++f) {
            QByteArray frame(64 * 48 * 3, '\0');
            for (int i = 0; i < 64 * 48; ++i)
                frame[3 * i + f / 5] = char(230);
            ffmpeg.write(frame);
        }
        ffmpeg.closeWriteChannel();
        QVERIFY(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0);

        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.resize(160, 120);
        player.show();
        player.setFileName(file);
        QCOMPARE(player.FileName(), file);
        QVERIFY(std::abs(player.SelectionEnd() - 1.5) < 0.01);
        auto centre = [&] { return player.grab().toImage().pixelColor(80, 60); };
        QTRY_VERIFY(centre().red() > 180 && centre().green() < 60); // the first picture

        player.setRate(2.0);
        player.Play();
        render(engine, kRate * 4 / 10); // 0.8 s of the video
        QVERIFY(std::abs(player.CurrentPosition() - 0.8) < 0.01);
        QTRY_VERIFY(centre().green() > 180 && centre().red() < 60);
        render(engine, kRate * 2 / 10); // 1.2 s
        QTRY_VERIFY(centre().blue() > 180 && centre().green() < 60);
        QCOMPARE(player.PlayState(), 2);
        render(engine, kRate * 2 / 10);
        QCOMPARE(player.PlayState(), 0);
        // Back to the start: the first picture again.
        player.setCurrentPosition(0.1);
        render(engine, 256);
        QTRY_VERIFY(centre().red() > 180 && centre().green() < 60);
    }

    // A far jump in a video with one key frame: the pictures catch up with the position
    // although every frame up to the target has to be decoded first.
    void videoCatchesUpAfterAFarJump() {
        const QString file = path("far.avi");
        QVERIFY(run("ffmpeg", {"-loglevel",
                               "error",
                               "-y",
                               "-f",
                               "lavfi",
                               "-i",
                               "color=c=0xE00000:s=320x240:r=25:d=4",
                               "-f",
                               "lavfi",
                               "-i",
                               "color=c=0x00E000:s=320x240:r=25:d=4",
                               "-filter_complex",
                               "[0:v][1:v]concat=n=2:v=1[v]",
                               "-map",
                               "[v]",
                               "-c:v",
                               "mpeg4",
                               "-g",
                               "400",
                               "-q:v",
                               "3",
                               file}));
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.resize(160, 120);
        player.show();
        player.setFileName(file);
        QVERIFY(std::abs(player.SelectionEnd() - 8.0) < 0.05);
        auto centre = [&] { return player.grab().toImage().pixelColor(80, 60); };
        QTRY_VERIFY(centre().red() > 180);
        player.setCurrentPosition(7.5);
        player.Play();
        render(engine, 256);
        QTRY_VERIFY_WITH_TIMEOUT(centre().green() > 180 && centre().red() < 60, 5000);
    }
};

QTEST_MAIN(TestMediaPlayer)
#include "test_mediaplayer.moc"
