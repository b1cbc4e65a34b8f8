// The resampler: images, aliases, level, length, bit-exact 48 kHz at rate 1, rate changes.

#include "EngineFixture.h"

using namespace fixture;

constexpr int kFft = 65536;
constexpr double kAmplitude = 0.5; // -6 dBFS

class TestResampler : public EngineTest {
    Q_OBJECT

    QString toneFile(int rate, double hz, double seconds = 3.2) {
        return wav(QStringLiteral("tone-%1-%2.wav").arg(rate).arg(hz),
                   tone(rate, seconds, hz, kAmplitude), rate);
    }
    static double levelDb(const ToneLevels& s, double hz, double amplitude = kAmplitude) {
        return 20 * std::log10(s.amplitude(hz) / amplitude);
    }

private slots:
    // A tone up to the file's Nyquist frequency, at any rate: at its level (0.01 dB) up to 90 %
    // of the lower Nyquist frequency, every audible image or alias 100 dB down, the right length.
    void mirrorsAreInaudible_data() {
        QTest::addColumn<int>("fileRate");
        QTest::addColumn<double>("rate");
        QTest::addColumn<double>("share"); // of the file's Nyquist frequency
        for (int fileRate : {8000, 16000, 44100, 96000})
            for (double rate : {0.25, 0.5, 0.8, 1.0, 1.37, 2.0})
                for (double share : {0.3, 0.6, 0.9, 0.99})
                    QTest::addRow("%d Hz file, rate %.2f, %.0f %% of Nyquist", fileRate, rate,
                                  share * 100)
                        << fileRate << rate << share;
    }
    void mirrorsAreInaudible() {
        QFETCH(int, fileRate);
        QFETCH(double, rate);
        QFETCH(double, share);
        const double hz = share * fileRate / 2, seconds = 1.6 * rate;
        Rig rig(toneFile(fileRate, hz, seconds));
        rig.player.setRate(rate);
        rig.player.Play();
        const ToneLevels s(rig.render(4096 + kFft), 4096, kFft);
        const double heard = hz * rate;
        if (heard <= 0.45 * std::min(fileRate * rate, 1.0 * kRate)) {
            const double level = levelDb(s, heard);
            QVERIFY2(std::abs(level) <= 0.01, qPrintable(QStringLiteral("level %1 dB").arg(level)));
        }
        const double mirror = s.largestDb(20, 20000, kAmplitude, heard < kRate / 2 ? heard : -1e9);
        QVERIFY2(mirror <= -100, qPrintable(QStringLiteral("mirror at %1 dB").arg(mirror)));
        const int left = static_cast<int>(seconds * kRate / rate) - 4096 - kFft;
        const int sounding = soundingFrames(rig.render(left + 4000));
        QVERIFY2(std::abs(sounding - left) <= 16, qPrintable(QString::number(sounding - left)));
        QCOMPARE(rig.player.PlayState(), 0);
    }

    // After a glide to another rate and back, the top of a 44.1 kHz file's band is at its level.
    void rateChangeBackRestoresTheBand_data() {
        QTest::addColumn<double>("rate");
        for (double rate : {2.0, 1.37, 0.5})
            QTest::addRow("rate %.2f and back", rate) << rate;
    }
    void rateChangeBackRestoresTheBand() {
        QFETCH(double, rate);
        const double tones[] = {14000, 16000, 18000};
        Frames src = tone(44100, 3, tones[0], kAmplitude / 3);
        for (double hz : {tones[1], tones[2]})
            std::ranges::transform(src, tone(44100, 3, hz, kAmplitude / 3), src.begin(),
                                   std::plus{});
        Rig rig(wav("band.wav", src, 44100));
        rig.player.Play();
        rig.render(9600);
        rig.player.setRate(rate);
        rig.render(9600);
        rig.player.setRate(1.0);
        const ToneLevels s(rig.render(kGainRamp + kFft), kGainRamp, kFft);
        for (double hz : tones)
            QVERIFY2(std::abs(levelDb(s, hz, kAmplitude / 3)) <= 0.01,
                     qPrintable(QString::number(hz)));
    }

    // 48 kHz at rate 1 is exact, also from a seek, and from a loop seam after a trip to 1.37.
    void fortyEightKiloHertzIsBitExact() {
        const Frames src = tone(kRate, 2.0, 15000, kAmplitude, 0.3);
        Rig rig(wav("exact.wav", src));
        MediaPlayer& player = rig.player;
        player.Play();
        QCOMPARE(firstDifference(rig.render(9600), kRamp, src, kRamp, 9600 - kRamp), -1);
        player.setCurrentPosition(0.5);
        QCOMPARE(firstDifference(rig.render(4800), kRamp, src, 24000 + kRamp, 4800 - kRamp), -1);
        playStretch(player, 0.25, 0.5, 0);
        rig.render(2000);
        player.setRate(1.37);
        rig.render(3000);
        player.setRate(1.0);
        rig.render(12000); // the seam comes within this pass and the next
        rig.render(36000 - static_cast<int>(std::llround(player.CurrentPosition() * kRate)));
        QVERIFY(std::abs(player.CurrentPosition() - 0.25) < 1.0 / kRate);
        QCOMPARE(firstDifference(rig.render(12000), 0, src, 12000, 12000), -1);
    }

    // On a source rising a step a frame a rate change repeats or skips nothing; the position
    // counts what the resampler holds, through a Pause and a resume.
    void rateChangeIsSeamless() {
        constexpr double kRise = 1.0 / (1 << 20);
        Frames ramp(2 * 144000);
        for (std::size_t i = 0; i < ramp.size(); ++i)
            ramp[i] = static_cast<float>(static_cast<double>(i / 2) * kRise);
        Rig rig(wav("rising.wav", ramp));
        MediaPlayer& player = rig.player;
        player.Play();
        Frames all = rig.render(12000);
        player.setRate(1.37);
        all = rig.render(12000, all);
        for (int i = kRamp + 1000; i < 24000; ++i) {
            const double rise = (all[2 * i] - all[2 * i - 2]) / kRise;
            if (rise < 0.95 || rise > 1.42) // the filter's ripple and float resolution aside
                QFAIL(qPrintable(QStringLiteral("frame %1 rises %2").arg(i).arg(rise)));
        }
        const double stands = all[2 * 23999] / kRise;
        QVERIFY(std::abs(player.CurrentPosition() * kRate - stands) < 2);
        player.Pause();
        rig.render(2400);
        QVERIFY(std::abs(player.CurrentPosition() * kRate - stands) < 2);
        player.Play();
        const Frames resumed = rig.render(12000);
        QVERIFY(std::abs(resumed[2 * kRamp] / kRise - stands - 1.37 * kRamp) < 2);
        QVERIFY(std::abs(player.CurrentPosition() * kRate - resumed[2 * 11999] / kRise) < 2);
    }

    // Across a rate change nothing bursts above 5 kHz beyond the steady converter's own floor.
    void rateChangeDoesNotBurst() {
        Rig rig(toneFile(kRate, 500));
        rig.player.Play();
        Frames all = rig.render(24000);
        rig.player.setRate(1.37);
        all = rig.render(40000, all);
        const double burst =
            ToneLevels(all, 24000 - 8192, 16384).largestDb(5000, 24000, kAmplitude);
        const double floor = ToneLevels(all, 44000, 16384).largestDb(5000, 24000, kAmplitude);
        QVERIFY2(burst < -120 || burst < floor + 6, qPrintable(QString::number(burst - floor)));
    }
};

QTEST_MAIN(TestResampler)
#include "test_resampler.moc"
