// No click from the transport or the gain: every start, resume, stop, pause, seek, load and
// unload fades, Volume and Mute glide, and what the file itself holds is left alone where
// nothing moves (loop seams, a start in the file's own silence).

#include "EngineFixture.h"

using namespace fixture;

namespace {
constexpr double kLoud = 0.9;
constexpr double kHz = 1000;
constexpr double kCrest = 0.25 / kHz; // a quarter period into a 1 kHz tone
// The tone's own largest move from one frame to the next.
const float kOwnStep = static_cast<float>(kLoud * 2 * M_PI * kHz / kRate);

float peak(const Frames& f, int from, int frames) {
    float most = 0;
    for (int i = from; i < from + frames; ++i)
        most = std::max(most, std::abs(f[2 * i]));
    return most;
}

// Renders `before` frames, runs `change`, renders `after` frames, all in one buffer.
template <typename Change>
Frames around(AudioEngine& engine, int before, Change change, int after) {
    Frames all = render(engine, before);
    change();
    const Frames rest = render(engine, after);
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}
} // namespace

class TestTransportRamps : public EngineTest {
    Q_OBJECT
    QString loud_;
    QString other_;

private slots:
    void initTestCase() {
        loud_ = wav("loud.wav", tone(kRate, 3.0, kHz, kLoud));
        other_ = wav("other.wav", tone(44100, 3.0, 700, kLoud, 1.0), 44100);
        QVERIFY(!loud_.isEmpty() && !other_.isEmpty());
    }

    // Each move of the transport at a loud 1 kHz tone, started or cut mid-slope or at a
    // crest, where a jump would be largest: from the last frame before to the end of the fade
    // no step larger than the tone's own. A new sound stands at full level after 10 ms; an
    // old one is heard to the end of its 5-ms fade and no longer.
    void transportMovesAreClickFree_data() {
        QTest::addColumn<QString>("move");
        for (const char* m : {"play at a crest", "resume at a crest", "stop", "pause", "seek",
                              "load", "empty", "stop then empty"})
            QTest::newRow(m) << QString::fromLatin1(m);
    }
    void transportMovesAreClickFree() {
        QFETCH(QString, move);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(loud_);
        if (move == "play at a crest") player.setCurrentPosition(0.1 + kCrest);
        if (move != "play at a crest") player.Play();
        if (move == "resume at a crest") {
            render(engine, 2048);
            player.Pause();
            render(engine, 1000);
            player.setCurrentPosition(0.5 + kCrest);
        }
        const Frames out = around(
            engine, 4812,
            [&] {
                if (move.endsWith("at a crest")) player.Play();
                if (move == "stop" || move == "stop then empty") player.Stop();
                if (move == "pause") player.Pause();
                if (move == "seek") player.setCurrentPosition(1.0 + kCrest);
                if (move == "load") player.setFileName(other_);
                if (move == "load") player.Play();
                if (move == "empty" || move == "stop then empty") player.setFileName(QString());
            },
            4096);
        const float step = largestStep(out, 4800, 4812 + 4096);
        QVERIFY2(step <= kOwnStep * 1.01f, qPrintable(QString::number(step / kOwnStep)));
        if (move.endsWith("at a crest") || move == "seek" || move == "load") {
            QVERIFY(peak(out, 4812 + 2 * kRamp, 100) > 0.8f);
        } else {
            QVERIFY(peak(out, 4812, kRamp / 4) > 0.5f);
            QCOMPARE(peak(out, 4812 + kRamp, 4096 - kRamp), 0.0f);
        }
    }

    // Loop seams stay as the file has them and a start at the top of a file that begins in
    // silence is the file itself: the fades change nothing there.
    void seamsAndSilentStartsAreUntouched() {
        Frames src = tone(kRate, 0.5, 440, 0.7);
        std::fill(src.begin(), src.begin() + 4 * kRamp, 0.0f); // 10 ms of silence first
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("silent-start.wav", src));
        player.setPlayCount(2);
        player.Play();
        const int n = static_cast<int>(src.size() / 2);
        const Frames out = render(engine, 2 * n + 1000);
        QCOMPARE(firstDifference(out, 0, src, 0, n), -1);
        QCOMPARE(firstDifference(out, n, src, 0, n), -1);
    }

    // A 200 Hz tone under a volume step from 0 to -2000, and under the fade of 40 units
    // every 11 ms: nothing above 1 kHz within 60 dB, and within 75 dB, of the tone.
    void volumeChangesLeaveNothingAbove1kHz_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("steps");
        QTest::addColumn<double>("bound");
        QTest::newRow("step 0 to -2000") << 2000 << 1 << -60.0;
        QTest::newRow("fade of 40 every 11 ms") << 40 << 100 << -75.0;
    }
    void volumeChangesLeaveNothingAbove1kHz() {
        QFETCH(int, unit);
        QFETCH(int, steps);
        QFETCH(double, bound);
        constexpr int kFft = 65536, kEvery = kRate * 11 / 1000;
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("low.wav", tone(kRate, 3.0, 200, 0.5)));
        player.Play();
        render(engine, 2048);
        // The changes lie in the middle of the measured stretch, where the window sees them.
        Frames out = render(engine, kFft / 2 - steps * kEvery / 2);
        for (int step = 1; step <= steps; ++step) {
            player.setVolume(-unit * step);
            const Frames part = render(engine, kEvery);
            out.insert(out.end(), part.begin(), part.end());
        }
        const Frames rest = render(engine, kFft - static_cast<int>(out.size() / 2));
        out.insert(out.end(), rest.begin(), rest.end());
        const double splash = Spectrum(out, 0, kFft).largestDb(1000, kRate / 2, {}, 0.5);
        QVERIFY2(splash < bound, qPrintable(QStringLiteral("%1 dB").arg(splash)));
    }

    // Mute and a volume change glide over 10 ms; a new change while one glides goes on from
    // where the gain stands, without a step.
    void gainGlidesFromWhereItStands() {
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("flat.wav", Frames(2 * kRate, 0.5f)));
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
