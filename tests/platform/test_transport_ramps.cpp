// No click from the transport or the gain: starts, stops, seeks and loads fade; Volume glides.

#include "EngineFixture.h"

using namespace fixture;

constexpr double kLoud = 0.9;
constexpr double kHz = 1000;
constexpr double kCrest = 0.25 / kHz; // a quarter period into a 1 kHz tone
const float kOwnStep = static_cast<float>(kLoud * 2 * M_PI * kHz / kRate);

static float peak(const Frames& f, int from, int frames) {
    float most = 0;
    for (int i = from; i < from + frames; ++i)
        most = std::max(most, std::abs(f[2 * i]));
    return most;
}

class TestTransportRamps : public EngineTest {
    Q_OBJECT

private slots:
    // No step beyond the tone's own; a new sound full after 10 ms, an old one silent after 5.
    void transportMovesAreClickFree_data() {
        QTest::addColumn<QString>("move");
        for (const char* m : {"play at a crest", "resume at a crest", "stop", "pause", "seek",
                              "load", "empty", "stop then empty"})
            QTest::newRow(m) << QString::fromLatin1(m);
    }
    void transportMovesAreClickFree() {
        QFETCH(QString, move);
        Rig rig(wav("loud.wav", tone(kRate, 3.0, kHz, kLoud)));
        if (move == "play at a crest") rig.player.setCurrentPosition(0.1 + kCrest);
        if (move != "play at a crest") rig.player.Play();
        if (move == "resume at a crest") {
            rig.render(2048);
            rig.player.Pause();
            rig.render(1000);
            rig.player.setCurrentPosition(0.5 + kCrest);
        }
        Frames out = rig.render(4812); // mid-slope, or paused at a crest
        if (move.endsWith("at a crest")) rig.player.Play();
        if (move == "stop" || move == "stop then empty") rig.player.Stop();
        if (move == "pause") rig.player.Pause();
        if (move == "seek") rig.player.setCurrentPosition(1.0 + kCrest);
        if (move == "load")
            rig.player.setFileName(wav("other.wav", tone(44100, 3.0, 700, kLoud, 1.0), 44100));
        if (move == "load") rig.player.Play();
        if (move == "empty" || move == "stop then empty") rig.player.setFileName(QString());
        out = rig.render(4096, out);
        const float step = largestStep(out, 4800, 4812 + 4096);
        QVERIFY2(step <= kOwnStep * 1.01f, qPrintable(QString::number(step / kOwnStep)));
        if (move.endsWith("at a crest") || move == "seek" || move == "load") {
            QVERIFY(peak(out, 4812 + 2 * kRamp, 100) > 0.8f);
        } else {
            QVERIFY(peak(out, 4812, kRamp / 4) > 0.5f);
            QCOMPARE(peak(out, 4812 + kRamp, 4096 - kRamp), 0.0f);
        }
    }

    // A step to -2000 or a fade of 40 units every 11 ms leaves nothing above 1 kHz of 200 Hz;
    // -2000 is 0.1, -4000 and Mute silence; a change glides 10 ms, turning back where it stands.
    void volumeChangesGlide() {
        for (const auto& [unit, steps, bound, fft] :
             {std::tuple{2000, 1, -60.0, 4096}, {40, 100, -75.0, 65536}}) {
            constexpr int kEvery = kRate * 11 / 1000;
            Rig rig(wav("low.wav", tone(kRate, 3.0, 200, 0.5)));
            rig.player.Play();
            rig.render(2048);
            Frames out = rig.render(fft / 2 - steps * kEvery / 2); // changes mid-window
            for (int step = 1; step <= steps; ++step) {
                rig.player.setVolume(-unit * step);
                out = rig.render(kEvery, out);
            }
            out = rig.render(std::max(0, fft - static_cast<int>(out.size() / 2)), out);
            const double splash = ToneLevels(out, 0, fft).largestDb(1000, kRate / 2, 0.5);
            QVERIFY2(splash < bound, qPrintable(QStringLiteral("%1 dB").arg(splash)));
        }
        Rig rig(wav("flat.wav", Frames(8 * kRate, 0.5f)));
        rig.player.setVolume(-2000);
        rig.player.Play();
        const float level = rig.render(4800)[2 * 4799];
        QVERIFY2(std::abs(level - 0.05f) < 0.0005f, qPrintable(QString::number(level)));
        for (int volume : {-4000, -6000, 0}) {
            rig.player.setVolume(volume);
            rig.player.setMute(volume == 0);
            rig.render(1024);
            QCOMPARE(soundingFrames(rig.render(1024)), 0);
        }
        QCOMPARE(rig.player.Volume(), 0);
        rig.player.setMute(false);
        rig.render(1024);
        rig.player.setMute(true);
        Frames out = rig.render(kGainRamp / 2);
        const float halfway = out[2 * (kGainRamp / 2 - 1)];
        QVERIFY(halfway > 0.2f && halfway < 0.3f);
        rig.player.setMute(false);
        out = rig.render(kGainRamp + 10);
        QVERIFY(std::abs(out[0] - halfway) < 0.01f); // turns back from where it stood
        QCOMPARE(out[2 * (kGainRamp + 5)], 0.5f);
        const float step = largestStep(out, 1, kGainRamp + 10);
        QVERIFY2(step < 0.5f * 3.2f / kGainRamp, qPrintable(QString::number(step)));
    }
};

QTEST_MAIN(TestTransportRamps)
#include "test_transport_ramps.moc"
