// The media player control on an offline engine: the samples it renders, its states and
// events, loops and markers, players that come and go, SDL's dummy driver, and a video.

#include "EngineFixture.h"

#include <QSignalSpy>
#include <QThread>
#include <memory>
#include <thread>

using namespace fixture;

class TestMediaPlayer : public EngineTest {
    Q_OBJECT

    // A silent video of one colour after another, each with `each` (size, rate, duration).
    QString colours(const QString& name, const QStringList& rgb, const QString& each,
                    const QStringList& codec) {
        QString graph, labels;
        for (int i = 0; i < rgb.size(); ++i) {
            graph += QStringLiteral("color=c=0x%1:%2[c%3];").arg(rgb[i], each).arg(i);
            labels += QStringLiteral("[c%1]").arg(i);
        }
        graph += labels + QStringLiteral("concat=n=%1[v]").arg(rgb.size());
        const QStringList args = {"-loglevel", "error", "-y", "-filter_complex",
                                  graph,       "-map",  "[v]"};
        return run("ffmpeg", QStringList(args) << codec << path(name)) ? path(name) : QString();
    }

private slots:
    // States and events through a load, playing and the end; the file's own samples past the
    // start's fade. Play reaches a sound that has just ended on the audio thread although the
    // GUI thread still reads 2; Pause and Play after an end play all the passes again.
    void statesEventsAndPlayAfterTheEnd() {
        const Frames src = noise(0.2);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        QCOMPARE(player.PlayState(), 6);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(wav("states.wav", src));
        QCOMPARE(player.PlayState(), 0);
        QCOMPARE(player.SelectionEnd(), 0.2);
        player.Play();
        QCOMPARE(player.PlayState(), 2);
        Frames out = render(engine, 12000);
        QCOMPARE(firstDifference(out, kRamp, src, kRamp, 9600 - kRamp), -1);
        QCOMPARE(soundingFrames(out), 9600);
        QCOMPARE(player.PlayState(), 0);
        QCOMPARE(player.CurrentPosition(), 0.2); // stands at the end of what it played
        QCOMPARE(spy.size(), 3);
        for (int i : {0, 1, 2})
            QCOMPARE(spy.at(i).at(0).toInt(), i == 1 ? 2 : 0);

        player.Play();
        std::thread([&] { engine.renderOffline(out.data(), 12000); }).join();
        QCOMPARE(soundingFrames(out), 9600);
        QCOMPARE(player.PlayState(), 2); // the end is reported but not yet delivered
        player.Play();                   // as a cue does on a channel that reads playing
        out = render(engine, 12000);
        QCOMPARE(firstDifference(out, kRamp, src, kRamp, 9600 - kRamp), -1);
        QCOMPARE(soundingFrames(out), 9600);
        QCOMPARE(player.PlayState(), 0);

        player.setPlayCount(2);
        player.Play();
        render(engine, 2 * 9600 + 2000);
        player.Pause();
        QCOMPARE(player.PlayState(), 1);
        player.Play();
        QCOMPARE(soundingFrames(render(engine, 2 * 9600 + 2000)), 2 * 9600);
        QCOMPARE(player.PlayState(), 0);
        player.setFileName(QString());
        QCOMPARE(player.PlayState(), 6);
        QCOMPARE(spy.last().at(0).toInt(), 6);
    }

