// Volume fades, the meters, the faders, the master link and the mixer toggle.

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

    void fadeStepTable() {
        const struct {
            const char* name;
            int current, target, interval, volume, next;
            bool finished;
        } rows[] = {{"up one step", -4000, 0, 11, -3960, 11, false},
                    {"up jumps to full near the top", -60, -50, 11, -50, 11, true},
                    {"up from -100 first", -100, -50, 11, -60, 11, false},
                    {"up lands on target", -1240, -1200, 51, -1200, 51, true},
                    {"down one step", 0, -4000, 51, -40, 51, false},
                    {"down to floor", -3980, -6000, 51, -4000, 51, true},
                    {"below floor target", -4000, -5000, 11, -4000, 11, true},
                    {"equal target ends at once", -700, -700, 31, -700, 31, true},
                    {"speed 0 slows to 300", -2000, 0, 101, -1960, 300, false},
                    {"300 stays", -2000, 0, 300, -1960, 300, false}};
        for (const auto& r : rows) {
            const FadeResult f = FadeStep(r.current, r.target, r.interval);
            QVERIFY2(f.volume == r.volume && f.interval == r.next && f.finished == r.finished,
                     r.name);
        }
    }

    void fadeChainsAtItsEnd() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        fx->setShow({PlayCue(a, {.autoStart = false, .volume = -4000, .end = 3}),
                     ActionCue(4, 0, {.autoStart = false, .volume = -2000, .speed = 9}),
                     ActionCue(8, 1, {.when = 2})});
        QVERIFY(fx->goAndSettle());
        int interval = 0;
        QString runningWhileFading;
        int volumeWhenCue3 = 0;
        fx->when([&] { return fx->processes().fadeCount() == 1; },
                 [&] {
                     interval = fx->processes().fadeInterval(1);
                     runningWhileFading = fx->running();
                 },
                 0);
        fx->when([&] { return fx->has("Executing Cue 3."); },
                 [&] { volumeWhenCue3 = fx->player(0)->Volume(); }, 0);
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return fx->running() == QLatin1String("0"); }));
        QCOMPARE(interval, 11);
        QCOMPARE(runningWhileFading, QStringLiteral("1"));
        QCOMPARE(volumeWhenCue3, -2000);
        QCOMPARE(fx->player(0)->Volume(), -2000);
    }

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
        p->Stop();
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), QColor(200, 100, 0));
        QCOMPARE(p->FileName(), QString());
        QCOMPARE(m.lblChannelData[1]->text(), QString());
        QCOMPARE(bar(m.sldPosition[1]), QList<double>({0.0, 1.0, 0.0}));
        m.tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(m.lblChannels[1]), QColor(100, 100, 100));
    }

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

    void runningCountAndMixerToggle() {
        fx->processes().LoadFadeProcess(QStringLiteral("0/9"), 1000);
        fx->processes().LoadShowProcess(QStringLiteral("1"), 1);
        fx->processes().LoadShowProcess(QStringLiteral("2"), 2);
        QCOMPARE(fx->running(), QStringLiteral("3"));
        Frame& f = fx->frame();
        f.cmdMixer->click();
        QVERIFY(f.pctMixer->isHidden() && f.lblMixer->isHidden());
        QCOMPARE(f.cmdMixer->text(), QStringLiteral("Show Mixer"));
        fx->form->SetOuterHeightTw(7000);
        f.cmdMixer->click();
        QVERIFY(!f.pctMixer->isHidden() && !f.lblMixer->isHidden());
        QCOMPARE(f.cmdMixer->text(), QStringLiteral("Hide Mixer"));
        QCOMPARE(fx->form->OuterHeightTw(), 8115);
    }
};

QTEST_MAIN(FadeMixerTest)
#include "test_fade_mixer.moc"
