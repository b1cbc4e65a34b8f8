// Volume fades (the step as a table, and fade processes on the real window) and the mixer:
// meters, faders, the master link and the mixer toggle.

#include "PlaybackFixture.h"
#include "core/Twips.h"
#include "playback/FadeStep.h"

#include <QCheckBox>
#include <QSlider>
#include <QTreeView>

using namespace playtest;

class FadeMixerTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

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

    // Full swings: 100 steps each way; FadeInterval gives the speeds' periods.
    void fullSwingTakesAHundredSteps() {
        int v = -4000, steps = 0;
        for (FadeResult r{v, 11, false}; !r.finished; ++steps) {
            r = FadeStep(v, 0, 11);
            v = r.volume;
        }
        QCOMPARE(steps, 100);
        QCOMPARE(FadeInterval(0), 101);
        QCOMPARE(FadeInterval(9), 11);
        QCOMPARE(FadeInterval(5), 51);
    }

    // A Change Volume cue starts a fade process with its task in its Tag; the next cue "After
    // Previous Cue Completes" starts when the fade ends, not before.
    void fadeChainsAtItsEnd() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        CueSpec s;
        s.end = 3;
        s.volume = -4000;
        s.autoStart = false;
        CueSpec fade;
        fade.channel = 0;
        fade.speed = 9;
        fade.volume = -2000;
        fade.autoStart = false;
        CueSpec after;
        after.when = 2;
        fx->setShow({PlayCue(a, s), ActionCue(4, 0, fade), ActionCue(8, 1, after)});
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return fx->processes().showCount() == 0; }));
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
        fx->when([&] { return fx->statusTexts().contains(QStringLiteral("Executing Cue 3.")); },
                 [&] { volumeWhenCue3 = fx->player(0)->Volume(); }, 0);
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return fx->processes().fadeCount() == 0 &&
                                         fx->processes().showCount() == 0; }));
        QCOMPARE(tag, QStringLiteral("-2000/0"));
        QCOMPARE(interval, 11);
        QCOMPARE(runningWhileFading, QStringLiteral("1"));
        QCOMPARE(fx->player(0)->Volume(), -2000);
        QCOMPARE(volumeWhenCue3, -2000);
        QVERIFY(!IterationPending);
        QCOMPARE(fx->running(), QStringLiteral("0"));
    }

    // After a Wait For End of Iteration, a finishing fade starts nothing and clears the flag;
    // speed 0 slows to 300 ms after its first tick; a fade on "Any Available" ends at once.
    void fadeTicksDrivenByHand() {
        fx->setShow({ActionCue(8, 1, CueSpec{})});
        fx->cues().SelectRow(1);
        fx->cues().model().setSubValue(0, kWhen, StoredValue::text(QStringLiteral("2")));
        const QString a = fx->wav("a.wav", 1, 3.0);
        fx->player(1)->setFileName(a);
        fx->player(1)->setVolume(-100);
        fx->player(1)->setMute(true);
        const int index = fx->processes().LoadFadeProcess(QStringLiteral("-20/1"), 101);
        fx->processes().tmrFader_Timer(index);
        QCOMPARE(fx->player(1)->Volume(), -60);
        QVERIFY(!fx->player(1)->Mute());
        QCOMPARE(fx->processes().fadeInterval(index), 300);
        IterationPending = true;
        const int history = fx->statusTexts().size();
        fx->processes().tmrFader_Timer(index);
        QCOMPARE(fx->player(1)->Volume(), -20);
        QVERIFY(!fx->processes().hasFade(index));
        QVERIFY(!IterationPending);
        QCOMPARE(fx->statusTexts().size(), history); // no cue was started
        // "Any Available": finished at its first tick, as a finished fade (it chains).
        const int any = fx->processes().LoadFadeProcess(QStringLiteral("-1000/4"), 11);
        fx->processes().tmrFader_Timer(any);
        QVERIFY(!fx->processes().hasFade(any));
        QVERIFY(fx->statusTexts().mid(history).contains(QStringLiteral("Executing Cue 1.")) ==
                false); // row 1 is never fired by a process
        fx->cues().model().setRows({TextRow(ActionCue(8, 1, CueSpec{})),
                                    TextRow(ActionCue(8, 1, CueSpec{2}))});
        fx->cues().SelectRow(2);
        const int any2 = fx->processes().LoadFadeProcess(QStringLiteral("-1000/4"), 11);
        fx->processes().tmrFader_Timer(any2);
        QVERIFY(fx->statusTexts().contains(QStringLiteral("Executing Cue 2.")));
        for (int i = 0; i < 4; ++i)
            QVERIFY(fx->player(i)->Volume() != -1000);
    }

    // The meters: colours by play state, emptying a stopped player, the file label, the
    // percentage (not clamped, 0% for an empty stretch) and the position bar.
    void metersMirrorThePlayers() {
        Mixer& m = fx->mixer();
        const QString a = fx->wav("a_rather_long_file_name_for_the_label.wav", 1, 3.0);
        MediaPlayer* p = fx->player(1);
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), Mixer::ClosedColour());
        p->setFileName(a);
        p->setSelectionStart(1.0);
        p->setSelectionEnd(3.0);
        p->setCurrentPosition(1.5);
        p->Play();
        p->Pause();
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), Mixer::PausedColour());
        QCOMPARE(m.lblChannelData[1]->text(), QStringLiteral(" a_rather_long_file_n"));
        QCOMPARE(m.lblChannelPercent[1]->text(), QStringLiteral("25%"));
        QCOMPARE(m.sldPosition[1]->Min(), 1.0);
        QCOMPARE(m.sldPosition[1]->Max(), 3.0);
        QCOMPARE(m.sldPosition[1]->Value(), 1.5);
        // Outside the stretch: not clamped; the bar refuses the value and keeps its own.
        p->setCurrentPosition(0.5);
        m.tmrChannelUpdate_Timer();
        QCOMPARE(m.lblChannelPercent[1]->text(), QStringLiteral("-25%"));
        QCOMPARE(m.sldPosition[1]->Value(), 1.5);
        // Halves go to the even neighbour: 12.5% shows 12%.
        p->setCurrentPosition(1.25);
        m.tmrChannelUpdate_Timer();
        QCOMPARE(m.lblChannelPercent[1]->text(), QStringLiteral("12%"));
        // A stretch without length.
        p->setSelectionEnd(1.0);
        m.tmrChannelUpdate_Timer();
        QCOMPARE(m.lblChannelPercent[1]->text(), QStringLiteral("0%"));
        p->setSelectionEnd(3.0);
        p->Play();
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), Mixer::PlayingColour());
        // Stopped: orange for one tick and emptied; the percentage keeps its text.
        p->Stop();
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), Mixer::StoppedColour());
        QCOMPARE(p->FileName(), QString());
        QCOMPARE(m.lblChannelData[1]->text(), QString());
        QCOMPARE(m.sldPosition[1]->Min(), 0.0);
        QCOMPARE(m.sldPosition[1]->Max(), 1.0);
        QCOMPARE(m.sldPosition[1]->Value(), 0.0);
        QVERIFY(m.lblChannelPercent[1]->text().endsWith(QLatin1Char('%')));
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), Mixer::ClosedColour());
        // Every control is reachable by its text or name.
        QCOMPARE(m.sldMixer[1]->accessibleName(), QStringLiteral("Channel 2 Fader"));
        QCOMPARE(m.sldPosition[3]->accessibleName(), QStringLiteral("Channel 4 Position"));
        QCOMPARE(m.chkLinkChannels->accessibleName(), QStringLiteral("Link Channels"));
    }

    // Faders: the bottom mutes at the next tick, lifting unmutes at once; a buffering channel
    // stays muted until its fader is moved by hand; holding a fader freezes the meters.
    void fadersAndMute() {
        Mixer& m = fx->mixer();
        MediaPlayer* p = fx->player(2);
        p->setFileName(fx->wav("a.wav", 1, 3.0));
        m.sldMixer[2]->setValue(4000);
        QCOMPARE(p->Volume(), -4000);
        m.tmrChannelUpdate_Timer();
        QVERIFY(p->Mute());
        m.sldMixer[2]->setValue(3000);
        QCOMPARE(p->Volume(), -3000);
        QVERIFY(!p->Mute());
        // The meter moves the fader to the player's volume.
        p->setVolume(-1200);
        m.tmrChannelUpdate_Timer();
        QCOMPARE(m.sldMixer[2]->value(), 1200);
        // Buffering: stays muted through the ticks.
        p->setMute(true);
        p->Tag = QStringLiteral("Buffer");
        m.tmrChannelUpdate_Timer();
        m.tmrChannelUpdate_Timer();
        QVERIFY(p->Mute());
        m.sldMixer[2]->setSliderDown(true);
        m.sldMixer[2]->setSliderPosition(1100); // the operator drags it
        QVERIFY(!p->Mute());
        QCOMPARE(p->Volume(), -1100);
        m.sldMixer[2]->setSliderDown(false);
        // Holding any fader pauses the meter tick.
        QVERIFY(m.tmrChannelUpdate->isActive());
        QTest::mousePress(m.sldMixer[0], Qt::LeftButton);
        QVERIFY(!m.tmrChannelUpdate->isActive());
        QTest::mouseRelease(m.sldMixer[0], Qt::LeftButton);
        QVERIFY(m.tmrChannelUpdate->isActive());
    }

    // The master fader drives all four channels while the link box is ticked; moving a
    // channel fader unticks it.
    void masterLink() {
        Mixer& m = fx->mixer();
        m.sldLinkChannels->setValue(1000);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(fx->player(i)->Volume(), 0); // not linked yet
        m.chkLinkChannels->click();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(fx->player(i)->Volume(), -1000);
        m.sldLinkChannels->setValue(2500);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(fx->player(i)->Volume(), -2500);
        m.tmrChannelUpdate_Timer();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m.sldMixer[i]->value(), 2500);
        m.sldMixer[2]->setSliderDown(true);
        m.sldMixer[2]->setSliderPosition(400);
        m.sldMixer[2]->setSliderDown(false);
        QVERIFY(!m.chkLinkChannels->isChecked());
        m.sldLinkChannels->setValue(100);
        QCOMPARE(fx->player(0)->Volume(), -2500);
        QCOMPARE(fx->player(2)->Volume(), -400);
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
        QVERIFY(fx->form->OuterHeightTw() >= 7000);
        QVERIFY(f.pctMixer->isHidden());
        QVERIFY(f.lblMixer->isHidden());
        QCOMPARE(f.cmdMixer->text(), QStringLiteral("Show Mixer"));
        f.cmdMixer->click();
        QVERIFY(!f.pctMixer->isHidden());
        QVERIFY(!f.lblMixer->isHidden());
        QCOMPARE(f.cmdMixer->text(), QStringLiteral("Hide Mixer"));
        QVERIFY(fx->form->OuterHeightTw() >= 8115);
    }
};

QTEST_MAIN(FadeMixerTest)
#include "test_fade_mixer.moc"
