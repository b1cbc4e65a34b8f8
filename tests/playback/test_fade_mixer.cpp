// Volume fades (the step as a table, and fade processes on the real window) and the mixer:
// meters, faders, the master link and the mixer toggle.

#include "PlaybackFixture.h"
#include "playback/FadeStep.h"

#include <QCheckBox>
#include <QSlider>

using namespace playtest;

class FadeMixerTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

    QList<int> volumes() {
        QList<int> v;
        for (int i = 0; i < 4; ++i)
            v << fx->player(i)->Volume();
        return v;
    }
    static QList<double> bar(const PositionBar* b) { return {b->Min(), b->Max(), b->Value()}; }

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    void fadeStepTable_data() {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("volume");
        QTest::addColumn<int>("nextInterval");
        QTest::addColumn<bool>("finished");
        QTest::newRow("up one step") << -4000 << 0 << 11 << -3960 << 11 << false;
        QTest::newRow("up jumps to full near the top") << -60 << -50 << 11 << -50 << 11 << true;
        QTest::newRow("up from -100 first") << -100 << -50 << 11 << -60 << 11 << false;
        QTest::newRow("up lands on target") << -1240 << -1200 << 51 << -1200 << 51 << true;
        QTest::newRow("down one step") << 0 << -4000 << 51 << -40 << 51 << false;
        QTest::newRow("down to floor") << -3980 << -6000 << 51 << -4000 << 51 << true;
        QTest::newRow("below floor target") << -4000 << -5000 << 11 << -4000 << 11 << true;
        QTest::newRow("equal target ends at once") << -700 << -700 << 31 << -700 << 31 << true;
        QTest::newRow("speed 0 slows to 300") << -2000 << 0 << 101 << -1960 << 300 << false;
        QTest::newRow("300 stays") << -2000 << 0 << 300 << -1960 << 300 << false;
    }
    void fadeStepTable() {
        QFETCH(int, current);
        QFETCH(int, target);
        QFETCH(int, interval);
        const FadeResult r = FadeStep(current, target, interval);
        QTEST(r.volume, "volume");
        QTEST(r.interval, "nextInterval");
        QTEST(r.finished, "finished");
    }

    // A full swing up takes 100 steps; the speeds' periods run from 101 ms (0) to 11 ms (9).
    void fullSwingTakesAHundredSteps() {
        int steps = 0;
        for (FadeResult r{-4000, 11, false}; !r.finished; ++steps)
            r = FadeStep(r.volume, 0, 11);
        QCOMPARE(steps, 100);
        QCOMPARE(FadeInterval(0), 101);
        QCOMPARE(FadeInterval(5), 51);
    }

    // A Change Volume cue starts a fade process with its task in its Tag; the next cue "After
    // Previous Cue Completes" starts when the fade ends, not before.
    void fadeChainsAtItsEnd() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        fx->setShow({PlayCue(a, {.autoStart = false, .volume = -4000, .end = 3}),
                     ActionCue(4, 0, {.autoStart = false, .volume = -2000, .speed = 9}),
                     ActionCue(8, 1, {.when = 2})});
        QVERIFY(fx->goAndSettle());
        QString tag;
        int interval = 0;
        QString runningWhileFading;
        int volumeWhenCue3 = 0;
        fx->when([&] { return fx->processes().fadeCount() == 1; },
                 [&] {
                     tag = fx->processes().fadeTag(1);
                     interval = fx->processes().fadeInterval(1);
                     runningWhileFading = fx->running();
                 },
                 0);
        fx->when([&] { return fx->has("Executing Cue 3."); },
                 [&] { volumeWhenCue3 = fx->player(0)->Volume(); }, 0);
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return fx->running() == QLatin1String("0"); }));
        QCOMPARE(tag, QStringLiteral("-2000/0"));
        QCOMPARE(interval, 11);
        QCOMPARE(runningWhileFading, QStringLiteral("1"));
        QCOMPARE(fx->player(0)->Volume(), -2000);
        QCOMPARE(volumeWhenCue3, -2000);
        QVERIFY(!IterationPending);
    }

    // Ticks by hand: speed 0 slows to 300 ms after its first tick and unmutes; a fade that
    // finishes after a Wait For End of Iteration starts nothing and clears the flag; a fade on
    // "Any Available" ends at its first tick as a finished fade, so it chains.
    void fadeTicksDrivenByHand() {
        fx->setShow({ActionCue(8, 1), ActionCue(8, 1, {.when = 2})});
        fx->cues().SelectRow(2);
        Processes& pr = fx->processes();
        MediaPlayer* p = fx->player(1);
        p->setFileName(fx->wav("a.wav", 1, 3.0));
        p->setVolume(-100);
        p->setMute(true);
        const int index = pr.LoadFadeProcess(QStringLiteral("-20/1"), 101);
        pr.tmrFader_Timer(index);
        QCOMPARE(p->Volume(), -60);
        QVERIFY(!p->Mute());
        QCOMPARE(pr.fadeInterval(index), 300);
        IterationPending = true;
        pr.tmrFader_Timer(index);
        QCOMPARE(p->Volume(), -20);
        QVERIFY(!pr.hasFade(index));
        QVERIFY(!IterationPending);
        QVERIFY(!fx->has("Executing Cue 2."));
        const int any = pr.LoadFadeProcess(QStringLiteral("-1000/4"), 11);
        pr.tmrFader_Timer(any);
        QVERIFY(!pr.hasFade(any));
        QVERIFY(fx->has("Executing Cue 2."));
        QVERIFY(!volumes().contains(-1000));
    }

    // The meters: colours by play state, the file label, the percentage (halves to even, not
    // clamped, 0% for a stretch without length), the position bar (refused values skipped) and
    // emptying a stopped player.
    void metersMirrorThePlayers() {
        Mixer& m = fx->mixer();
        MediaPlayer* p = fx->player(1);
        QLabel* percent = m.lblChannelPercent[1];
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), QColor(100, 100, 100));
        p->setFileName(fx->wav("a_rather_long_file_name_for_the_label.wav", 1, 3.0));
        p->setSelectionStart(1.0);
        p->setSelectionEnd(3.0);
        p->setCurrentPosition(1.5);
        p->Play();
        p->Pause();
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), QColor(255, 255, 0));
        QCOMPARE(m.lblChannelData[1]->text(), QStringLiteral(" a_rather_long_file_n"));
        QCOMPARE(percent->text(), QStringLiteral("25%"));
        QCOMPARE(bar(m.sldPosition[1]), QList<double>({1.0, 3.0, 1.5}));
        p->setCurrentPosition(0.5);
        m.tmrChannelUpdate_Timer();
        QCOMPARE(percent->text(), QStringLiteral("-25%"));
        QCOMPARE(m.sldPosition[1]->Value(), 1.5);
        p->setCurrentPosition(1.25);
        m.tmrChannelUpdate_Timer();
        QCOMPARE(percent->text(), QStringLiteral("12%"));
        p->setSelectionEnd(1.0);
        m.tmrChannelUpdate_Timer();
        QCOMPARE(percent->text(), QStringLiteral("0%"));
        p->setSelectionEnd(3.0);
        p->Play();
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), QColor(0, 200, 0));
        // Stopped: orange for one tick, and emptied.
        p->Stop();
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), QColor(200, 100, 0));
        QCOMPARE(p->FileName(), QString());
        QCOMPARE(m.lblChannelData[1]->text(), QString());
        QCOMPARE(bar(m.sldPosition[1]), QList<double>({0.0, 1.0, 0.0}));
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), QColor(100, 100, 100));
    }

    // Faders: the bottom mutes at the next tick, lifting unmutes at once, the meter moves the
    // fader to the volume; a buffering channel stays muted until its fader is dragged; holding
    // a fader freezes the meters.
    void fadersAndMute() {
        Mixer& m = fx->mixer();
        MediaPlayer* p = fx->player(2);
        QSlider* fader = m.sldMixer[2];
        p->setFileName(fx->wav("a.wav", 1, 3.0));
        fader->setValue(4000);
        QCOMPARE(p->Volume(), -4000);
        m.tmrChannelUpdate_Timer();
        QVERIFY(p->Mute());
        fader->setValue(3000);
        QCOMPARE(p->Volume(), -3000);
        QVERIFY(!p->Mute());
        p->setVolume(-1200);
        m.tmrChannelUpdate_Timer();
        QCOMPARE(fader->value(), 1200);
        p->setMute(true);
        p->Tag = QStringLiteral("Buffer");
        m.tmrChannelUpdate_Timer();
        m.tmrChannelUpdate_Timer();
        QVERIFY(p->Mute());
        fader->setSliderDown(true);
        fader->setSliderPosition(1100);
        QVERIFY(!p->Mute());
        QCOMPARE(p->Volume(), -1100);
        fader->setSliderDown(false);
        QVERIFY(m.tmrChannelUpdate->isActive());
        QTest::mousePress(m.sldMixer[0], Qt::LeftButton);
        QVERIFY(!m.tmrChannelUpdate->isActive());
        QTest::mouseRelease(m.sldMixer[0], Qt::LeftButton);
        QVERIFY(m.tmrChannelUpdate->isActive());
    }

    // The master fader drives all four channels while the link box is ticked; dragging a
    // channel fader unticks it.
    void masterLink() {
        Mixer& m = fx->mixer();
        m.sldLinkChannels->setValue(1000);
        QCOMPARE(volumes(), QList<int>(4, 0));
        m.chkLinkChannels->click();
        QCOMPARE(volumes(), QList<int>(4, -1000));
        m.sldLinkChannels->setValue(2500);
        QCOMPARE(volumes(), QList<int>(4, -2500));
        m.tmrChannelUpdate_Timer();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m.sldMixer[i]->value(), 2500);
        m.sldMixer[2]->setSliderDown(true);
        m.sldMixer[2]->setSliderPosition(400);
        m.sldMixer[2]->setSliderDown(false);
        QVERIFY(!m.chkLinkChannels->isChecked());
        m.sldLinkChannels->setValue(100);
        QCOMPARE(volumes(), QList<int>({-2500, -2500, -400, -2500}));
    }

    // "Running Processes:" counts cue and fade processes; "Hide Mixer" first makes the window
    // 8115 twips high, and "Show Mixer" brings the panel back.
    void runningCountAndMixerToggle() {
        fx->processes().LoadFadeProcess(QStringLiteral("0/9"), 1000);
        fx->processes().LoadShowProcess(QStringLiteral("1"), 1);
        fx->processes().LoadShowProcess(QStringLiteral("2"), 2);
        QCOMPARE(fx->running(), QStringLiteral("3"));
        fx->processes().UnloadAllCues();
        fx->processes().UnloadAllFades();
        QCOMPARE(fx->running(), QStringLiteral("0"));

        Frame& f = fx->frame();
        fx->form->SetOuterHeightTw(7000);
        f.cmdMixer->click();
        QVERIFY(fx->form->OuterHeightTw() >= 8115);
        QVERIFY(f.pctMixer->isHidden());
        QVERIFY(f.lblMixer->isHidden());
        QCOMPARE(f.cmdMixer->text(), QStringLiteral("Show Mixer"));
        f.cmdMixer->click();
        QVERIFY(!f.pctMixer->isHidden());
        QVERIFY(!f.lblMixer->isHidden());
        QCOMPARE(f.cmdMixer->text(), QStringLiteral("Hide Mixer"));
    }
};

QTEST_MAIN(FadeMixerTest)
#include "test_fade_mixer.moc"
