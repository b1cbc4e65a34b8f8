// The media player control: samples, states, loops, markers, players that come and go, video.

#include "EngineFixture.h"

#include <QSignalSpy>
#include <QThread>
#include <memory>
#include <thread>

using namespace fixture;

class TestMediaPlayer : public EngineTest {
    Q_OBJECT

private slots:
    // Play reaches a sound just ended on the audio thread; a resumed pause goes on with its pass,
    // after an end Pause and Play play every pass; a file beginning in silence plays as it is;
    // rates clamp to 0.25..2, 0 or NaN refused.
    void statesEventsAndPlayAfterTheEnd() {
        Frames src = noise(0.2);
        std::fill(src.begin(), src.begin() + 4 * kRamp, 0.0f); // 10 ms of silence first
        Rig rig;
        MediaPlayer& player = rig.player;
        for (const auto& [set, is] : {std::pair{5.0, 2.0}, {0.1, 0.25}, {0.0, 0.25}, {NAN, 0.25}}) {
            player.setRate(set);
            QCOMPARE(player.Rate(), is);
        }
        player.setRate(1);
        QCOMPARE(player.PlayState(), 6);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(wav("states.wav", src));
        QCOMPARE(player.PlayState(), 0);
        player.Play();
        QCOMPARE(player.PlayState(), 2);
        Frames out = rig.render(12000);
        QCOMPARE(firstDifference(out, 0, src, 0, 9600), -1);
        QCOMPARE(soundingFrames(out), 9600);
        QCOMPARE(player.PlayState(), 0);
        QCOMPARE(player.CurrentPosition(), 0.2); // stands at the end of what it played
        QCOMPARE(spy.size(), 3);
        for (int i : {0, 1, 2})
            QCOMPARE(spy.at(i).at(0).toInt(), i == 1 ? 2 : 0);
        player.Play();
        std::thread([&] { rig.engine.renderOffline(out.data(), 12000); }).join();
        QCOMPARE(soundingFrames(out), 9600);
        QCOMPARE(player.PlayState(), 2); // the end is reported but not yet delivered
        player.Play();                   // as a cue does on a channel that reads playing
        out = rig.render(12000);
        QCOMPARE(firstDifference(out, kRamp, src, kRamp, 9600 - kRamp), -1);
        QCOMPARE(soundingFrames(out), 9600);
        QCOMPARE(player.PlayState(), 0);
        player.setPlayCount(2);
        player.Play();
        rig.render(9600 + 4800);
        player.Pause();
        player.Play(); // goes on with the second pass
        QCOMPARE(soundingFrames(rig.render(9600)), 4800);
        player.Pause();
        QCOMPARE(player.PlayState(), 1);
        player.Play();
        QCOMPARE(soundingFrames(rig.render(2 * 9600 + 2000)), 2 * 9600);
        QCOMPARE(player.PlayState(), 0);
        player.setFileName(QString());
        QCOMPARE(player.PlayState(), 6);
        QCOMPARE(spy.last().at(0).toInt(), 6);
    }

