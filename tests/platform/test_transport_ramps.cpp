// No click from the transport or the gain: every start, resume, stop, pause, seek, load and
// unload fades, Volume and Mute glide, and what the file itself holds is left alone where
// nothing moves (loop seams, a start in the file's own silence).

#include "EngineFixture.h"
#include "platform/engine/MediaPlayer.h"

#include <QTemporaryDir>
#include <QTest>

using namespace fixture;
using sorvane::AudioEngine;
using sorvane::MediaPlayer;

namespace {
constexpr double kLoud = 0.9;
constexpr double kHz = 1000;
// A frame of a 1 kHz tone at its crest: a quarter period in.
constexpr double kCrest = 0.25 / kHz;
// The loudest frame of the left channel in [from, from + frames).
float peak(const Frames& f, int from, int frames) {
    float most = 0;
    for (int i = from; i < from + frames; ++i)
        most = std::max(most, std::abs(f[2 * i]));
    return most;
}
// The tone's own largest move from one frame to the next.
const float kOwnStep = static_cast<float>(kLoud * 2 * M_PI * kHz / kRate);
} // namespace

class TestTransportRamps : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString loud_;
    QString other_;

    // Renders `before` frames, runs `change`, renders `after` frames, all in one buffer.
    template <typename Change>
    Frames around(AudioEngine& engine, int before, Change change, int after) {
        Frames all = render(engine, before);
        change();
        const Frames rest = render(engine, after);
        all.insert(all.end(), rest.begin(), rest.end());
        return all;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        loud_ = dir_.filePath("loud.wav");
        QVERIFY(writeFloatWav(loud_, tone(kRate, 3.0, kHz, kLoud), kRate));
        other_ = dir_.filePath("other.wav");
        QVERIFY(writeFloatWav(other_, tone(44100, 3.0, 700, kLoud, 1.0), 44100));
    }

    // Play at a crest and resume at a crest: the sound rises from silence no faster than
    // the tone itself moves, and stands at full level after 5 ms.
    void playAndResumeAtACrest() {
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(loud_);
        player.setCurrentPosition(0.1 + kCrest);
        player.Play();
        Frames out = render(engine, 2048);
        QVERIFY2(std::abs(out[0]) <= kOwnStep, qPrintable(QString::number(out[0])));
        QVERIFY(largestStep(out, 1, 2048) <= kOwnStep * 1.01f);
        QVERIFY(std::abs(out[2 * 2 * kRamp]) > 0.8f); // a crest 10 ms on

        player.Pause();
        render(engine, 1000);
        player.setCurrentPosition(0.5 + kCrest);
        player.Play();
        out = render(engine, 2048);
        QVERIFY2(std::abs(out[0]) <= kOwnStep, qPrintable(QString::number(out[0])));
        QVERIFY(largestStep(out, 1, 2048) <= kOwnStep * 1.01f);
    }

    // Stop, Pause, a seek, a load and emptying, each while playing at full level: from the
    // last frame before to the last of the fade, no step larger than the tone's own; the
    // old sound is heard to the end of its fade and no longer.
    void cuttingOffWhilePlaying_data() {
        QTest::addColumn<QString>("move");
        for (const char* m : {"stop", "pause", "seek", "load", "empty", "stop then empty"})
            QTest::newRow(m) << QString::fromLatin1(m);
    }
    void cuttingOffWhilePlaying() {
        QFETCH(QString, move);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(loud_);
        player.Play();
        const Frames out = around(
            engine, 4800 + 12, // mid-slope, where a cut would jump furthest
            [&] {
                if (move == "stop") player.Stop();
                if (move == "pause") player.Pause();
                if (move == "seek") player.setCurrentPosition(1.0 + kCrest);
                if (move == "load") {
                    player.setFileName(other_);
                    player.Play();
                }
                if (move == "empty") player.setFileName(QString());
                if (move == "stop then empty") { // the Stop button's sequence
                    player.Stop();
                    player.setFileName(QString());
                }
            },
            4096);
        const float step = largestStep(out, 4800, 4800 + 12 + 4096);
        qInfo("largest step %.3f of the tone's own", step / kOwnStep);
        QVERIFY2(step <= kOwnStep * 1.01f, qPrintable(QString::number(step / kOwnStep)));
        if (move == "seek" || move == "load") {
            QVERIFY(peak(out, 4812 + 2 * kRamp, 100) > 0.8f); // the new sound plays
        } else {
            // The old sound fades out over 5 ms and then is silent.
            QVERIFY(peak(out, 4812, kRamp / 4) > 0.5f);
            for (int i = 4812 + kRamp; i < 4812 + 4096; ++i)
                QCOMPARE(out[2 * i], 0.0f);
        }
    }

    // Loop seams stay as the file has them and a start at the top of a file that begins in
    // silence is the file itself: the fades change nothing there.
    void seamsAndSilentStartsAreUntouched() {
        Frames src = tone(kRate, 0.5, 440, 0.7);
        for (int i = 0; i < 2 * kRamp * 2; ++i)
            src[i] = 0.0f; // 10 ms of silence first
        const QString file = dir_.filePath("silent-start.wav");
        QVERIFY(writeFloatWav(file, src, kRate));
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        player.setPlayCount(2);
        player.Play();
        const int n = static_cast<int>(src.size() / 2);
        const Frames out = render(engine, 2 * n + 1000);
        for (int pass = 0; pass < 2; ++pass)
            for (int i = 0; i < n; ++i)
                if (out[2 * (pass * n + i)] != src[2 * i])
                    QFAIL(qPrintable(QStringLiteral("pass %1 frame %2").arg(pass).arg(i)));
    }

    // A volume step from 0 to -2000 on a 200 Hz tone: nothing above 1 kHz within 60 dB of
    // the tone. The fade of 40 units every 11 ms: nothing within 75 dB.
    void volumeChangesAreSmooth() {
        const QString file = dir_.filePath("low.wav");
        QVERIFY(writeFloatWav(file, tone(kRate, 3.0, 200, 0.5), kRate));
        constexpr int kFft = 65536;
        {
            AudioEngine engine(offline());
            MediaPlayer player(engine);
            player.setFileName(file);
            player.Play();
            render(engine, 2048);
            const Frames out = around(
                engine, kFft / 2, [&] { player.setVolume(-2000); }, kFft / 2);
            const Spectrum s(out, 0, kFft);
            const double splash = s.largestDb(1000, kRate / 2, {}, 0.5);
            qInfo("volume step 0 to -2000: %.1f dB above 1 kHz", splash);
            QVERIFY2(splash < -60, qPrintable(QStringLiteral("%1 dB").arg(splash)));
        }
        {
            AudioEngine engine(offline());
            MediaPlayer player(engine);
            player.setFileName(file);
            player.Play();
            render(engine, 2048);
            Frames out;
            for (int step = 0; step < 100; ++step) {
                player.setVolume(-40 * step);
                const Frames part = render(engine, kRate * 11 / 1000);
                out.insert(out.end(), part.begin(), part.end());
            }
            const Spectrum s(out, 0, 32768); // the first 680 ms of the fade
            const double zipper = s.largestDb(1000, kRate / 2, {}, 0.5);
            qInfo("fade of 40 every 11 ms: %.1f dB above 1 kHz", zipper);
            QVERIFY2(zipper < -75, qPrintable(QStringLiteral("%1 dB").arg(zipper)));
        }
    }

    // Mute and a volume change glide over 10 ms; a new change while one glides goes on from
    // where the gain stands, without a step.
    void gainGlidesFromWhereItStands() {
        const QString file = dir_.filePath("flat.wav");
        QVERIFY(writeFloatWav(file, Frames(2 * kRate, 0.5f), kRate));
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        player.Play();
        render(engine, 2048);
        Frames out = around(
            engine, 0, [&] { player.setMute(true); }, kGainRamp / 2);
        const float halfway = out[2 * (kGainRamp / 2 - 1)];
        QVERIFY(halfway > 0.2f && halfway < 0.3f);
        out = around(
            engine, 0, [&] { player.setMute(false); }, kGainRamp + 10);
        QVERIFY(std::abs(out[0] - halfway) < 0.01f); // turns back from where it stood
        QCOMPARE(out[2 * (kGainRamp + 5)], 0.5f);
        const float step = largestStep(out, 1, kGainRamp + 10);
        QVERIFY2(step < 0.5f * 3.2f / kGainRamp, qPrintable(QString::number(step)));
    }
};

QTEST_MAIN(TestTransportRamps)
#include "test_transport_ramps.moc"
