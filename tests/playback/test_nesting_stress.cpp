// Stop at the deepest of nested waits, and a long run of random operator actions.

#include "PlaybackFixture.h"
#include "showfiles/ShowFileFormat.h"
#include "showfiles/ShowFiles.h"

#include <QRandomGenerator>

using namespace playtest;

class NestingStressTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    // Stop inside a fade tick inside an iteration wait inside a Delay inside a completion wait.
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
        // The fade tick finished its one step after its instance was gone; none followed.
        QCOMPARE(fx->player(1)->Volume(), -40);
        QTest::qWait(400);
        QCOMPARE(fx->player(1)->Volume(), -40);
        const QStringList t = fx->statusTexts();
        const qsizetype clearing = t.indexOf(QStringLiteral("Clearing all buffered media."));
        QVERIFY(clearing > 0);
        QVERIFY(t.at(clearing + 1).startsWith(QStringLiteral("Show Halted at ")));
        QCOMPARE(fx->colourOf(t.at(clearing)), QColor(255, 255, 0));
        QCOMPARE(fx->colourOf(t.at(clearing + 1)), QColor(255, 0, 0));
        // The waits still chain when they return: cue 5, a Delay, ran and ended at once.
        QVERIFY(t.lastIndexOf(QStringLiteral("Executing Cue 5.")) > clearing);
        QCOMPARE(fx->running(), QStringLiteral("0"));
        QVERIFY(fx->channelsEmpty());
    }

    // A Delay whose look-ahead fires a Trigger back to it: each round waits inside the one
    // before. The nesting levels off instead of growing until the stack overflows, and Stop,
    // pressed from inside the waits, ends them all.
    void cuesStartingEachOtherInsideTheirWaits() {
        fx->setShow({ActionCue(8, 1, {.autoStart = false}), ActionCue(8, 100),
                     ActionCue(5, 2, {.when = 0})});
        QTimer stop;
        QObject::connect(&stop, &QTimer::timeout, [&] { fx->transport().Command3_Click(); });
        int deepest = 0;
        bool levelled = false;
        QElapsedTimer still; // since the nesting last grew
        still.start();
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            if (fx->processes().showCount() > deepest) {
                deepest = fx->processes().showCount();
                still.restart();
            } else if (deepest > 20 && still.elapsed() > 500 && !stop.isActive()) {
                levelled = true;
                stop.start(20);
            }
        });
        look.start(5);
        QTimer::singleShot(15000, &stop, [&] { stop.start(20); });
        fx->operatorGo(1);
        QVERIFY(Fixture::waitFor(
            [&] { return stop.isActive() && fx->processes().showCount() == 0; }, 30000));
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
        qint64 maxGap = 0;
        QElapsedTimer beat;
        beat.start();
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout,
                         [&] { maxGap = std::max(maxGap, beat.restart()); });
        watch.start(5);
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
        int actions = 0;
        QDeadlineTimer run(20000);
        QTimer monkey;
        monkey.setSingleShot(true);
        QObject::connect(&monkey, &QTimer::timeout, [&] {
            if (run.hasExpired()) return;
            ++actions;
            act[rng.bounded(16)]();
            monkey.start(static_cast<int>(rng.bounded(5, 60)));
        });
        // Actions run inside the show's waits, and an action can itself hold waits. Once the
        // run is over, Stop comes from a timer of its own until all have unwound (a completion
        // wait on an endless loop ends only on Stop). Cues started by chaining run on after
        // Stop (only a Delay ends them), and a show edited at random can hold a ring of cues
        // on Auto without one, or waits nested so deep that their unwinding keeps starting
        // cues for minutes: first the operator loads a show that starts nothing by itself.
        QTimer stop;
        QObject::connect(&stop, &QTimer::timeout, [&] { tr.Command3_Click(); });
        QTimer::singleShot(20000, &stop, [&] {
            fx->setShow({PlayCue(a, cs(1, false, 0))});
            stop.start(50);
        });
        monkey.start(10);
        QTest::qWait(20000);
        monkey.stop();
        // A completion wait that Stop ends still starts its next cue.
        QVERIFY(Fixture::waitFor([&] {
            tr.Command3_Click();
            QTest::qWait(100);
            return fx->processes().showCount() + fx->processes().fadeCount() == 0 &&
                   fx->channelsEmpty();
        }));
        QCOMPARE(fx->running(), QStringLiteral("0"));
        // About 600 on a quiet machine; on a busy one the show's own ticks take more of the
        // twenty seconds.
        QVERIFY2(actions > 150, qPrintable(QString::number(actions)));
        // 200 ms is the aim; the bound leaves room for a loaded machine and sanitizer builds.
        QVERIFY2(maxGap < 1500, qPrintable(QString::number(maxGap)));
    }
};

QTEST_MAIN(NestingStressTest)
#include "test_nesting_stress.moc"
