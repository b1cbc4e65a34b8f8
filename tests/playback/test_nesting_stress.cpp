// Stop in every wait of a cue, at the deepest of nested waits and in long and runaway chains;
// a long run of random operator actions.

#include "PlaybackFixture.h"
#include "showfiles/ShowFileFormat.h"
#include "showfiles/ShowFiles.h"

#include <QRandomGenerator>

using namespace playtest;

// Runs `also` and notes the longest the window went without answering, every 5 ms.
struct Heartbeat {
    explicit Heartbeat(std::function<void()> also = [] {}) {
        beat.start();
        QObject::connect(&timer, &QTimer::timeout, [this, also] {
            maxGap = std::max(maxGap, beat.restart());
            also();
        });
        timer.start(5);
    }
    QElapsedTimer beat;
    QTimer timer;
    qint64 maxGap = 0;
};

class NestingStressTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;
    qsizetype seen = -1; // messages in the history at the last Stop

    void stop() {
        seen = fx->statusTexts().size();
        fx->transport().Command3_Click();
    }
    // Once the Stop has ended every tick, and a cue started by mistake has had time to show.
    QStringList executedAfterStop(int ms = 5000) {
        if (!Fixture::waitFor(
                [&] {
                    return seen >= 0 && fx->processes().runningTicks() == 0 &&
                           fx->processes().showCount() == 0;
                },
                ms))
            return {QStringLiteral("the show never stopped")};
        QTest::qWait(100);
        return fx->statusTexts().mid(seen).filter(QStringLiteral("Executing Cue "));
    }

