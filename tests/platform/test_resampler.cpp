// The resampler, measured on the offline engine's output with a spectrum: spurs, images and
// aliases, the level across the band, bit-exact 48 kHz at rate 1, and rate changes that
// neither skip nor repeat a frame.

#include "EngineFixture.h"

#include <map>

using namespace fixture;

namespace {
constexpr int kFft = 65536;
constexpr double kAmplitude = 0.5; // -6 dBFS
} // namespace

class TestResampler : public EngineTest {
    Q_OBJECT
    std::map<QString, QString> made_;

    // A float WAV of a tone, made once per rate and frequency.
    QString toneFile(int rate, double hz) {
        const QString name = QStringLiteral("tone-%1-%2.wav").arg(rate).arg(hz);
        if (!made_.count(name)) made_[name] = wav(name, tone(rate, 3.2, hz, kAmplitude), rate);
        return made_[name];
    }

private slots:
    // Every source rate and play rate: the tone at its new frequency and level, nothing else
    // within 120 dB of it; a tone moved above the output's Nyquist frequency is removed, not
    // folded back. The "response" rows: a 44.1 kHz file is flat from 20 Hz to 18 kHz.
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
            QTest::addRow("response at %.0f Hz", hz) << 44100 << 1.0 << hz;
    }
    void tonesAreClean() {
        QFETCH(int, fileRate);
        QFETCH(double, rate);
        QFETCH(double, hz);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(toneFile(fileRate, hz));
        player.setRate(rate);
        player.Play();
        const Spectrum s(render(engine, 4096 + kFft), 4096, kFft);
        const double heard = hz * rate;
        if (heard < 20000) {
            const double level = 20 * std::log10(s.amplitude(heard) / kAmplitude);
            QVERIFY2(std::abs(level) < 0.1, qPrintable(QStringLiteral("level %1 dB").arg(level)));
            const double spur = s.largestDb(10, kRate / 2, {heard}, kAmplitude);
            QVERIFY2(spur < -120, qPrintable(QStringLiteral("spur %1 dB").arg(spur)));
        } else {
            const double folded = s.largestDb(10, 20000, {}, kAmplitude);
            QVERIFY2(folded < -120, qPrintable(QStringLiteral("folded %1 dB").arg(folded)));
        }
    }

    // A 48 kHz file at rate 1 is its own samples (past the start's fade-in); after a trip to
    // another rate it is transparent, and exact again from the next seek.
    void fortyEightKiloHertzIsBitExact() {
        const Frames src = tone(kRate, 2.0, 15000, kAmplitude, 0.3);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("exact.wav", src));
        player.Play();
        QCOMPARE(firstDifference(render(engine, 9600), kRamp, src, kRamp, 9600 - kRamp), -1);
        player.setRate(1.37);
        render(engine, 4800);
        player.setRate(1.0);
        const Spectrum s(render(engine, kFft + 4096), 4096, kFft);
        QVERIFY(std::abs(20 * std::log10(s.amplitude(15000) / kAmplitude)) < 0.1);
        QVERIFY(s.largestDb(10, kRate / 2, {15000}, kAmplitude) < -120);
        player.setCurrentPosition(0.5);
        QCOMPARE(firstDifference(render(engine, 4800), kRamp, src, 24000 + kRamp, 4800 - kRamp),
                 -1);
    }

    // Looping at rate 1 after a trip to another rate: from the next seam on, the loop is the
    // file's own samples again.
    void loopIsExactAgainAfterTheNextSeam() {
        const Frames src = tone(kRate, 1.0, 997, kAmplitude, 0.7);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("loop-exact.wav", src));
        player.setPlayCount(0);
        player.setSelectionStart(0.25);
        player.setSelectionEnd(0.5);
        player.setCurrentPosition(0.25);
        player.Play();
        render(engine, 2000);
        player.setRate(1.37);
        render(engine, 3000);
        player.setRate(1.0);
        // The seam comes within the rest of this pass and one more; render up to a later one.
        render(engine, 12000);
        const auto at = static_cast<int>(std::llround(player.CurrentPosition() * kRate));
        render(engine, 24000 - at + 12000);
        QVERIFY(std::abs(player.CurrentPosition() - 0.25) < 1.0 / kRate);
        QCOMPARE(firstDifference(render(engine, 12000), 0, src, 12000, 12000), -1);
    }

    // A rate change while playing glides: on a source that rises by the same amount at every
    // frame, each output frame rises by what it read, so a frame repeated or skipped would
    // show as a step of nothing or of two frames. Nothing bursts above 5 kHz beyond the steady
    // converter's own floor.
    void rateChangeIsSeamless() {
        constexpr double kRise = 1.0 / (1 << 20);
        Frames ramp(2 * 96000);
        for (std::size_t i = 0; i < ramp.size(); ++i)
            ramp[i] = static_cast<float>(static_cast<double>(i / 2) * kRise);
        for (const QString& file : {wav("rising.wav", ramp), toneFile(kRate, 500)}) {
            AudioEngine engine(offline());
            MediaPlayer player(engine);
            player.setFileName(file);
            player.Play();
            const int before = file.contains("rising") ? 12000 : 24000;
            Frames all = render(engine, before);
            player.setRate(1.37);
            const Frames after = render(engine, 40000);
            all.insert(all.end(), after.begin(), after.end());
            if (file.contains("rising")) {
                for (int i = kRamp + 1000; i < 24000; ++i) {
                    const double rise = (all[2 * i] - all[2 * i - 2]) / kRise;
                    if (rise < 0.99 || rise > 1.38) // float resolution aside
                        QFAIL(qPrintable(QStringLiteral("frame %1 rises %2").arg(i).arg(rise)));
                }
                // The position is the frame the output stands at.
                const double stands = all[2 * (before + 40000 - 1)] / kRise;
                QVERIFY(std::abs(player.CurrentPosition() * kRate - stands) < 2);
                continue;
            }
            const double burst =
                Spectrum(all, before - 8192, 16384).largestDb(5000, kRate / 2, {}, kAmplitude);
            const double floor =
                Spectrum(all, before + 20000, 16384).largestDb(5000, kRate / 2, {}, kAmplitude);
            QVERIFY2(burst < -120 || burst < floor + 6,
                     qPrintable(QStringLiteral("%1 dB against %2 dB").arg(burst).arg(floor)));
        }
    }

    // The frames the resampler holds count in the position: at rate 1.37 it reads back what
    // was played, through a Pause and a resume.
    void positionCountsBufferedInput() {
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(toneFile(44100, 1000));
        player.setRate(1.37);
        player.Play();
        render(engine, 12000);
        const double played = 12000 * 1.37 / kRate;
        QVERIFY(std::abs(player.CurrentPosition() - played) <= 1.0 / 44100);
        player.Pause();
        render(engine, 2400);
        QVERIFY(std::abs(player.CurrentPosition() - played) <= 1.0 / 44100);
        player.Play();
        render(engine, 12000);
        QVERIFY(std::abs(player.CurrentPosition() - 2 * played) <= 2.0 / 44100);
    }
};

QTEST_MAIN(TestResampler)
#include "test_resampler.moc"