    // A 1-second file plays for 1/rate seconds, at its own speed whatever its sample rate;
    // rates beyond 0.25..2 are clamped, and a rate that is not a positive number is refused.
    void rateSetsTheSpeed_data() {
        QTest::addColumn<int>("fileRate");
        QTest::addColumn<double>("set");
        QTest::addColumn<double>("rate");
        QTest::newRow("48k at 2") << 48000 << 2.0 << 2.0;
        QTest::newRow("44.1k at 1") << 44100 << 1.0 << 1.0;
        QTest::newRow("44.1k at 2") << 44100 << 2.0 << 2.0;
        QTest::newRow("22.05k at 0.5") << 22050 << 0.5 << 0.5;
        QTest::newRow("5 is 2") << 48000 << 5.0 << 2.0;
        QTest::newRow("0.1 is 0.25") << 48000 << 0.1 << 0.25;
        QTest::newRow("0 is refused") << 48000 << 0.0 << 1.0;
        QTest::newRow("NaN is refused") << 48000 << std::nan("") << 1.0;
    }
    void rateSetsTheSpeed() {
        QFETCH(int, fileRate);
        QFETCH(double, set);
        QFETCH(double, rate);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav(QStringLiteral("sine%1.wav").arg(fileRate),
                               tone(fileRate, 1.0, 500, 0.5, 1.0), fileRate));
        player.setRate(set);
        QCOMPARE(player.Rate(), rate);
        player.Play();
        const int expected = static_cast<int>(kRate / rate);
        const int sounding = soundingFrames(render(engine, expected + 4000));
        QVERIFY2(std::abs(sounding - expected) <= 16, qPrintable(QString::number(sounding)));
        QCOMPARE(player.PlayState(), 0);
    }

    // Three passes of a marked stretch are the stretch three times, frame for frame, for a
    // WAV and for an MP3 and a WMA whose stretch start is reached by a seek while the
    // reference was decoded straight from the start. The mono file plays on both channels.
    void loopIsSampleExact_data() {
        QTest::addColumn<QString>("format");
        for (const char* f : {"wav", "mp3", "wma"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void loopIsSampleExact() {
        QFETCH(QString, format);
        const QString base = wav("loop.wav", tone(kRate, 6.0, 441, 0.6), kRate, true);
        const QString file = path("loop." + format);
        if (format == "mp3") QVERIFY(run("lame", {"--quiet", "-b", "192", base, file}));
        if (format == "wma")
            QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-i", base, "-c:a", "wmav2", file}));
        AudioEngine engine(offline());
        MediaPlayer straight(engine);
        straight.setFileName(file);
        QCOMPARE(straight.FileName(), file);
        straight.Play();
        const int s = 4 * kRate + kRate / 4, n = kRate / 2;
        const Frames reference = render(engine, s + n);
        straight.Stop();
        render(engine, 1000);
        MediaPlayer looping(engine);
        looping.setFileName(file);
        looping.setPlayCount(3);
        looping.setSelectionStart(4.25);
        looping.setSelectionEnd(4.75);
        looping.setCurrentPosition(4.25);
        looping.Play();
        const Frames out = render(engine, 3 * n + 3000);
        // Only the first pass fades in: the seams are not touched.
        QCOMPARE(firstDifference(out, kRamp, reference, s + kRamp, n - kRamp), -1);
        QCOMPARE(firstDifference(out, n, reference, s, n), -1);
        QCOMPARE(firstDifference(out, 2 * n, reference, s, n), -1);
        QCOMPARE(soundingFrames(out), 3 * n);
        QCOMPARE(looping.PlayState(), 0);
        for (int i = 0; i < 3 * n; ++i)
            if (out[2 * i] != out[2 * i + 1]) QFAIL("the channels differ");
    }

    // PlayCount 0 loops until stopped; markers changed while playing take effect at the next
    // pass; Stop returns to the stretch start.
    void endlessLoopAndSelectionChange() {
        const Frames src = noise(1.0);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("endless.wav", src));
        player.setPlayCount(0);
        player.setSelectionStart(0.1);
        player.setSelectionEnd(0.2);
        player.setCurrentPosition(0.1);
        player.Play();
        render(engine, 2400);         // half the first pass
        player.setSelectionEnd(0.15); // the running pass still ends at 0.2
        const Frames out = render(engine, 3 * 2400);
        QCOMPARE(firstDifference(out, 0, src, 7200, 2400), -1);
        QCOMPARE(firstDifference(out, 2400, src, 4800, 2400), -1);
        QCOMPARE(firstDifference(out, 4800, src, 4800, 2400), -1);
        QCOMPARE(player.PlayState(), 2);
        player.Stop();
        QCOMPARE(player.PlayState(), 0);
        render(engine, 1000);
        QCOMPARE(player.CurrentPosition(), 0.1);
    }

    // An end marker at or before the start marker, or past the media, plays to the end; a
    // start marker at the very end leaves nothing to play.
    void markersOutsideTheMedia() {
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("markers.wav", noise(0.4)));
        player.setSelectionStart(0.1);
        for (const auto& [end, from] : {std::pair{0.0, 0.1}, std::pair{99.0, 0.3}}) {
            player.setSelectionEnd(end);
            player.setCurrentPosition(from);
            player.Play();
            const int sounding = soundingFrames(render(engine, 20000));
            QCOMPARE(sounding, static_cast<int>(std::lround((0.4 - from) * kRate)));
            QCOMPARE(player.PlayState(), 0);
        }
        player.setSelectionStart(0.4);
        player.Play();
        render(engine, 256);
        QCOMPARE(player.PlayState(), 0);
    }

    // Volume -2000 is a gain of 0.1; -4000 and below, and Mute, are silence; Mute keeps the
    // Volume, and taking it off brings the full level back.
    void volumeAndMute() {
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("level.wav", Frames(4 * kRate, 0.5f)));
        player.setVolume(-2000);
        player.Play();
        const float level = render(engine, 4800)[2 * 4799];
        QVERIFY2(std::abs(level - 0.05f) < 0.0005f, qPrintable(QString::number(level)));
        for (int volume : {-4000, -6000, 0}) {
            player.setVolume(volume);
            player.setMute(volume == 0);
            render(engine, 1024);
            QCOMPARE(soundingFrames(render(engine, 1024)), 0);
        }
        QCOMPARE(player.Volume(), 0);
        player.setMute(false);
        render(engine, 1024);
        QCOMPARE(render(engine, 256)[0], 0.5f);
    }

    // Pause keeps the position and resumes exactly there; a seek while playing moves the sound
    // at the next period and reads back at once; a seek is held within the media.
    void pauseResumeAndSeek() {
        const Frames src = noise(2.0);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("seek.wav", src));
        player.Play();
        render(engine, 4800);
        player.Pause();
        QCOMPARE(player.PlayState(), 1);
        render(engine, 2000);
        QCOMPARE(player.CurrentPosition(), 0.1);
        player.Play();
        QCOMPARE(firstDifference(render(engine, 512), kRamp, src, 4800 + kRamp, 512 - kRamp), -1);
        player.setCurrentPosition(1.5);
        QCOMPARE(player.CurrentPosition(), 1.5);
        QCOMPARE(firstDifference(render(engine, 512), kRamp, src, 72000 + kRamp, 512 - kRamp), -1);
        QVERIFY(std::abs(player.CurrentPosition() - (1.5 + 512.0 / kRate)) < 1e-9);
        player.setCurrentPosition(-3);
        QCOMPARE(player.CurrentPosition(), 0.0);
        player.setCurrentPosition(50);
        QCOMPARE(player.CurrentPosition(), 2.0);
    }

    // The buffering pre-roll: two passes, muted, with a seek to half a second before the end
    // right after Play; the second pass starts at the stretch start and runs on.
    void seekAfterPlayStartsTheCountAfresh() {
        const Frames src = noise(1.0);
        AudioEngine engine(offline());
        MediaPlayer player(engine);
        player.setFileName(wav("buffer.wav", src));
        player.setMute(true);
        player.setPlayCount(2);
        player.Play();
        player.setCurrentPosition(player.SelectionEnd() - 0.5);
        player.setMute(false);
        const Frames out = render(engine, 24000 + 4800);
        QCOMPARE(firstDifference(out, kGainRamp, src, 24000 + kGainRamp, 24000 - kGainRamp), -1);
        QCOMPARE(firstDifference(out, 24000, src, 0, 4800), -1);
        QCOMPARE(player.PlayState(), 2);
        player.Pause();
        player.setCurrentPosition(0);
        render(engine, 512);
        QCOMPARE(player.CurrentPosition(), 0.0);
        QCOMPARE(player.PlayState(), 1);
    }

    // An MP3 followed by gigabytes of nothing keeps a decoder searching for the next frame;
    // letting go of the player breaks that off, so the only decode worker is free again at
    // once for the next sound.
    void lettingGoBreaksOffALongRead() {
        const QString mp3 = path("endless.mp3");
        QVERIFY(run("lame", {"--quiet", wav("lead.wav", tone(44100, 2.0, 440, 0.5), 44100), mp3}));
        QVERIFY(QFile::resize(mp3, qint64(4) << 30)); // sparse: costs no disk
        const Frames src = noise(0.5);
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
        stuck->Play();
        QCOMPARE(soundingFrames(render(engine, kRate / 2)), kRate / 2);
        stuck->Pause();
        stuck->setCurrentPosition(1.9); // near the end: the worker searches on for more
        stuck->Play();
        QTest::qWait(100);
        stuck.reset();
        MediaPlayer player(engine);
        player.setFileName(next);
        player.Play();
        QCOMPARE(firstDifference(render(engine, 24000), kRamp, src, kRamp, 24000 - kRamp), -1);
    }

    // A player that outlives its engine is left empty and harmless.
    void playerOutlivesTheEngine() {
        auto engine = std::make_unique<AudioEngine>(offline());
        MediaPlayer player(*engine);
        const QString file = wav("orphan.wav", noise(0.3));
        player.setFileName(file);
        player.Play();
        render(*engine, 512);
        engine.reset();
        QCOMPARE(player.PlayState(), 6);
        player.setFileName(file);
        QCOMPARE(player.FileName(), QString());
        player.Play();
        player.setVolume(-100);
        player.setCurrentPosition(0.1);
        QCOMPARE(player.CurrentPosition(), 0.0);
        QCOMPARE(player.PlayState(), 6);
    }

    // Through SDL's dummy driver in real time, players made, loaded, played, reloaded and
    // destroyed as fast as the GUI thread goes while the audio thread mixes them: nothing
    // crashes, and a sound then plays to its end, reported on the GUI thread.
    void playersComeAndGoWhilePlaying() {
        qputenv("SDL_AUDIODRIVER", "dummy");
        const QString longWav = wav("churn-long.wav", noise(12.0, 44100), 44100);
        const QString shortWav = wav("churn-short.wav", tone(kRate, 0.6, 440, 0.3));
        const QString mp3 = path("churn.mp3");
        QVERIFY(run("lame", {"--quiet", "-b", "128", longWav, mp3}));
        QFile text(path("churn-text.wav"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a sound\n") > 0);
        text.close();
        const QStringList files = {longWav, mp3, shortWav, text.fileName(), QString(), mp3};
        {
            AudioEngine engine;
            QCOMPARE(engine.outputName(), QStringLiteral("dummy"));
            // Destroyed while playing, while seeking, and right after a load.
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
            MediaPlayer player(engine);
            for (int round = 0; round < 120; ++round) {
                const QString file = files[round % files.size()];
                player.setFileName(file);
                QCOMPARE(player.FileName(), file == text.fileName() ? QString() : file);
                player.Play();
                player.setCurrentPosition(0.25 * (round % 9));
                if (round % 10 == 0) QCoreApplication::processEvents();
            }
            player.setFileName(shortWav);
            player.setPlayCount(1);
            player.setRate(1.0);
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
        const QString file = colours("colours.avi", {"E60000", "00E600", "0000E6"},
                                     "s=64x48:r=10:d=0.5", {"-c:v", "mjpeg", "-q:v", "2"});
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
        player.setCurrentPosition(0.1); // back to the first picture
        render(engine, 256);
        QTRY_VERIFY(centre().red() > 180 && centre().green() < 60);
    }

    // A far jump in a video with one key frame: the pictures catch up with the position
    // although every frame up to the target has to be decoded first.
    void videoCatchesUpAfterAFarJump() {
        const QString file = colours("far.avi", {"E00000", "00E000"}, "s=320x240:r=25:d=4",
                                     {"-c:v", "mpeg4", "-g", "400", "-q:v", "3"});
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
