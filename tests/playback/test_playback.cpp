// GO, the cue process and its nine actions, fades and the mixer, on the real main window.

#include "PlaybackFixture.h"
#include "playback/FadeStep.h"
#include "playback/PlaybackWaits.h"

using namespace playtest;

class PlaybackTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

    QList<int> volumes() {
        return {fx->player(0)->Volume(), fx->player(1)->Volume(), fx->player(2)->Volume(),
                fx->player(3)->Volume()};
    }
    static QList<double> bar(const PositionBar* b) { return {b->Min(), b->Max(), b->Value()}; }

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    // The next cue follows the end of the sound; the chaining from the last row never fires row 1.
    void goPlaysTheSelectedCue() {
        const QString a = fx->wav("a.wav", 3, 4.0);
        const QString b = fx->wav("b.wav", 5, 2.0);
        fx->setShow({PlayCue(a, {.channel = 1, .volume = -600, .start = 1.5, .end = 2.1}),
                     PlayCue(b, {.when = 2, .channel = 2, .end = 2})});
        QString runningWhilePlaying; // cue 1 waits for the end of its sound
        fx->when([&] { return fx->player(1)->PlayState() == 2; },
                 [&] { runningWhilePlaying = fx->running(); });
        const std::int64_t before = fx->rendered;
        fx->operatorGo();
        QCOMPARE(fx->colourOf("Executing Cue 1."), QColor(0, 255, 0));
        const Heard h = fx->heardAfter(before, kSampleRate / 10);
        QCOMPARE(h.id, 3);
        QVERIFY2(std::abs(h.t - 1.6) < 0.02, qPrintable(QString::number(h.t)));
        QVERIFY(std::abs(h.gain - std::pow(10.0, -600 / 2000.0)) < 0.01);
        QCOMPARE(runningWhilePlaying, QStringLiteral("1"));
        QVERIFY(fx->waitFor([&] { return fx->player(2)->PlayState() == 2; }));
        QCOMPARE(fx->heardAfter(before, kSampleRate).id, 5);
        QCOMPARE(fx->selected(), 1);
        QVERIFY(fx->waitFor([&] { return fx->running() == QLatin1String("0"); }));
        std::int64_t end = fx->firstSound(before);
        while (fx->heard(end).id == 3)
            ++end;
        QVERIFY2(end - fx->firstSound(before) > kSampleRate * 55 / 100, "cut short");
        const Heard next = fx->heard(fx->firstSound(end) + 200);
        QCOMPARE(next.id, 5);
        QVERIFY(next.t < 0.05);
        QCOMPARE(fx->statusTexts().filter(QStringLiteral("Executing Cue ")).size(), 2);
        // A missing file ends the process without chaining; an unplayable one lets the show go on.
        const QString bare = fx->wav(QStringLiteral("ShowFiles/bare.wav"), 4, 2.0);
        const QString junk = fx->wav("junk.wav", 1, 1.0);
        QVERIFY(QFile::resize(junk, 30)); // cut inside its header
        const CueSpec ch2{.channel = 1, .end = 2};
        fx->setShow({PlayCue("bare.wav", {.end = 2}), PlayCue("gone.wav", ch2), PlayCue(junk, ch2),
                     PlayCue("bare.wav", ch2)});
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->FileName(), bare);
        QCOMPARE(fx->colourOf("Warning:  File Does Not Exist!  gone.wav"), QColor(255, 0, 0));
        QVERIFY(!fx->has("Executing Cue 3."));
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->colourOf("Warning:  File Can Not Be Played!  junk.wav"), QColor(255, 0, 0));
        QVERIFY(fx->has("Executing Cue 4."));
        QCOMPARE(fx->player(1)->FileName(), bare);
    }

    void firstRowNeedsTheOperatorGoBlinksAndKeysSelect() {
        fx->setShow(QList<Fields>(14, ActionCue(8, 1, {.autoStart = false})));
        QPushButton* go = fx->form->frame().cmdGo;
        Transport& t = fx->transport();
        QCOMPARE(BackColour(go), QColor(0, 192, 0));
        // After Stop a keyboard GO on row 2 runs but leaves the halt flags set.
        t.Command3_Click();
        fx->cues().SelectRow(2);
        t.cmdGo_Click();
        QVERIFY(fx->has("Executing Cue 2."));
        QVERIFY(ShowHalted && DelayHalted);
        QVERIFY(Fixture::waitFor([&] { return go->isEnabled(); }));
        fx->cues().SelectRow(1);
        QTest::mouseClick(go, Qt::LeftButton);
        QTest::mouseClick(go, Qt::LeftButton);
        QVERIFY(!ShowHalted && !DelayHalted);
        QCOMPARE(fx->statusTexts().count(QStringLiteral("Executing Cue 1.")), 1);
        QCOMPARE(fx->selected(), 2);
        QVERIFY(Fixture::waitFor([&] { return go->isEnabled(); }));
        QCOMPARE(fx->form->focusWidget(), static_cast<QWidget*>(go));
        QVERIFY(t.tmrBlinkGo->isActive());
        SetBackColour(go, QColor(0, 192, 0));
        t.tmrBlinkGo_Timer();
        QCOMPARE(BackColour(go), QColor(0, 200, 0));
        t.tmrBlinkGo_Timer();
        QCOMPARE(BackColour(go), QColor(0, 255, 0));
        t.Command3_Click();
        QVERIFY(t.tmrBlinkGo->isActive());
        fx->cues().SelectRow(1);
        t.ListView1_DblClick();
        QCOMPARE(fx->statusTexts().count(QStringLiteral("Executing Cue 1.")), 2);
        QVERIFY(!t.tmrBlinkGo->isActive());
        QCOMPARE(BackColour(go), QColor(0, 200, 0));
        fx->cues().SelectRow(1);
        go->setFocus();
        // Each key, and the cue selected after it: 129 is no cue, "3x1" no number.
        auto type = [&](std::initializer_list<std::pair<char, int>> keys) {
            for (auto [key, selected] : keys) {
                QTest::keyClick(go, key);
                QCOMPARE(fx->selected(), selected);
            }
        };
        type({{'-', 14}, {'+', 1}, {'+', 2}, {'1', 1}, {'2', 12}, {'9', 12}});
        QVERIFY(t.tmrJumpToCue->isActive());
        t.tmrJumpToCue_Timer();
        type({{'3', 3}, {'x', 3}, {'1', 3}});
        QVERIFY(!fx->has("Executing Cue 3."));
        fx->cues().SelectRow(0);
        t.cmdNext_Click();
        QCOMPARE(fx->selected(), 1);
        fx->cues().SelectRow(0);
        t.cmdPrev_Click();
        QCOMPARE(fx->selected(), 14);
        fx->cues().SelectRow(0);
        QVERIFY(Fixture::waitFor([&] { return fx->processes().showCount() == 0; }));
        fx->operatorGo();
        QCOMPARE(fx->processes().showCount(), 0);
    }

    // Trigger addresses rows by position and never fires row 1 itself.
    void triggerAndSimpleActions() {
        const CueSpec onGo{.autoStart = false};
        fx->setShow({ActionCue(8, 1), ActionCue(5, 4), ActionCue(8, 1, onGo), ActionCue(8, 1),
                     ActionCue(5, 1, onGo)},
                    2);
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->has("Executing Cue 4."));
        QVERIFY(!fx->has("Executing Cue 3."));
        QCOMPARE(fx->selected(), 5);
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->selected(), 1);
        QVERIFY(!fx->has("Executing Cue 1."));

        const QString a = fx->wav("a.wav", 1, 3.0);
        const CueSpec on1{.autoStart = false, .end = 3};
        const CueSpec on3{.autoStart = false, .channel = 2, .rate = 1.5, .end = 3};
        fx->setShow({PlayCue(a, on1), PlayCue(a, on3), ActionCue(1, 0, on1),
                     ActionCue(6, 0, {.autoStart = false, .channel = 2, .rate = 0.5}),
                     ActionCue(2, 0, on3)});
        for (int i = 0; i < 4; ++i)
            QVERIFY(fx->goAndSettle());
        const std::int64_t at = fx->rendered; // channel 3 alone, at half speed
        QVERIFY(fx->waitFor([&] { return fx->rendered > at + kSampleRate * 2 / 5; }));
        QVERIFY(std::abs(fx->heard(at + kSampleRate * 2 / 5).t - fx->heard(at).t - 0.2) < 0.02);
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->PlayState(), 1);
        fx->mixer().tmrChannelUpdate_Timer(); // empties the stopped channel
        QCOMPARE(fx->player(2)->FileName(), QString());
        // A loaded show whose numbers are not its positions plays the row GO fired.
        const QString b = fx->wav("b.wav", 2, 3.0);
        fx->setShow({PlayCue(a, {.number = "2.5", .autoStart = false}),
                     PlayCue(b, {.number = "40", .autoStart = false, .end = 2})},
                    2);
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->FileName(), b);
        QCOMPARE(fx->cues().ListView1Tag, QStringLiteral("40"));
        // Only Play Sound picks a channel for "Any Available": the lowest stopped or closed one,
        // else channel 1. A fade on it ends at its first tick as a finished fade: the cue after it
        // follows.
        const CueSpec any{.channel = 4, .volume = -2000, .speed = 5, .end = 3};
        fx->setShow({PlayCue(a, {.end = 3}), ActionCue(1, 0, any), ActionCue(3, 0, any),
                     ActionCue(4, 0, any), Cue(7, "0", a, {.when = 2, .channel = 4, .end = 3}),
                     ActionCue(6, 0, any), ActionCue(2, 0, any),
                     PlayCue(b, {.channel = 4, .end = 3})});
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->waitFor([&] { return fx->running() == QLatin1String("0"); }, 1000));
        QCOMPARE(fx->player(1)->FileName(), b);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(fx->player(i)->PlayState(), i < 2 ? 2 : 6);
            QCOMPARE(fx->player(i)->Volume(), 0);
            if (i < 2) continue;
            fx->player(i)->setFileName(a);
            fx->player(i)->Play();
        }
        fx->player(2)->Pause();
        fx->cues().SelectRow(8);
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->FileName(), b);
        QCOMPARE(fx->statusLine(), QStringLiteral("CUE 8 WARNING:  No Channels Available!"));
        QVERIFY(!fx->has(fx->statusLine()));
        fx->mixer().tmrChannelUpdate->stop(); // channel 4 stays loaded and stopped: free
        fx->player(3)->Stop();
        QVERIFY(fx->goAndSettle(8));
        QCOMPARE(fx->player(3)->FileName(), b);
    }

    // The iteration wait ends at the mark, on a wrap without passing it (tolerance 0) and on a
    // paused channel. A Delay lets the next cue start along with it; Stop ends it.
    void iterationWaitDelayAndBuffering() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        const CueSpec loop{.autoStart = false, .count = 0, .end = 1.5};
        const CueSpec wait{.count = 0, .end = 1.5};
        fx->setShow({PlayCue(a, loop), ActionCue(3, 400, wait), ActionCue(2, 0, wait)});
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->goAndSettle(0, 4000));
        QVERIFY(fx->has("Executing Cue 3 - Awaiting end of loop iteration..."));
        QVERIFY(IterationPending);
        QVERIFY(fx->player(0)->PlayState() != 2);
        std::int64_t last = fx->rendered + kSampleRate / 20; // cue 3 stopped the loop 0.4 s early
        QVERIFY(fx->waitFor([&] { return fx->rendered > last; }));
        while (fx->heard(last).id != 1)
            --last;
        const double stoppedAt = fx->heard(last).t;
        QVERIFY2(stoppedAt > 1.1 && stoppedAt < 1.45, qPrintable(QString::number(stoppedAt)));

        fx->setShow({PlayCue(a, loop), ActionCue(3, 0, wait), ActionCue(2, 0, wait)});
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->goAndSettle(0, 4000));
        QVERIFY(fx->player(0)->PlayState() != 2);

        fx->setShow({PlayCue(a, loop), ActionCue(1, 0, loop), ActionCue(3, 0, wait)});
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->goAndSettle(0, 1000));
        fx->setShow({ActionCue(8, 400), ActionCue(8, 1, {.when = 0}), ActionCue(8, 1)});
        QElapsedTimer t;
        t.start();
        QVERIFY(fx->goAndSettle());
        QVERIFY(t.elapsed() >= 400);
        const QStringList h = fx->statusTexts();
        QVERIFY(h.indexOf(QStringLiteral("Executing Cue 2.")) <
                h.lastIndexOf(QStringLiteral("Delaying:  ")));
        QVERIFY(h.contains(QStringLiteral("Executing Cue 3.")));

        fx->setShow({ActionCue(8, 1500), ActionCue(8, 1)});
        QTimer::singleShot(400, fx->form.get(), [&] { fx->transport().Command3_Click(); });
        const qsizetype seen = fx->statusTexts().size();
        t.restart();
        QVERIFY(fx->goAndSettle());
        QVERIFY(t.elapsed() < 1400);
        QVERIFY(!fx->statusTexts().mid(seen).contains(QStringLiteral("Executing Cue 2.")));
        QCOMPARE(fx->running(), QStringLiteral("0"));
        // A Play after the buffering starts the buffered sound; a Play during it interrupts it.
        const QString c = fx->wav("c.wav", 6, 4.0);
        const CueSpec s{.autoStart = false, .channel = 1, .start = 0.5, .end = 4};
        const QList<Fields> show{Cue(7, "0", c, s), PlayCue(c, s)};
        fx->setShow(show);
        MediaPlayer* p = fx->player(1);
        double preRoll = 0; // the channel's position shown while it buffers
        fx->when([&] { return p->Tag == QLatin1String("Buffer"); },
                 [&] { preRoll = p->CurrentPosition(); });
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->has("Channel 2 : Buffering..."));
        QCOMPARE(fx->colourOf("Channel 2 : Buffering Complete."), QColor(0, 255, 0));
        QVERIFY2(preRoll >= 3.5, qPrintable(QString::number(preRoll)));
        QCOMPARE(p->PlayState(), 1);
        QCOMPARE(p->CurrentPosition(), 0.0);
        // The meters keep the buffered channel muted while the status line is restored.
        QVERIFY(fx->waitFor([&] { return !fx->statusLine().contains("Buffer"); }, 3000));
        QVERIFY(p->Mute());
        const std::int64_t before = fx->rendered;
        QVERIFY(fx->goAndSettle());
        QCOMPARE(p->PlayState(), 2);
        QVERIFY(!p->Mute() && p->Tag.isEmpty());
        const Heard heard = fx->heardAfter(before, 500);
        QCOMPARE(heard.id, 6);
        QVERIFY(std::abs(heard.t - 0.51) < 0.02);
        fx->transport().Command3_Click();
        QVERIFY(fx->channelsEmpty());
        fx->when([&] { return p->Tag == QLatin1String("Buffer"); }, [&] { fx->operatorGo(2); });
        QVERIFY(fx->goAndSettle());
        const QString interrupted = QStringLiteral("Channel 2 : Buffering Interrupted.");
        QVERIFY(fx->waitFor([&] { return fx->has(interrupted); }));
        QCOMPARE(fx->colourOf(interrupted), QColor(255, 255, 0));
        QVERIFY(p->PlayState() != 1);
        QVERIFY(!p->Mute() && p->Tag.isEmpty());
    }

    // Space, Return and the keypad's Enter on GO fire the selected cue, but are no operator's
    // GO; so is no press that does not click (GO held disabled after a GO, another button,
    // released off GO): the next GO a process gives neither fires row 1 nor ends the halt.
    // A left click does, and so does the second press of a double click.
    void onlyTheOperatorsClickIsTheOperatorsGo() {
        fx->setShow(QList<Fields>(3, ActionCue(8, 1, {.autoStart = false})));
        QPushButton* go = fx->form->frame().cmdGo;
        Transport& t = fx->transport();
        auto ready = [&](int row) {
            QVERIFY(Fixture::waitFor([&] { return go->isEnabled(); }));
            fx->cues().SelectRow(row);
            go->setFocus();
        };
        auto fired = [&](int row) {
            return fx->statusTexts().count(QStringLiteral("Executing Cue %1.").arg(row));
        };
        t.Command3_Click();
        const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
            {Qt::Key_Space, Qt::NoModifier},
            {Qt::Key_Return, Qt::NoModifier},
            {Qt::Key_Enter, Qt::KeypadModifier}};
        for (int k = 0; k < 3; ++k) {
            ready(2);
            QTest::keyClick(go, keys[k].first, keys[k].second);
            QCOMPARE(fired(2), k + 1);
            QCOMPARE(fx->selected(), 3);
            ready(1);
            QTest::keyClick(go, keys[k].first, keys[k].second);
            QCOMPARE(fired(1), 0);
            QVERIFY(ShowHalted && DelayHalted);
        }
        QVERIFY(t.cmdGoTag.isEmpty());
        const QPoint in = go->rect().center(), off = go->rect().bottomRight() + QPoint(40, 40);
        auto processGo = [&] { // as a cue or fade process starts the selected cue
            fx->cues().SelectRow(1);
            t.cmdGo_Click();
            QCOMPARE(fired(1), 0);
            QVERIFY(ShowHalted && DelayHalted);
        };
        ready(2);
        QTest::mouseClick(go, Qt::LeftButton, {}, in); // fires row 2 and holds GO disabled
        QTest::qWait(50);
        QVERIFY(!go->isEnabled());
        t.Command3_Click();
        QTest::mousePress(go, Qt::LeftButton, {}, in);
        processGo();
        QTest::mouseRelease(go, Qt::LeftButton, {}, in);
        for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
            ready(2);
            QTest::mousePress(go, other, {}, in);
            processGo();
            QTest::mouseRelease(go, other, {}, in);
        }
        ready(2);
        QTest::mousePress(go, Qt::LeftButton, {}, in);
        QTest::mouseMove(go, off);
        QTest::mouseRelease(go, Qt::LeftButton, {}, off);
        processGo();
        QCOMPARE(fired(2), 4);
        ready(1);
        QTest::mouseClick(go, Qt::LeftButton, {}, in);
        QCOMPARE(fired(1), 1);
        QVERIFY(!ShowHalted && !DelayHalted);
        t.Command3_Click();
        ready(1);
        QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(in), go->mapToGlobal(QPointF(in)),
                           Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(go, &second);
        QTest::mouseRelease(go, Qt::LeftButton, {}, in);
        QCOMPARE(fired(1), 2);
        QVERIFY(!ShowHalted && !DelayHalted);
    }

    // Every move of a fader by the operator unlinks the master and sets the channel's volume;
    // the meter tick's moves do neither.
    void everyFaderMoveOfTheOperatorUnlinks() {
        Mixer& m = fx->mixer();
        QSlider* fader = m.sldMixer[1];
        MediaPlayer* p = fx->player(1);
        m.tmrChannelUpdate->stop();
        fader->resize(26, 200);
        const std::pair<const char*, std::function<void()>> moves[] = {
            {"drag",
             [&] {
                 fader->setSliderDown(true);
                 fader->setSliderPosition(1500);
                 fader->setSliderDown(false);
             }},
            {"click in the groove",
             [&] { QTest::mouseClick(fader, Qt::LeftButton, {}, QPoint(13, 195)); }},
            {"down", [&] { QTest::keyClick(fader, Qt::Key_Down); }},
            {"up", [&] { QTest::keyClick(fader, Qt::Key_Up); }},
            {"page down", [&] { QTest::keyClick(fader, Qt::Key_PageDown); }},
            {"page up", [&] { QTest::keyClick(fader, Qt::Key_PageUp); }},
            {"wheel", [&] {
                 QWheelEvent wheel(QPointF(13, 100), fader->mapToGlobal(QPointF(13, 100)), QPoint(),
                                   QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                                   false);
                 QApplication::sendEvent(fader, &wheel);
             }}};
        for (const auto& [name, move] : moves) {
            p->setVolume(-1000);
            m.tmrChannelUpdate_Timer(); // the meter moves the fader: still linked
            m.chkLinkChannels->setChecked(true);
            m.tmrChannelUpdate_Timer();
            QVERIFY2(fader->value() == 1000 && m.chkLinkChannels->isChecked(), name);
            move();
            QVERIFY2(fader->value() != 1000, name);
            QVERIFY2(p->Volume() == -fader->value(), name);
            QVERIFY2(!m.chkLinkChannels->isChecked(), name);
        }
    }

    // Stored values the cue's panel would not show end as the panel shows them: speed above 10
    // sets the volume at once, below 0 fades at speed 0, a target above full level fades to
    // full level, and a channel of several digits is no channel. Each ends, and the cue after
    // it follows.
    void changeVolumeTakesTheValuesAsThePanelShowsThem() {
        const struct {
            const char* name;
            int speed, volume, channel;
            QList<int> volumes;
        } rows[] = {{"speed 10", 10, -2000, 2, {-190, -190, -2000, -190}},
                    {"speed 11", 11, -2000, 0, {-2000, -190, -190, -190}},
                    {"speed below 0", -32768, -230, 1, {-190, -230, -190, -190}},
                    {"target above full", 9, 500, 1, {-190, 0, -190, -190}},
                    {"above full at once", 10, 500, 3, {-190, -190, -190, 0}},
                    {"channel 32767", 9, -2000, 32767, {-190, -190, -190, -190}}};
        for (const auto& r : rows) {
            fx->setShow({ActionCue(4, 0,
                                   {.autoStart = false,
                                    .channel = r.channel,
                                    .volume = r.volume,
                                    .speed = r.speed}),
                         ActionCue(8, 1, {.when = 2})});
            for (int i = 0; i < 4; ++i)
                fx->player(i)->setVolume(-190);
            const qsizetype before = fx->statusTexts().count(QStringLiteral("Executing Cue 2."));
            fx->operatorGo();
            QVERIFY2(fx->waitFor([&] { return fx->running() == QLatin1String("0"); }, 3000),
                     r.name);
            QVERIFY2(fx->statusTexts().count(QStringLiteral("Executing Cue 2.")) == before + 1,
                     r.name);
            QVERIFY2(volumes() == r.volumes, r.name);
        }
    }

    // A fade's ticks keep to the times counted from its start: a wait inside one of its
    // ticks does not hold the others up, and steps missed while the program was busy are
    // caught up with at once.
    void aFadeKeepsItsTimeThroughWaitsAndStalls() {
        Processes& pr = fx->processes();
        MediaPlayer* p = fx->player(1);
        p->setVolume(0);
        QElapsedTimer since;
        qint64 elapsed = 0;
        int volume = 1;
        QTimer::singleShot(0, fx->form.get(), [&] {
            QThread::msleep(200); // busy, no events
            QTest::qWait(400);    // a wait inside the first tick's
            elapsed = since.elapsed();
            volume = p->Volume();
        });
        since.start();
        const int index = pr.LoadFadeProcess(QStringLiteral("-4000/1"), FadeInterval(9));
        pr.tmrFader_Timer(index); // the first tick, now; its wait runs the one above
        // The ticks due in the meantime, less this first one, which steps after its wait.
        const qint64 due = elapsed / 11 - 1;
        QVERIFY2(-volume / 40 >= due - 8 && -volume / 40 <= due + 1,
                 qPrintable(QStringLiteral("%1 steps in %2 ms").arg(-volume / 40).arg(elapsed)));
        QVERIFY(fx->waitFor([&] { return !pr.hasFade(index); }, 3000));
        QCOMPARE(p->Volume(), -4000);
        // A fade that ends inside the wait of one of its ticks starts the cue after it once:
        // cue 2 (whose file is missing) and not cue 3 after it.
        fx->setShow(
            {ActionCue(8, 1), PlayCue("gone.wav", {.when = 2}), ActionCue(8, 1, {.when = 2})}, 2);
        QTimer::singleShot(0, fx->form.get(), [] { QTest::qWait(300); });
        pr.tmrFader_Timer(pr.LoadFadeProcess(QStringLiteral("-4200/1"), FadeInterval(9)));
        QVERIFY(fx->has("Executing Cue 2."));
        QVERIFY(!fx->has("Executing Cue 3."));
    }

    // A Play cue on a channel that plays its file takes over the running sound where it
    // stands: an end marker ahead of it ends the sound there; one behind it ends the pass at
    // once and loops back to the start marker; count, rate and volume apply at once. A fresh
    // load starts from silence, not at the channel's last volume, however soon it is mixed.
    void aPlayCueTakesOverTheRunningSound() {
        const QString a = fx->wav("a.wav", 3, 4.0);
        const QString b = fx->wav("b.wav", 5, 4.0);
        const CueSpec s{.autoStart = false, .channel = 1, .volume = -600};
        CueSpec loop = s;
        loop.volume = -1200;
        loop.rate = 1.25;
        loop.count = 0;
        loop.start = 0.5;
        loop.end = 1;
        fx->setShow({PlayCue(a, {.autoStart = false, .channel = 1}),
                     PlayCue(a, {.autoStart = false, .channel = 1, .volume = -600, .end = 1.5}),
                     PlayCue(b, s), PlayCue(b, loop)});
        MediaPlayer* p = fx->player(1);
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->waitFor([&] { return p->CurrentPosition() > 0.8; }));
        std::int64_t at = fx->rendered;
        QVERIFY(fx->goAndSettle());
        QVERIFY2(fx->waitFor([&] { return p->PlayState() != 2; }, 2500), "played on past 1.5 s");
        std::int64_t last = at;
        while (fx->heard(last + 1).id == 3)
            ++last;
        QVERIFY(std::abs(fx->heard(last).t - 1.5) < 0.005);
        QVERIFY(std::abs(fx->heard(at).t + double(last - at) / kSampleRate - 1.5) < 0.005);
        QVERIFY(std::abs(fx->heard(last - 4800).gain - std::pow(10.0, -0.3)) < 0.01);
        float startPeak = -1; // the first frames mixed the moment the new file plays
        const auto c = QObject::connect(p, &MediaPlayer::PlayStateChange, [&](int state) {
            std::vector<float> first(512);
            if (state == 2) fx->engine->renderOffline(first.data(), 256);
            for (float v : first)
                startPeak = std::max(startPeak, std::abs(v));
        });
        QVERIFY(fx->goAndSettle());
        QObject::disconnect(c);
        QCOMPARE(startPeak, 0.0f);
        QVERIFY(fx->waitFor([&] { return p->CurrentPosition() > 1.2; }));
        at = fx->rendered;
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->waitFor([&] { return fx->rendered > at + kSampleRate; }));
        std::int64_t wrap = at;
        while (wrap < at + kSampleRate / 5 && fx->heard(wrap).t > 1)
            ++wrap;
        QVERIFY2(wrap < at + kSampleRate / 5, "the pass ran on past its new end");
        for (int k = 1; k <= 3; ++k) { // 0.3 s later is 0.375 s on in the file
            const Heard h = fx->heard(wrap + k * kSampleRate * 3 / 10);
            QCOMPARE(h.id, 5);
            QVERIFY2(std::abs(h.t - (0.5 + std::fmod(0.375 * k, 0.5))) < 0.02,
                     qPrintable(QString::number(h.t)));
            QVERIFY(std::abs(h.gain - std::pow(10.0, -0.6)) < 0.01);
        }
    }

    void fadersMetersAndFades() {
        Mixer& m = fx->mixer();
        MediaPlayer* p = fx->player(2);
        QSlider* fader = m.sldMixer[2];
        p->setFileName(fx->wav("a.wav", 1, 3.0));
        fader->setValue(4000);
        m.tmrChannelUpdate_Timer();
        QVERIFY(p->Mute());
        fader->setValue(3000);
        QCOMPARE(p->Volume(), -3000);
        QVERIFY(!p->Mute());
        p->setVolume(-1200);
        m.tmrChannelUpdate_Timer();
        QCOMPARE(fader->value(), 1200);
        // A buffering channel stays muted until its fader is dragged.
        p->setMute(true);
        p->Tag = QStringLiteral("Buffer");
        m.tmrChannelUpdate_Timer();
        m.tmrChannelUpdate_Timer();
        QVERIFY(p->Mute());
        fader->setSliderDown(true); // the operator drags it
        fader->setSliderPosition(1100);
        fader->setSliderDown(false);
        QVERIFY(!p->Mute());
        QCOMPARE(p->Volume(), -1100);
        // The master drives every channel only while linked; dragging a channel unlinks.
        m.sldLinkChannels->setValue(1000);
        QCOMPARE(volumes(), QList<int>({0, 0, -1100, 0}));
        m.chkLinkChannels->click();
        QCOMPARE(volumes(), QList<int>(4, -1000));
        m.sldLinkChannels->setValue(2500);
        QCOMPARE(volumes(), QList<int>(4, -2500));
        fader->setSliderDown(true);
        fader->setSliderPosition(400);
        fader->setSliderDown(false);
        QVERIFY(!m.chkLinkChannels->isChecked());
        m.sldLinkChannels->setValue(100);
        QCOMPARE(volumes(), QList<int>({-2500, -2500, -400, -2500}));
        // Holding a fader stops the meters.
        QTest::mousePress(m.sldMixer[0], Qt::LeftButton);
        QVERIFY(!m.tmrChannelUpdate->isActive());
        QTest::mouseRelease(m.sldMixer[0], Qt::LeftButton);
        QVERIFY(m.tmrChannelUpdate->isActive());
        Frame& f = fx->form->frame();
        f.cmdMixer->click();
        QVERIFY(f.pctMixer->isHidden() && f.lblMixer->isHidden());
        QCOMPARE(f.cmdMixer->text(), QStringLiteral("Show Mixer"));
        f.cmdMixer->click();
        QVERIFY(!f.pctMixer->isHidden() && !f.lblMixer->isHidden());
        QCOMPARE(f.cmdMixer->text(), QStringLiteral("Hide Mixer"));
        m.tmrChannelUpdate->stop(); // ticks by hand only: a stopped player shows for one tick
        p = fx->player(1);
        QLabel* percent = m.lblChannelPercent[1];
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
        const QString a = fx->wav("a.wav", 1, 3.0);
        fx->setShow({PlayCue(a, {.autoStart = false, .volume = -4000, .end = 3}),
                     ActionCue(4, 0, {.autoStart = false, .volume = -2000, .speed = 9}),
                     ActionCue(8, 1, {.when = 2})});
        QVERIFY(fx->goAndSettle());
        int firstInterval = 0;
        QString runningWhileFading;
        int volumeWhenCue3 = 0;
        fx->when([&] { return fx->processes().fadeCount() == 1; },
                 [&] {
                     firstInterval = fx->processes().fadeInterval(1);
                     runningWhileFading = fx->running();
                 },
                 0);
        fx->when([&] { return fx->has("Executing Cue 3."); },
                 [&] { volumeWhenCue3 = fx->player(0)->Volume(); }, 0);
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return fx->running() == QLatin1String("0"); }));
        QCOMPARE(firstInterval, 11);
        QCOMPARE(runningWhileFading, QStringLiteral("1"));
        QCOMPARE(volumeWhenCue3, -2000);
        QCOMPARE(fx->player(0)->Volume(), -2000);
        // A fade with no cue process behind it chains nothing.
        fx->setShow({ActionCue(8, 1), ActionCue(8, 1, {.when = 2})}, 2);
        const qsizetype seen = fx->statusTexts().size();
        Processes& pr = fx->processes();
        p = fx->player(1);
        p->setFileName(a);
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
        QVERIFY(!fx->statusTexts().mid(seen).contains(QStringLiteral("Executing Cue 2.")));
        // current, target, interval -> volume, next interval, finished
        const std::tuple<const char*, int, int, int, int, int, bool> rows[] = {
            {"up one step", -4000, 0, 11, -3960, 11, false},
            {"up jumps to full near the top", -60, -50, 11, -50, 11, true},
            {"up to full takes its last stretch at once", -70, 0, 11, 0, 11, true},
            {"up to full steps until within two steps", -80, 0, 11, -40, 11, false},
            {"up lands on target", -1240, -1200, 51, -1200, 51, true},
            {"down one step", 0, -4000, 51, -40, 51, false},
            {"down to floor", -3980, -6000, 51, -4000, 51, true},
            {"below floor target", -4000, -5000, 11, -4000, 11, true},
            {"equal target ends at once", -700, -700, 31, -700, 31, true},
            {"300 stays", -2000, 0, 300, -1960, 300, false}};
        for (const auto& [name, current, target, interval, volume, next, finished] : rows) {
            const FadeResult f = FadeStep(current, target, interval);
            QVERIFY2(f.volume == volume && f.interval == next && f.finished == finished, name);
        }
    }

    // Cues started "along with" their predecessor sound in list order: on a shared channel
    // the last of them is what plays.
    void alongWithCuesSoundInListOrder() {
        const QString a = fx->wav("a.wav", 3, 2.0);
        const QString b = fx->wav("b.wav", 5, 2.0);
        const QString c = fx->wav("c.wav", 7, 2.0);
        const CueSpec along{.when = 0, .autoStart = true, .channel = 1, .end = 2};
        fx->setShow({PlayCue(a, {.channel = 1, .end = 2}), PlayCue(b, along), PlayCue(c, along),
                     PlayCue(a, {.autoStart = false, .channel = 2, .end = 2})});
        QVERIFY(fx->goAndSettle(1, 200));
        QVERIFY(fx->waitFor([&] { return fx->player(1)->PlayState() == 2; }));
        QCOMPARE(fx->player(1)->FileName(), c);
        QCOMPARE(fx->statusTexts().filter(QStringLiteral("Executing Cue ")),
                 QStringList({"Executing Cue 1.", "Executing Cue 2.", "Executing Cue 3."}));
        QCOMPARE(fx->selected(), 4);
    }

    // While a cue is on its way to its sound the window's repaint waits; it is never lost:
    // it comes when the last hold is let go, on Stop, and after a moment at the latest.
    void aHeldRepaintAlwaysComes() {
        QWidget window;
        auto* label = new QLabel(QStringLiteral("0"), &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        int paints = 0;
        struct Counter : QObject {
            int& n;
            explicit Counter(int& count) : n(count) {}
            bool eventFilter(QObject*, QEvent* e) override {
                n += e->type() == QEvent::Paint;
                return false;
            }
        } counter(paints);
        label->installEventFilter(&counter);
        PaintHold hold(nullptr);
        auto change = [&] {
            label->setText(QString::number(label->text().toInt() + 1));
            const int before = paints;
            QTest::qWait(10);
            return paints > before;
        };
        QVERIFY(change()); // not held
        const int a = hold.hold(&window), b = hold.hold(&window);
        QVERIFY(!change());
        hold.release(a);
        hold.release(a); // let go twice: counts once
        QVERIFY(!change());
        int before = paints;
        hold.release(b);
        QTRY_VERIFY_WITH_TIMEOUT(paints > before, 1000);
        // Stop lets go of every hold; tickets from before it are spent.
        const int c = hold.hold(&window);
        QVERIFY(!change());
        before = paints;
        hold.releaseAll();
        QTRY_VERIFY_WITH_TIMEOUT(paints > before, 1000);
        const int d = hold.hold(&window);
        hold.release(c);
        QVERIFY(!change());
        // A hold nobody lets go of holds a repaint for a moment only.
        QElapsedTimer clock;
        clock.start();
        before = paints;
        QTRY_VERIFY_WITH_TIMEOUT(paints > before, 2000);
        QVERIFY(clock.elapsed() < 1000);
        hold.release(d);
    }
};

QTEST_MAIN(PlaybackTest)
#include "test_playback.moc"
