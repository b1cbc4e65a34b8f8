// GO and the transport controls through the real main window: what a GO plays, where the
// selection goes, the status lines and GO's colours, Stop, the GO keys and the double-click.

#include "PlaybackFixture.h"

#include <QTreeView>

using namespace playtest;

class TransportTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    // One operator's GO: the cue's file sounds from its start marker at its volume on its
    // channel, the status line reports it and the selection moves on.
    void goPlaysTheSelectedCue() {
        const QString a = fx->wav("a.wav", 3, 4.0);
        CueSpec s;
        s.channel = 1;
        s.volume = -600;
        s.start = 1.5;
        s.end = 3.5;
        fx->setShow({PlayCue(a, s), PlayCue(a, s)});
        const std::int64_t before = fx->now();
        fx->operatorGo();
        QVERIFY(fx->statusTexts().contains(QStringLiteral("Executing Cue 1.")));
        QCOMPARE(fx->statusColourOf(QStringLiteral("Executing Cue 1.")), QColor(0, 255, 0));
        QCOMPARE(fx->selected(), 2);
        QCOMPARE(fx->cues().ListView1Tag, QStringLiteral("1"));
        QVERIFY(!fx->frame().cmdGo->isEnabled());
        QCOMPARE(BackColour(fx->frame().cmdGo), Transport::GoFiredColour());
        QVERIFY(fx->waitFor([&] { return fx->firstSound(before) >= 0; }));
        QVERIFY(fx->waitFor([&] { return fx->now() > fx->firstSound(before) + kSampleRate / 2; }));
        const std::int64_t first = fx->firstSound(before);
        const Heard h = fx->heard(first + kSampleRate / 10);
        QCOMPARE(h.id, 3);
        QVERIFY2(std::abs(h.t - 1.6) < 0.02, qPrintable(QString::number(h.t)));
        QVERIFY(std::abs(h.gain - std::pow(10.0, -600 / 2000.0)) < 0.01);
        QCOMPARE(fx->player(1)->FileName(), a);
        QCOMPARE(fx->player(1)->PlayState(), 2);
        QCOMPARE(fx->player(0)->PlayState(), 6);
        // The debounce gives GO back.
        QVERIFY(fx->waitFor([&] { return fx->frame().cmdGo->isEnabled(); }, 2000));
    }

    // A cue "After Previous Cue Completes" on Auto follows when the sound ends; the chaining
    // from the last row never fires row 1.
    void afterCompletesFollowsTheEnd() {
        const QString a = fx->wav("a.wav", 2, 0.6);
        const QString b = fx->wav("b.wav", 5, 2.0);
        CueSpec one;
        one.end = 0.6;
        CueSpec second;
        second.when = 2;
        second.channel = 2;
        second.end = 2.0;
        fx->setShow({PlayCue(a, one), PlayCue(b, second)});
        const std::int64_t before = fx->now();
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return fx->player(2)->PlayState() == 2; }));
        QCOMPARE(fx->selected(), 1); // the selection wrapped after the second cue
        QVERIFY(fx->waitFor([&] { return fx->running() == QLatin1String("0"); }));
        QVERIFY(fx->waitFor([&] { return fx->now() > fx->firstSound(before) + kSampleRate; }));
        const std::int64_t first = fx->firstSound(before);
        QCOMPARE(fx->heard(first + 100).id, 2);
        // The second file follows where the first ended, from its own start.
        std::int64_t f = first;
        while (fx->heard(f).id == 2)
            ++f;
        const std::int64_t gapEnd = fx->firstSound(f);
        QVERIFY(gapEnd > 0);
        QCOMPARE(fx->heard(gapEnd + 200).id, 5);
        QVERIFY(fx->heard(gapEnd + 200).t < 0.05);
        QVERIFY2(f - first > kSampleRate * 55 / 100, "the first sound was cut short");
        QCOMPARE(fx->statusTexts().count(QStringLiteral("Executing Cue 1.")), 1);
        QCOMPARE(fx->statusTexts().count(QStringLiteral("Executing Cue 2.")), 1);
    }

    // Stop halts everything: processes, players, and the two status lines.
    void stopHaltsTheShow() {
        const QString a = fx->wav("a.wav", 1, 5.0);
        CueSpec s;
        s.end = 5.0;
        CueSpec d;
        d.when = 2;
        fx->setShow({PlayCue(a, s), ActionCue(8, 5000, d), PlayCue(a, s)});
        // Stop comes while the first cue sits in its completion wait.
        QString runningBefore;
        bool stopped = false;
        fx->when([&] { return fx->player(0)->PlayState() == 2; },
                 [&] {
                     runningBefore = fx->running();
                     fx->transport().Command3_Click();
                     stopped = true;
                 });
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return stopped; }));
        QCOMPARE(runningBefore, QStringLiteral("1"));
        QVERIFY(ShowHalted);
        QVERIFY(DelayHalted);
        const QStringList t = fx->statusTexts();
        const int clearing = t.indexOf(QStringLiteral("Clearing all buffered media."));
        QVERIFY(clearing > 0);
        QVERIFY(t.at(clearing + 1).startsWith(QStringLiteral("Show Halted at ")));
        QCOMPARE(fx->statusColourOf(t.at(clearing)), QColor(255, 255, 0));
        QCOMPARE(fx->statusColourOf(t.at(clearing + 1)), QColor(255, 0, 0));
        // The completion wait returned and still started the next cue (a Delay on Auto), whose
        // Delay ended at once without chaining: cue 3 never ran.
        QCOMPARE(t.indexOf(QStringLiteral("Executing Cue 2.")), clearing + 2);
        QVERIFY(!t.contains(QStringLiteral("Executing Cue 3.")));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(fx->player(i)->FileName(), QString());
            QCOMPARE(fx->player(i)->PlayState(), 6);
        }
        QCOMPARE(fx->running(), QStringLiteral("0"));
        // The completion wait ends, the Delay cue that follows ends at once without chaining.
        fx->settle(200);
        QCOMPARE(fx->running(), QStringLiteral("0"));
        QCOMPARE(fx->player(0)->PlayState(), 6);
    }
    // Row 1 fires only on the operator's GO: a keyboard GO (Space on the focused button) does
    // nothing there, a real mouse click fires it; two clicks within 250 ms fire one cue.
    void firstRowNeedsTheOperator() {
        CueSpec s;
        s.autoStart = false;
        fx->setShow({ActionCue(8, 1, s), ActionCue(8, 1, s), ActionCue(8, 1, s)});
        QPushButton* go = fx->frame().cmdGo;
        QCOMPARE(BackColour(go), Transport::GoDesignColour());
        QCOMPARE(BackColour(fx->frame().cmdStop), Transport::StopColour());
        QVERIFY(go->font().bold());
        QVERIFY(fx->frame().cmdStop->font().bold());
        go->setFocus();
        QTest::keyClick(go, Qt::Key_Space);
        QCOMPARE(fx->selected(), 1);
        QVERIFY(!fx->statusTexts().contains(QStringLiteral("Executing Cue 1.")));
        // After Stop a keyboard GO on row 2 runs but leaves the halt flags set.
        fx->transport().Command3_Click();
        fx->cues().SelectRow(2);
        fx->transport().cmdGo_Click();
        QVERIFY(fx->statusTexts().contains(QStringLiteral("Executing Cue 2.")));
        QVERIFY(ShowHalted && DelayHalted);
        QVERIFY(Fixture::waitFor([&] { return go->isEnabled(); }));
        fx->cues().SelectRow(1);
        QTest::mouseClick(go, Qt::LeftButton);
        QTest::mouseClick(go, Qt::LeftButton); // within the debounce: refused
        QVERIFY(!ShowHalted && !DelayHalted);
        QCOMPARE(fx->statusTexts().count(QStringLiteral("Executing Cue 1.")), 1);
        QCOMPARE(fx->selected(), 2);
        QVERIFY(Fixture::waitFor([&] { return go->isEnabled(); }));
        QCOMPARE(fx->form->focusWidget(), static_cast<QWidget*>(go));
        // A double-click on row 1 fires it.
        fx->cues().SelectRow(1);
        fx->transport().ListView1_DblClick();
        QCOMPARE(fx->statusTexts().count(QStringLiteral("Executing Cue 1.")), 2);
    }

    // The blink alternates the two greens; only a GO stops it, Stop does not.
    void blinkAndItsColours() {
        CueSpec go;
        go.autoStart = false;
        fx->setShow({ActionCue(8, 1, go), ActionCue(8, 1, go)});
        fx->operatorGo();
        QVERIFY(Fixture::waitFor([&] { return fx->processes().showCount() == 0; }));
        Transport& t = fx->transport();
        QVERIFY(t.tmrBlinkGo->isActive()); // the next cue waits for GO
        QCOMPARE(t.tmrBlinkGo->interval(), 200);
        SetBackColour(fx->frame().cmdGo, Transport::GoDesignColour());
        t.tmrBlinkGo_Timer();
        QCOMPARE(BackColour(fx->frame().cmdGo), Transport::GoFiredColour());
        t.tmrBlinkGo_Timer();
        QCOMPARE(BackColour(fx->frame().cmdGo), Transport::GoBlinkColour());
        t.tmrBlinkGo_Timer();
        QCOMPARE(BackColour(fx->frame().cmdGo), Transport::GoFiredColour());
        t.Command3_Click();
        QVERIFY(t.tmrBlinkGo->isActive());
        fx->operatorGo();
        QVERIFY(!t.tmrBlinkGo->isActive());
        QCOMPARE(BackColour(fx->frame().cmdGo), Transport::GoFiredColour());
    }

    // Keys typed on GO: "+" and "-" step with wrapping; digits select a cue by number within
    // 1.5 s of each other; a number beyond the list changes nothing; nothing is fired.
    void goKeysAndTypeAhead() {
        QList<Fields> rows;
        for (int i = 0; i < 14; ++i)
            rows << ActionCue(8, 1, CueSpec{});
        fx->setShow(rows);
        Transport& t = fx->transport();
        QPushButton* go = fx->frame().cmdGo;
        go->setFocus();
        QTest::keyClick(go, '-');
        QCOMPARE(fx->selected(), 14);
        QTest::keyClick(go, '+');
        QCOMPARE(fx->selected(), 1);
        QTest::keyClick(go, '+');
        QCOMPARE(fx->selected(), 2);
        QVERIFY(t.cmdGoTag.isEmpty());
        QTest::keyClick(go, '1');
        QCOMPARE(fx->selected(), 1);
        QTest::keyClick(go, '2');
        QCOMPARE(fx->selected(), 12);
        QTest::keyClick(go, '9'); // 129: no such cue
        QCOMPARE(fx->selected(), 12);
        QCOMPARE(t.cmdGoTag, QStringLiteral("129"));
        t.tmrJumpToCue_Timer();
        QVERIFY(t.cmdGoTag.isEmpty());
        QVERIFY(!t.tmrJumpToCue->isActive());
        QTest::keyClick(go, '3');
        QCOMPARE(fx->selected(), 3);
        QCOMPARE(t.tmrJumpToCue->interval(), 1500);
        QVERIFY(t.tmrJumpToCue->isActive());
        QTest::keyClick(go, 'x'); // no longer a number until the reset
        QTest::keyClick(go, '1');
        QCOMPARE(fx->selected(), 3);
        QVERIFY(!fx->statusTexts().contains(QStringLiteral("Executing Cue 3.")));
        // Next and Prev with no cue selected.
        fx->cues().SelectRow(0);
        t.cmdNext_Click();
        QCOMPARE(fx->selected(), 1);
        fx->cues().SelectRow(0);
        t.cmdPrev_Click();
        QCOMPARE(fx->selected(), 14);
        // GO with no cue selected does nothing.
        fx->cues().SelectRow(0);
        const int n = fx->statusTexts().size();
        fx->operatorGo();
        QCOMPARE(fx->statusTexts().size(), n);
        QCOMPARE(fx->processes().showCount(), 0);
    }
};

QTEST_MAIN(TransportTest)
#include "test_transport.moc"
