// The resampler, measured on the offline engine's output with a spectrum: spurs, images and
// aliases, the level across the band, bit-exact 48 kHz at rate 1, and rate changes that
// neither skip nor repeat a frame.

#include "EngineFixture.h"
#include "platform/engine/MediaPlayer.h"

#include <QTemporaryDir>
#include <QTest>
#include <map>

using namespace fixture;
using sorvane::AudioEngine;
using sorvane::MediaPlayer;

namespace {
constexpr int kFft = 65536;
constexpr double kAmplitude = 0.5; // -6 dBFS
} // namespace

class TestResampler : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    std::map<QString, QString> made_;

    // A float WAV of a tone, made once per rate and frequency.
    QString toneFile(int rate, double hz, double seconds = 3.2) {
        const QString key = QStringLiteral("%1-%2-%3").arg(rate).arg(hz).arg(seconds);
        auto it = made_.find(key);
        if (it != made_.end()) return it->second;
        const QString path = dir_.filePath(QStringLiteral("tone-%1.wav").arg(key));
        if (!writeFloatWav(path, tone(rate, seconds, hz, kAmplitude), rate)) return QString();
        made_[key] = path;
        return path;
    }

    // Plays `file` at `rate` from its start and returns the spectrum of the output after a
    // short lead-in.
    Frames play(const QString& file, double rate, int frames) {
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        player.setRate(rate);
        player.Play();
        return render(engine, frames);
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // Every source rate and play rate: the tone at its new frequency and level, nothing else
    // within 120 dB of it; a tone moved above the output's Nyquist frequency is removed,
    // not folded back into the band.
    void tonesAreClean_data() {
        QTest::addColumn<int>("fileRate");
        QTest::addColumn<double>("rate");
        QTest::addColumn<double>("hz");
        for (int fileRate : {44100, 48000})
            for (double rate : {0.25, 0.8, 1.0, 1.37, 2.0})
                for (double hz : {1000.0, 8000.0, 15000.0}) {
                    if (fileRate == 48000 && rate == 1.0) continue; // copied unchanged
                    QTest::addRow("%d Hz file, rate %.2f, %.0f Hz", fileRate, rate, hz)
                        << fileRate << rate << hz;
                }
    }
    void tonesAreClean() {
        QFETCH(int, fileRate);
        QFETCH(double, rate);
        QFETCH(double, hz);
        const Frames out = play(toneFile(fileRate, hz), rate, 4096 + kFft);
        const Spectrum s(out, 4096, kFft);
        const double heard = hz * rate;
        if (heard < 20000) {
            const double level = 20 * std::log10(s.amplitude(heard) / kAmplitude);
            QVERIFY2(std::abs(level) < 0.1, qPrintable(QStringLiteral("level %1 dB").arg(level)));
            const double spur = s.largestDb(10, kRate / 2, {heard}, kAmplitude);
            qInfo("level %.4f dB, largest spur %.1f dB", level, spur);
            QVERIFY2(spur < -120, qPrintable(QStringLiteral("spur %1 dB").arg(spur)));
        } else {
            // 15 kHz at rate 1.37 or 2 lies above 20 kHz: at most the tone itself, nothing
            // folded into the audible band.
            const double folded = s.largestDb(10, 20000, {}, kAmplitude);
            qInfo("largest component below 20 kHz %.1f dB", folded);
            QVERIFY2(folded < -120, qPrintable(QStringLiteral("folded %1 dB").arg(folded)));
        }
    }

    // The response of a 44.1 kHz file at rate 1, from 20 Hz to 18 kHz, within 0.1 dB.
    void responseIsFlat() {
        for (double hz : {20.0, 100.0, 3000.0, 12000.0, 16000.0, 18000.0}) {
            const Frames out = play(toneFile(44100, hz, 1.6), 1.0, 4096 + kFft);
            const Spectrum s(out, 4096, kFft);
            const double level = 20 * std::log10(s.amplitude(hz) / kAmplitude);
            qInfo("%.0f Hz: %.4f dB", hz, level);
            QVERIFY2(std::abs(level) < 0.1,
                     qPrintable(QStringLiteral("%1 Hz: %2 dB").arg(hz).arg(level)));
        }
    }

    // A 48 kHz file at rate 1 is its own samples (past the start's fade-in), also after a
    // trip to another rate once a seek has placed it on a whole frame again.
    void fortyEightKiloHertzIsBitExact() {
        const Frames src = tone(kRate, 2.0, 15000, kAmplitude, 0.3);
        const QString file = dir_.filePath("exact.wav");
        QVERIFY(writeFloatWav(file, src, kRate));
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        player.Play();
        Frames out = render(engine, 9600);
        for (int i = kRamp; i < 9600; ++i)
            QCOMPARE(out[2 * i], src[2 * i]);

        player.setRate(1.37);
        render(engine, 4800);
        player.setRate(1.0);
        out = render(engine, kFft + 4096);
        // At rate 1 again: transparent between frames ...
        const Spectrum s(out, 4096, kFft);
        QVERIFY(std::abs(20 * std::log10(s.amplitude(15000) / kAmplitude)) < 0.1);
        QVERIFY(s.largestDb(10, kRate / 2, {15000}, kAmplitude) < -120);
        // ... and after a seek, exact.
        player.setCurrentPosition(0.5);
        out = render(engine, 4800);
        for (int i = kRamp; i < 4800; ++i)
            QCOMPARE(out[2 * i], src[2 * (24000 + i)]);
    }

    // Looping at rate 1 after a trip to another rate: from the next seam on, the loop is the
    // file's own samples again.
    void loopIsExactAgainAfterTheNextSeam() {
        const Frames src = tone(kRate, 1.0, 997, kAmplitude, 0.7);
        const QString file = dir_.filePath("loop-exact.wav");
        QVERIFY(writeFloatWav(file, src, kRate));
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        player.setPlayCount(0);
        player.setSelectionStart(0.25);
        player.setSelectionEnd(0.5);
        player.setCurrentPosition(0.25);
        player.Play();
        render(engine, 2000);
        player.setRate(1.37);
        render(engine, 3000);
        player.setRate(1.0);
        // Within the rest of this pass and one whole pass the seam comes; the pass after it
        // starts at the stretch start, on a whole frame.
        render(engine, 12000);
        const double at = player.CurrentPosition() * kRate;
        const int toSeam = 24000 - static_cast<int>(std::llround(at)) + 12000;
        render(engine, toSeam);
        QVERIFY(std::abs(player.CurrentPosition() - 0.25) < 1.0 / kRate);
        const Frames out = render(engine, 12000);
        for (int i = 0; i < 12000; ++i)
            QCOMPARE(out[2 * i], src[2 * (12000 + i)]);
    }

    // A rate change while playing glides to the new speed: on a source that rises by the
    // same amount at every frame, the output rises by what each output frame read, so a
    // frame repeated or skipped would show as a step of nothing or of two frames. Nothing
    // bursts above 5 kHz, beyond the steady converter's own floor.
    void rateChangeIsSeamless() {
        constexpr double kRise = 1.0 / (1 << 20);
        Frames ramp(2 * 96000);
        for (int i = 0; i < 96000; ++i)
            ramp[2 * i] = ramp[2 * i + 1] = static_cast<float>(i * kRise);
        const QString rising = dir_.filePath("rising.wav");
        QVERIFY(writeFloatWav(rising, ramp, kRate));
        {
            AudioEngine engine(offline());
            MediaPlayer player(engine);
            player.setFileName(rising);
            player.Play();
            Frames all = render(engine, 12000);
            player.setRate(1.37);
            const Frames after = render(engine, 12000);
            all.insert(all.end(), after.begin(), after.end());
            for (int i = kRamp + 1000; i < 24000; ++i) {
                const double rise = (all[2 * i] - all[2 * i - 2]) / kRise;
                if (rise < 0.99 || rise > 1.38) // float resolution aside
                    QFAIL(qPrintable(QStringLiteral("frame %1 rises by %2").arg(i).arg(rise)));
            }
            // The position is the frame the output stands at.
            QVERIFY(std::abs(player.CurrentPosition() * kRate - all[2 * 23999] / kRise) < 2);
        }

        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(toneFile(kRate, 500, 4.0));
        player.Play();
        Frames all = render(engine, 24000);
        player.setRate(1.37);
        const Frames after = render(engine, 40000);
        all.insert(all.end(), after.begin(), after.end());
        const Spectrum across(all, 24000 - 8192, 16384);
        const Spectrum steady(all, 24000 + 20000, 16384);
        const double burst = across.largestDb(5000, kRate / 2, {}, kAmplitude);
        const double floor = steady.largestDb(5000, kRate / 2, {}, kAmplitude);
        qInfo("above 5 kHz across the change %.1f dB, steady %.1f dB", burst, floor);
        QVERIFY2(burst < -120 || burst < floor + 6,
                 qPrintable(QStringLiteral("%1 dB against %2 dB").arg(burst).arg(floor)));
    }

    // The frames a resampler holds count in the position: at rate 1.37 it reads back what
    // was played, through a Pause and a resume.
    void positionCountsBufferedInput() {
        const QString file = toneFile(44100, 1000, 3.0);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(file);
        player.setRate(1.37);
        player.Play();
        render(engine, 12000);
        const double played = 12000 * 1.37 * 44100 / kRate / 44100;
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