private slots:
    void init() {
        fx = std::make_unique<Fixture>();
        seen = -1;
    }
    void cleanup() { fx.reset(); }

    // Stop inside a fade tick inside an iteration wait inside a Delay inside a completion wait:
    // every one of them ends at once, and none starts a cue or takes a step.
    void stopAtTheDeepestWait() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        fx->setShow(
            {PlayCue(a, {.autoStart = false, .count = 0, .end = 3}),
             ActionCue(8, 8000, {.when = 2, .autoStart = false}),
             ActionCue(4, 0, {.autoStart = false, .channel = 1, .volume = -2000, .speed = 0}),
             ActionCue(3, 0, {.autoStart = false}), ActionCue(8, 1, {.when = 2})});
        fx->when(
            [&] { return fx->player(0)->PlayState() == 2 && fx->processes().showCount() == 1; },
            [&] { fx->operatorGo(2); });
        fx->when([&] { return fx->statusLine().startsWith(QStringLiteral("Delaying:  ")); },
                 [&] {
                     fx->operatorGo();
                     fx->when([&] { return fx->processes().fadeCount() == 1; },
                              [&] { fx->operatorGo(4); });
                 });
        int depth = 0;
        bool stopped = false;
        fx->when([&] { return IterationPending && fx->processes().fadeCount() == 1; },
                 [&] {
                     depth = fx->processes().showCount();
                     fx->player(1)->setVolume(0);
                     QTimer::singleShot(0, fx->form.get(), [&] {
                         fx->transport().Command3_Click();
                         stopped = true;
                     });
                     fx->processes().tmrFader_Timer(1);
                 });
        fx->operatorGo();
        QVERIFY(
            Fixture::waitFor([&] { return stopped && fx->processes().showCount() == 0; }, 10000));
        QCOMPARE(depth, 3);
        QVERIFY(Fixture::waitFor([&] { return fx->processes().runningTicks() == 0; }, 1000));
        QTest::qWait(400);
        QCOMPARE(fx->player(1)->Volume(), 0);
        const QStringList t = fx->statusTexts();
        const qsizetype clearing = t.indexOf(QStringLiteral("Clearing all buffered media."));
        QVERIFY(clearing > 0);
        QVERIFY(t.at(clearing + 1).startsWith(QStringLiteral("Show Halted at ")));
        QCOMPARE(fx->colourOf(t.at(clearing)), QColor(255, 255, 0));
        QCOMPARE(fx->colourOf(t.at(clearing + 1)), QColor(255, 0, 0));
        QCOMPARE(t.mid(clearing).filter(QStringLiteral("Executing Cue ")), QStringList());
        QCOMPARE(fx->running(), QStringLiteral("0"));
        QVERIFY(fx->channelsEmpty());
    }

    // Stop inside each wait of a cue's tick: the wait returns at once and its cue starts no
    // other (the cue after it would sound as id 9), nothing sounds after the Stop, and a cue
    // the operator fires then (id 8, the last row) plays as usual, also when it is fired
    // inside the stopped wait and plays on the channel that wait looks at.
    void stopEndsEveryWaitAndStartsNothing() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        const QString next = fx->wav("next.wav", 9, 3.0);
        const Fields executes = PlayCue(next, {.channel = 2, .end = 3});
        const Fields completes = PlayCue(next, {.when = 2, .channel = 2, .end = 3});
        const Fields mine = PlayCue(fx->wav("mine.wav", 8, 3.0), {.autoStart = false, .end = 3});
        const Fields first = PlayCue(a, {.autoStart = false, .end = 3});
        const Fields loop = PlayCue(a, {.autoStart = false, .count = 0, .end = 3});
        const Fields buffer = Cue(7, "0", a, {.autoStart = false, .channel = 1});
        const CueSpec onGo{.autoStart = false};
        Processes& pr = fx->processes();
        std::int64_t stopFrame = -1;
        QElapsedTimer sinceStop;
        // Stops the show; with `go`, the operator fires the last row at once.
        auto stop = [&](bool go) {
            return [&, go] {
                stopFrame = fx->rendered;
                sinceStop.start();
                fx->transport().Command3_Click();
                if (go) fx->operatorGo(fx->cues().model().count());
            };
        };
        // Ticks cue 1 by hand with Stop as the first event its first wait lets run.
        auto byHand = [&] {
            fx->operatorGo(1);
            QTimer::singleShot(0, fx->form.get(), stop(false));
            pr.tmrShow_Timer(1);
        };
        const struct {
            const char* name;
            QList<Fields> show;
            std::function<void()> start;
        } cases[] = {
            {"look-ahead",
             {first, PlayCue(next, {.when = 0, .channel = 2, .end = 3}), mine},
             byHand},
            {"start of Play Sound", {first, executes, mine}, byHand},
            {"start of Buffer Sound", {buffer, executes, mine}, byHand},
            {"completion wait",
             {first, completes, mine},
             [&] {
                 fx->when([&] { return fx->player(0)->PlayState() == 2; }, stop(true));
                 fx->operatorGo(1);
             }},
            {"iteration wait",
             {loop, ActionCue(3, 0, onGo), executes, mine},
             [&] {
                 QVERIFY(fx->goAndSettle(1));
                 fx->when(
                     [&] { return fx->has("Executing Cue 3 - Awaiting end of loop iteration..."); },
                     stop(true));
                 fx->operatorGo(2);
             }},
            {"Delay",
             {ActionCue(8, 10000, onGo), executes, mine},
             [&] {
                 fx->when([&] { return fx->statusLine().startsWith("Delaying:  "); }, stop(true));
                 fx->operatorGo(1);
             }},
            {"buffering second",
             {buffer, executes, mine},
             [&] {
                 fx->when([&] { return fx->player(1)->Tag == QLatin1String("Buffer"); },
                          stop(true));
                 fx->operatorGo(1);
             }},
            {"end of a fade",
             {loop, ActionCue(4, 0, {.autoStart = false, .volume = -2000, .speed = 0}), completes,
              mine},
             [&] {
                 QVERIFY(fx->goAndSettle(1));
                 fx->when([&] { return pr.fadeCount() == 1; },
                          [&] {
                              fx->player(0)->setVolume(-1980); // one step from its target
                              QTimer::singleShot(0, fx->form.get(), stop(false));
                              pr.tmrFader_Timer(1);
                          });
                 fx->operatorGo(2);
             }},
        };
        for (const auto& c : cases) {
            fx->transport().Command3_Click();
            fx->setShow(c.show);
            stopFrame = -1;
            c.start();
            QVERIFY2(Fixture::waitFor([&] { return stopFrame >= 0 && pr.runningTicks() == 0; }),
                     c.name);
            // At once: the shortest wait left, the buffering second, had 1 s to go.
            QVERIFY2(sinceStop.elapsed() < 900, c.name);
            QTest::qWait(200); // time for a cue started by mistake to sound
            const QStringList t = fx->statusTexts();
            const qsizetype halted = t.lastIndexOf(QStringLiteral("Clearing all buffered media."));
            const QString op = QStringLiteral("Executing Cue %1.").arg(c.show.size());
            if (t.lastIndexOf(op) < halted) fx->operatorGo(static_cast<int>(c.show.size()));
            QVERIFY2(fx->heardAfter(stopFrame + 480, 2400).id == 8, c.name);
            for (std::int64_t f = stopFrame + 480; f < fx->rendered; ++f)
                QVERIFY2(fx->heard(f).id == 0 || fx->heard(f).id == 8, c.name);
            const QStringList after = fx->statusTexts().mid(halted);
            QCOMPARE(after.filter(QRegularExpression("^Executing Cue \\d+\\.$")),
                     QStringList({op}));
            QVERIFY2(!after.contains(QStringLiteral("Channel 2 : Buffering...")), c.name);
        }
        QCOMPARE(fx->colourOf("Channel 2 : Buffering Interrupted."), QColor(255, 255, 0));
        QVERIFY(!fx->has("Channel 2 : Buffering Complete."));
    }

    // Stop in long chains of cues on Auto: 1,000 Play Sound cues each after the one before
    // has executed, and 10,000 Delay cues each along with the one before. Every Stop ends
    // the chain where it stands: no cue starts after it, nothing sounds, every tick ends.
    void stopEndsLongChains() {
        const QString a = fx->wav("a.wav", 1, 1.0);
        QList<Fields> plays;
        for (int i = 0; i < 1000; ++i)
            plays << PlayCue(a, {.channel = i % 4, .end = 1});
        const QList<Fields> delays(10000, ActionCue(8, 5, {.when = 0}));
        QRandomGenerator rng(20261207);
        for (const auto& [show, stops] : {std::pair{plays, 6}, std::pair{delays, 3}}) {
            fx->setShow(show);
            for (int round = 0; round < stops; ++round) {
                std::int64_t stopFrame = -1;
                QTimer::singleShot(static_cast<int>(rng.bounded(20, 300)), fx->form.get(), [&] {
                    stopFrame = fx->rendered;
                    stop();
                });
                fx->operatorGo(1);
                QCOMPARE(executedAfterStop(), QStringList());
                QVERIFY(fx->firstSound(stopFrame + 480) < 0);
            }
        }
    }

    // Trigger cues on Auto that start each other double their cue processes at every round.
    // The processes stay within their bound, a refused cue is reported in red, the history
    // keeps its newest messages only, the window goes on answering, and Stop ends it all.
    void runawayTriggersStayBoundedAndStoppable() {
        fx->setShow({ActionCue(8, 1, {.autoStart = false}), ActionCue(5, 3), ActionCue(5, 2),
                     ActionCue(5, 2)});
        Processes& pr = fx->processes();
        int most = 0;
        const Heartbeat heart([&] { most = std::max(most, pr.showCount()); });
        const QString refused = QStringLiteral("Warning:  Too Many Cues Running!  Cue ");
        StatusLine& status = fx->form->status();
        status.Command2_Click(); // the drawer lists every message as it comes
        fx->operatorGo(2);
        QVERIFY(Fixture::waitFor([&] { return !fx->statusTexts().filter(refused).isEmpty(); }));
        // The operator's GO finds no room either, once the cues it fires have filled it; the
        // refused press is spent all the same.
        const QString mine = refused + QStringLiteral("1 Not Started.");
        for (int i = 0; i <= Processes::kMaxShowProcesses && fx->statusLine() != mine; ++i)
            fx->operatorGo(1);
        QCOMPARE(fx->statusLine(), mine);
        QVERIFY(!ManualGo);
        const auto limit = static_cast<qsizetype>(StatusLine::kHistoryLimit);
        // Until the oldest messages, the ready message first, have gone.
        QVERIFY(Fixture::waitFor(
            [&] { return !status.history().constFirst().text.startsWith("Sorvane"); }, 20000));
        QTimer::singleShot(0, fx->form.get(), [&] { stop(); });
        QCOMPARE(executedAfterStop(), QStringList());
        const QStringList t = fx->statusTexts();
        QVERIFY(most <= Processes::kMaxShowProcesses);
        QCOMPARE(fx->colourOf(t.filter(refused).last()), QColor(255, 0, 0));
        QVERIFY(t.filter(refused).last().endsWith(QStringLiteral(" Not Started.")));
        // The history and the drawer's list hold the same newest messages, up to the bound.
        QVERIFY(t.size() >= limit && t.size() < limit + limit / 4);
        QTreeWidget* list = status.lstStatusHistory;
        QCOMPARE(list->topLevelItemCount(), t.size());
        for (int i : {0, int(t.size()) - 1})
            QCOMPARE(list->topLevelItem(i)->text(0), t.at(i));
        const QRect newest =
            list->visualItemRect(list->topLevelItem(list->topLevelItemCount() - 1));
        QVERIFY(list->viewport()->rect().contains(newest));
        QVERIFY2(heart.maxGap < 1500, qPrintable(QString::number(heart.maxGap)));
    }

    // A Delay whose look-ahead fires a Trigger back to it: each round waits inside the one
    // before. The nesting levels off instead of growing until the stack overflows, and one
    // Stop, pressed from inside the waits, ends them all.
    void cuesStartingEachOtherInsideTheirWaits() {
        fx->setShow({ActionCue(8, 1, {.autoStart = false}), ActionCue(8, 100),
                     ActionCue(5, 2, {.when = 0})});
        QTimer stopper;
        stopper.setSingleShot(true);
        QObject::connect(&stopper, &QTimer::timeout, [&] { stop(); });
        int deepest = 0;
        bool levelled = false;
        QElapsedTimer still; // since the nesting last grew
        still.start();
        const Heartbeat look([&] {
            if (fx->processes().showCount() > deepest) {
                deepest = fx->processes().showCount();
                still.restart();
            } else if (deepest > 20 && still.elapsed() > 500 && !stopper.isActive()) {
                levelled = true;
                stopper.start(20);
            }
        });
        QTimer::singleShot(15000, &stopper, [&] { stopper.start(20); });
        fx->operatorGo(1);
        QCOMPARE(executedAfterStop(30000), QStringList());
        QVERIFY2(levelled, qPrintable(QStringLiteral("still nesting at %1").arg(deepest)));
        QCOMPARE(fx->running(), QStringLiteral("0"));
    }

    // Twenty seconds of random operator actions into a running show that uses every action.
    void randomOperatorActions() {
        const QString a = fx->wav("a.wav", 1, 1.5);
        const QString b = fx->wav("b.wav", 2, 0.8);
        fx->wav(QStringLiteral("ShowFiles/c.wav"), 3, 1.0);
        auto cs = [](int when, bool autoStart, int channel) {
            return CueSpec{.when = when, .autoStart = autoStart, .channel = channel, .end = 0.8};
        };
        const CueSpec fast{.channel = 2, .volume = -1500, .speed = 9, .end = 0.8};
        const CueSpec slow{.when = 2, .channel = 4, .speed = 7, .end = 0.8};
        const CueSpec loop{.when = 0, .channel = 3, .count = 0, .end = 0.8};
        QList<Fields> show;
        show << PlayCue(a, cs(1, true, 0)) << PlayCue(b, cs(2, true, 4))
             << Cue(7, "0", a, cs(1, true, 1));
        show << PlayCue(a, cs(0, true, 1)) << ActionCue(4, 0, fast) << ActionCue(4, 0, slow);
        show << PlayCue("c.wav", loop) << ActionCue(3, 40, cs(1, true, 3))
             << ActionCue(6, 0, cs(1, true, 0));
        show << ActionCue(1, 0, cs(2, true, 1)) << ActionCue(8, 150, cs(0, true, 0));
        show << ActionCue(2, 0, cs(1, true, 3)) << ActionCue(5, 2, cs(1, false, 0));
        show << PlayCue("gone.wav", cs(1, true, 0)) << ActionCue(8, 300, cs(2, true, 0));
        show << ActionCue(5, 4, cs(1, true, 0));
        QFile other(fx->dir.filePath(QStringLiteral("other.cue")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        int n = 0;
        for (Fields f : {PlayCue(b, cs(1, true, 4)), ActionCue(8, 200, cs(2, true, 0)),
                         ActionCue(4, 0, fast), PlayCue(a, cs(2, true, 0))}) {
            f[0] = QString::number(++n);
            other.write(EncodeShowText(CueLine(TextRow(f)) + "\r\n"));
        }
        other.close();
        fx->setShow(show);
        QRandomGenerator rng(20261206);
        const Heartbeat heart;
        Transport& tr = fx->transport();
        CueListEditor& cues = fx->cues();
        auto go = [&] { fx->operatorGo(std::max(1, cues.SelectedIndex())); };
        const std::function<void()> act[] = {
            go,
            go,
            go,
            [&] { tr.cmdGo_Click(); }, // a keyboard GO
            [&] {
                if (rng.bounded(4) == 0) tr.Command3_Click();
            },
            [&] { tr.cmdNext_Click(); },
            [&] { tr.cmdPrev_Click(); },
            [&] { tr.cmdGo_KeyPress(static_cast<std::int16_t>('0' + rng.bounded(10))); },
            [&] {
                cues.SelectRow(1 + rng.bounded(std::max(1, cues.model().count())));
                cues.ListView1_Click();
                tr.ListView1_DblClick();
            },
            [&] { cues.cmdAddCue_Click(); },
            [&] {
                if (cues.model().count() > 4) cues.cmdDeleteCue_Click();
            },
            [&] { rng.bounded(2) ? cues.cmdMoveUp_Click() : cues.cmdMoveDown_Click(); },
            [&] { fx->mixer().sldMixer[rng.bounded(4)]->setValue(rng.bounded(4001)); },
            [&] {
                fx->mixer().chkLinkChannels->click();
                fx->mixer().sldLinkChannels->setValue(rng.bounded(4001));
            },
            [&] {
                if (rng.bounded(6) != 0) return;
                if (rng.bounded(2))
                    fx->form->showFiles().LoadShow(other.fileName());
                else
                    fx->setShow(show);
            },
            [&] { tr.tmrBlinkGo_Timer(); },
        };
        // Actions run inside the show's waits and can hold waits of their own; the last is one
        // Stop, inside whatever waits hold then: it ends the show at once.
        int actions = 0;
        QDeadlineTimer run(20000);
        QTimer monkey;
        monkey.setSingleShot(true);
        QObject::connect(&monkey, &QTimer::timeout, [&] {
            if (run.hasExpired()) return stop();
            ++actions;
            act[rng.bounded(16)]();
            monkey.start(static_cast<int>(rng.bounded(5, 60)));
        });
        monkey.start(10);
        QTest::qWait(20000);
        QCOMPARE(executedAfterStop(), QStringList());
        QVERIFY(Fixture::waitFor([&] { return fx->channelsEmpty(); }));
        QCOMPARE(fx->running(), QStringLiteral("0"));
        // About 600 on a quiet machine, and 200 ms the aim: the bounds leave room for a loaded
        // machine and sanitizer builds.
        QVERIFY2(actions > 150, qPrintable(QString::number(actions)));
        QVERIFY2(heart.maxGap < 1500, qPrintable(QString::number(heart.maxGap)));
    }
};

QTEST_MAIN(NestingStressTest)
#include "test_nesting_stress.moc"