    // Passes of a stretch reached by a seek are a straight decode's frames; mono on both sides.
    void loopIsSampleExact_data() {
        QTest::addColumn<QString>("format");
        for (const char* f : {"wav", "mp3", "vbr.mp3", "id3.mp3", "wma"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void loopIsSampleExact() {
        QFETCH(QString, format);
        const QString base = wav("loop.wav", tone(kRate, 6.0, 441, 0.6), kRate, true);
        const QString file = path("loop." + format);
        if (format == "mp3") QVERIFY(run("lame", {"--quiet", "-b", "192", base, file}));
        if (format == "vbr.mp3") QVERIFY(run("lame", {"--quiet", "-V", "4", base, file}));
        if (format == "id3.mp3")
            QVERIFY(
                run("lame", {"--quiet", "--tt", QString(3000, 'x'), "--add-id3v2", base, file}));
        if (format == "wma")
            QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-i", base, "-c:a", "wmav2", file}));
        Rig rig(file);
        rig.player.Play();
        const int s = 4 * kRate + kRate / 4, n = kRate / 2;
        const Frames reference = rig.render(s + n);
        rig.player.Stop();
        rig.render(1000);
        MediaPlayer looping(rig.engine);
        looping.setFileName(file);
        playStretch(looping, 4.25, 4.75, 3);
        const Frames out = rig.render(3 * n + 3000);
        QCOMPARE(firstDifference(out, kRamp, reference, s + kRamp, n - kRamp), -1);
        QCOMPARE(firstDifference(out, n, reference, s, n), -1);
        QCOMPARE(firstDifference(out, 2 * n, reference, s, n), -1);
        QCOMPARE(soundingFrames(out), 3 * n);
        QCOMPARE(looping.PlayState(), 0);
        for (int i = 0; i < 3 * n; ++i)
            if (out[2 * i] != out[2 * i + 1]) QFAIL("the channels differ");
    }

    // PlayCount 0 loops; an end marker set while playing takes effect at once: ahead of the
    // position the pass plays on to it, behind it the pass ends there; Stop rewinds;
    // an end marker at or before the start, or past the media, plays to the end. The pre-roll
    // (a seek right after Play), Pause and resume, and seeks, each frame-exact.
    void loopsMarkersPausesAndSeeks() {
        const Frames src = noise(2.0);
        Rig rig(wav("seek.wav", src));
        MediaPlayer& player = rig.player;
        playStretch(player, 0.1, 0.15, 0);
        Frames out = rig.render(1200); // half the first pass
        player.setSelectionEnd(0.2);
        out = rig.render(3600 + 2400, out);
        QCOMPARE(firstDifference(out, kRamp, src, 4800 + kRamp, 4800 - kRamp), -1);
        QCOMPARE(firstDifference(out, 4800, src, 4800, 2400), -1);
        player.setSelectionEnd(0.125); // at 0.15: what is on its way plays out, then 0.1 on
        out = rig.render(600 + 2 * 1200);
        const int seam = firstDifference(out, 0, src, 7200, 600);
        QVERIFY2(seam >= 0, "the pass ran on past its new end");
        QCOMPARE(firstDifference(out, seam, src, 4800, 1200), -1);
        QCOMPARE(firstDifference(out, seam + 1200, src, 4800, 1200), -1);
        QCOMPARE(player.PlayState(), 2);
        player.Stop();
        QCOMPARE(player.PlayState(), 0);
        rig.render(1000);
        QCOMPARE(player.CurrentPosition(), 0.1);
        player.setPlayCount(1);
        for (const auto& [end, from] : {std::pair{0.0, 1.1}, std::pair{99.0, 1.7}}) {
            player.setSelectionEnd(end);
            player.setCurrentPosition(from);
            player.Play();
            const int sounding = soundingFrames(rig.render(48000));
            QCOMPARE(sounding, static_cast<int>(std::lround((2.0 - from) * kRate)));
            QCOMPARE(player.PlayState(), 0);
        }
        player.setSelectionStart(0);
        player.setMute(true);
        player.setPlayCount(2);
        player.Play();
        player.setCurrentPosition(1.5);
        player.setMute(false);
        out = rig.render(24000 + 4800);
        QCOMPARE(firstDifference(out, kGainRamp, src, 72000 + kGainRamp, 24000 - kGainRamp), -1);
        QCOMPARE(firstDifference(out, 24000, src, 0, 4800), -1);
        player.Pause();
        QCOMPARE(player.PlayState(), 1);
        rig.render(2000);
        QCOMPARE(player.CurrentPosition(), 0.1);
        player.Play();
        QCOMPARE(firstDifference(rig.render(512), kRamp, src, 4800 + kRamp, 512 - kRamp), -1);
        player.setCurrentPosition(1.5);
        QCOMPARE(player.CurrentPosition(), 1.5);
        QCOMPARE(firstDifference(rig.render(512), kRamp, src, 72000 + kRamp, 512 - kRamp), -1);
        QVERIFY(std::abs(player.CurrentPosition() - (1.5 + 512.0 / kRate)) < 1e-9);
        player.Pause();
        player.setCurrentPosition(-3); // held within the media, and paused
        rig.render(512);
        QCOMPARE(player.CurrentPosition(), 0.0);
        QCOMPARE(player.PlayState(), 1);
        player.setCurrentPosition(50);
        QCOMPARE(player.CurrentPosition(), 2.0);
    }

    // A player let go while its MP3's gigabytes of nothing hold the worker frees it; an orphan is
    // inert.
    void lettingGoOfPlayersAndEngines() {
        const QString mp3 = path("endless.mp3");
        QVERIFY(run("lame", {"--quiet", wav("lead.wav", tone(44100, 2.0, 440, 0.5), 44100), mp3}));
        QVERIFY(QFile::resize(mp3, qint64(4) << 30)); // sparse: costs no disk
        const Frames src = noise(0.5);
        const QString next = wav("next.wav", src);
        auto rig = std::make_unique<Rig>(QString(), 1);
        auto stuck = std::make_unique<MediaPlayer>(rig->engine);
        stuck->setFileName(mp3);
        QVERIFY2(std::abs(stuck->SelectionEnd() - 2.0) < 0.05, "not the length the size suggests");
        stuck->Play();
        QCOMPARE(soundingFrames(rig->render(kRate / 2)), kRate / 2);
        stuck->Pause();
        stuck->setCurrentPosition(1.9); // near the end: the worker searches on for more
        stuck->Play();
        QTest::qWait(100);
        stuck.reset();
        rig->player.setFileName(next);
        rig->player.Play();
        QCOMPARE(firstDifference(rig->render(24000), kRamp, src, kRamp, 24000 - kRamp), -1);
        MediaPlayer orphan(rig->engine);
        orphan.setFileName(next);
        orphan.Play();
        rig->render(512);
        rig.reset();
        QCOMPARE(orphan.PlayState(), 6);
        orphan.setFileName(next);
        QCOMPARE(orphan.FileName(), QString());
        orphan.Play();
        orphan.setVolume(-100);
        orphan.setCurrentPosition(0.1);
        QCOMPARE(orphan.CurrentPosition(), 0.0);
        QCOMPARE(orphan.PlayState(), 6);
    }

    // Players churned while SDL mixes them crash nothing; the end is reported on the GUI thread.
    void playersComeAndGoWhilePlaying() {
        const QString longWav = wav("churn-long.wav", noise(12.0, 44100), 44100);
        const QString shortWav = wav("churn-short.wav", tone(kRate, 0.6, 440, 0.3));
        const QString mp3 = path("churn.mp3");
        QVERIFY(run("lame", {"--quiet", "-b", "128", longWav, mp3}));
        const QString text = writeAll(path("churn-text.wav"), "not a sound\n");
        const QStringList files = {longWav, mp3, shortWav, text, QString(), mp3};
        {
            AudioEngine engine;
            MediaPlayer player(engine);
            for (int round = 0; round < 120; ++round) {
                const QString file = files[round % files.size()];
                player.setFileName(file);
                QCOMPARE(player.FileName(), file == text ? QString() : file);
                player.Play();
                player.setCurrentPosition(0.25 * (round % 9));
                auto p = std::make_unique<MediaPlayer>(engine);
                p->setFileName(files[(round + 1) % files.size()]);
                p->setRate(round % 4 == 0 ? 1.0 : 0.5 + 0.25 * (round % 7));
                p->setPlayCount(round % 3);
                p->Play();
                if (round % 2) p->setCurrentPosition(round * 0.17);
                if (round % 5 == 0) QTest::qWait(3);
                if (round % 3 == 0) p->Pause();
            }
            player.setFileName(shortWav);
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
        // Players destroyed just before their engine, while decoding for them.
        for (int round = 0; round < 5; ++round) {
            AudioEngine engine;
            MediaPlayer a(engine), b(engine);
            a.setFileName(mp3);
            b.setFileName(longWav);
            a.setCurrentPosition(8.0);
            a.Play();
            b.Play();
        }
    }

    // A silent video's pictures follow the position at the set rate; it ends like a sound.
    void videoFollowsThePosition() {
        const QString file = path("colours.avi");
        const QString graph = "color=c=0xE60000:s=64x48:r=10:d=0.5[r];color=c=0x00E600:s=64x48:"
                              "r=10:d=0.5[g];color=c=0x0000E6:s=64x48:r=10:d=0.5[b];"
                              "[r][g][b]concat=n=3[v]";
        QVERIFY(run("ffmpeg", {"-loglevel", "error", "-y", "-filter_complex", graph, "-map", "[v]",
                               "-c:v", "mjpeg", "-q:v", "2", file}));
        Rig rig(file);
        MediaPlayer& player = rig.player;
        player.resize(160, 120);
        player.show();
        QVERIFY(std::abs(player.SelectionEnd() - 1.5) < 0.01);
        auto centre = [&] { return player.grab().toImage().pixelColor(80, 60); };
        QTRY_VERIFY(centre().red() > 180 && centre().green() < 60); // the first picture
        player.setRate(2.0);
        player.Play();
        rig.render(kRate * 4 / 10); // 0.8 s of the video
        QVERIFY(std::abs(player.CurrentPosition() - 0.8) < 0.01);
        QTRY_VERIFY(centre().green() > 180 && centre().red() < 60);
        rig.render(kRate * 2 / 10); // 1.2 s
        QTRY_VERIFY(centre().blue() > 180 && centre().green() < 60);
        QCOMPARE(player.PlayState(), 2);
        rig.render(kRate * 2 / 10);
        QCOMPARE(player.PlayState(), 0);
    }
};

QTEST_MAIN(TestMediaPlayer)
#include "test_mediaplayer.moc"
