// The resampler: spurs, aliases, level, length, bit-exact 48 kHz at rate 1, rate changes.

#include "EngineFixture.h"

using namespace fixture;

constexpr int kFft = 65536;
constexpr double kAmplitude = 0.5; // -6 dBFS

class TestResampler : public EngineTest {
    Q_OBJECT

    QString toneFile(int rate, double hz) {
        return wav(QStringLiteral("tone-%1-%2.wav").arg(rate).arg(hz),
                   tone(rate, 3.2, hz, kAmplitude), rate);
    }

private slots:
    // The tone at its level, nothing else within 120 dB, above 20 kHz removed; length / rate.
    void tonesAreClean_data() {
        QTest::addColumn<int>("fileRate");
        QTest::addColumn<double>("rate");
        QTest::addColumn<double>("hz");
        for (int fileRate : {44100, 48000})
            for (double rate : {0.25, 0.8, 1.0, 1.37, 2.0})
                for (double hz : {1000.0, 8000.0, 15000.0})
                    if (fileRate != 48000 || rate != 1.0) // that one is copied unchanged
                        QTest::addRow("%d Hz file, rate %.2f, %.0f Hz", fileRate, rate, hz)
                            << fileRate << rate << hz;
        for (double hz : {20.0, 100.0, 3000.0, 12000.0, 16000.0, 18000.0})
            QTest::addRow("44.1 kHz response at %.0f Hz", hz) << 44100 << 1.0 << hz;
        QTest::addRow("22.05 kHz file, rate 0.50") << 22050 << 0.5 << 1000.0;
    }
    void tonesAreClean() {
        QFETCH(int, fileRate);
        QFETCH(double, rate);
        QFETCH(double, hz);
        Rig rig(toneFile(fileRate, hz));
        rig.player.setRate(rate);
        rig.player.Play();
        const Spectrum s(rig.render(4096 + kFft), 4096, kFft);
        const double heard = hz * rate;
        if (heard < 20000) {
            const double level = 20 * std::log10(s.amplitude(heard) / kAmplitude);
            QVERIFY2(std::abs(level) < 0.1, qPrintable(QStringLiteral("level %1 dB").arg(level)));
        }
        const double spur = heard < 20000 ? s.largestDb(10, kRate / 2, kAmplitude, heard)
                                          : s.largestDb(10, 20000, kAmplitude);
        QVERIFY2(spur < -120, qPrintable(QStringLiteral("%1 dB").arg(spur)));
        const int left = static_cast<int>(3.2 * kRate / rate) - 4096 - kFft;
        const int sounding = soundingFrames(rig.render(left + 4000));
        QVERIFY2(std::abs(sounding - left) <= 16, qPrintable(QString::number(sounding - left)));
        QCOMPARE(rig.player.PlayState(), 0);
    }

    // 48 kHz at rate 1 is exact; after a trip to 1.37 clean, and exact from a seek or loop seam.
    void fortyEightKiloHertzIsBitExact() {
        const Frames src = tone(kRate, 2.0, 15000, kAmplitude, 0.3);
        Rig rig(wav("exact.wav", src));
        MediaPlayer& player = rig.player;
        player.Play();
        QCOMPARE(firstDifference(rig.render(9600), kRamp, src, kRamp, 9600 - kRamp), -1);
        player.setRate(1.37);
        rig.render(4800);
        player.setRate(1.0);
        const Spectrum s(rig.render(kFft + 4096), 4096, kFft);
        QVERIFY(std::abs(20 * std::log10(s.amplitude(15000) / kAmplitude)) < 0.1);
        QVERIFY(s.largestDb(10, kRate / 2, kAmplitude, 15000) < -120);
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

    // On a source rising one step a frame a rate change repeats or skips nothing; the position
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
            if (rise < 0.99 || rise > 1.38) // float resolution aside
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
        const double burst = Spectrum(all, 24000 - 8192, 16384).largestDb(5000, 24000, kAmplitude);
        const double floor = Spectrum(all, 44000, 16384).largestDb(5000, 24000, kAmplitude);
        QVERIFY2(burst < -120 || burst < floor + 6, qPrintable(QString::number(burst - floor)));
    }
};

QTEST_MAIN(TestResampler)
#include "test_resampler.moc"
