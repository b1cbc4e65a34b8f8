// GO and the transport controls on the real main window: what a GO plays, where the selection
// goes, the status lines and GO's colours, the GO keys and the double-click.

#include "PlaybackFixture.h"

using namespace playtest;

class TransportTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    // The cue's file sounds from its start marker at its volume on its channel; the status
    // line, the current cue, GO and the selection follow.
    void goPlaysTheSelectedCue() {
        const QString a = fx->wav("a.wav", 3, 4.0);
        const CueSpec s{.channel = 1, .volume = -600, .start = 1.5, .end = 3.5};
        fx->setShow({PlayCue(a, s), PlayCue(a, s)});
        const std::int64_t before = fx->now();
        fx->operatorGo();
        QCOMPARE(fx->colourOf("Executing Cue 1."), QColor(0, 255, 0));
        QCOMPARE(fx->selected(), 2);
        QCOMPARE(fx->cues().ListView1Tag, QStringLiteral("1"));
        QVERIFY(!fx->frame().cmdGo->isEnabled());
        QCOMPARE(BackColour(fx->frame().cmdGo), QColor(0, 200, 0));
        const Heard h = fx->heardAfter(before, kSampleRate / 10);
        QCOMPARE(h.id, 3);
        QVERIFY2(std::abs(h.t - 1.6) < 0.02, qPrintable(QString::number(h.t)));
        QVERIFY(std::abs(h.gain - std::pow(10.0, -600 / 2000.0)) < 0.01);
        QCOMPARE(fx->player(1)->PlayState(), 2);
        QCOMPARE(fx->player(0)->PlayState(), 6);
        // The debounce gives GO back.
        QVERIFY(fx->waitFor([&] { return fx->frame().cmdGo->isEnabled(); }, 2000));
    }

    // A cue "After Previous Cue Completes" on Auto follows where the sound ends, from its own
    // start; the chaining from the last row never fires row 1.
    void afterCompletesFollowsTheEnd() {
        const QString a = fx->wav("a.wav", 2, 0.6);
        const QString b = fx->wav("b.wav", 5, 2.0);
        fx->setShow({PlayCue(a, {.end = 0.6}), PlayCue(b, {.when = 2, .channel = 2, .end = 2})});
        const std::int64_t before = fx->now();
        fx->operatorGo();
        QCOMPARE(fx->heardAfter(before, kSampleRate).id, 5);
        QCOMPARE(fx->selected(), 1);
        QVERIFY(fx->waitFor([&] { return fx->running() == QLatin1String("0"); }));
        const std::int64_t first = fx->firstSound(before);
        QCOMPARE(fx->heard(first + 100).id, 2);
        std::int64_t end = first;
        while (fx->heard(end).id == 2)
            ++end;
        QVERIFY2(end - first > kSampleRate * 55 / 100, "the first sound was cut short");
        const Heard next = fx->heard(fx->firstSound(end) + 200);
        QCOMPARE(next.id, 5);
        QVERIFY(next.t < 0.05);
        QCOMPARE(fx->count("Executing Cue 1."), 1);
        QCOMPARE(fx->count("Executing Cue 2."), 1);
    }

    // Row 1 fires only on the operator's GO: Space on the focused button does nothing there, a
    // mouse click or a double-click fires it; two clicks within the debounce fire one cue.
    void firstRowNeedsTheOperator() {
        const CueSpec onGo{.autoStart = false};
        fx->setShow({ActionCue(8, 1, onGo), ActionCue(8, 1, onGo), ActionCue(8, 1, onGo)});
        QPushButton* go = fx->frame().cmdGo;
        go->setFocus();
        QTest::keyClick(go, Qt::Key_Space);
        QCOMPARE(fx->selected(), 1);
        QVERIFY(!fx->has("Executing Cue 1."));
        // After Stop a keyboard GO on row 2 runs but leaves the halt flags set.
        fx->transport().Command3_Click();
        fx->cues().SelectRow(2);
        fx->transport().cmdGo_Click();
        QVERIFY(fx->has("Executing Cue 2."));
        QVERIFY(ShowHalted && DelayHalted);
        QVERIFY(Fixture::waitFor([&] { return go->isEnabled(); }));
        fx->cues().SelectRow(1);
        QTest::mouseClick(go, Qt::LeftButton);
        QTest::mouseClick(go, Qt::LeftButton);
        QVERIFY(!ShowHalted && !DelayHalted);
        QCOMPARE(fx->count("Executing Cue 1."), 1);
        QCOMPARE(fx->selected(), 2);
        QVERIFY(Fixture::waitFor([&] { return go->isEnabled(); }));
        QCOMPARE(fx->form->focusWidget(), static_cast<QWidget*>(go));
        fx->cues().SelectRow(1);
        fx->transport().ListView1_DblClick();
        QCOMPARE(fx->count("Executing Cue 1."), 2);
    }

    // GO's design green; while a cue waits for GO it blinks between the two greens; Stop leaves
    // the blink running, a GO ends it.
    void blinkAndItsColours() {
        QPushButton* go = fx->frame().cmdGo;
        QCOMPARE(BackColour(go), QColor(0, 192, 0));
        fx->setShow({ActionCue(8, 1, {.autoStart = false}), ActionCue(8, 1, {.autoStart = false})});
        QVERIFY(fx->goAndSettle());
        Transport& t = fx->transport();
        QVERIFY(t.tmrBlinkGo->isActive());
        SetBackColour(go, QColor(0, 192, 0));
        t.tmrBlinkGo_Timer();
        QCOMPARE(BackColour(go), QColor(0, 200, 0));
        t.tmrBlinkGo_Timer();
        QCOMPARE(BackColour(go), QColor(0, 255, 0));
        t.Command3_Click();
        QVERIFY(t.tmrBlinkGo->isActive());
        fx->operatorGo();
        QVERIFY(!t.tmrBlinkGo->isActive());
        QCOMPARE(BackColour(go), QColor(0, 200, 0));
    }

    // Keys typed on GO: "+" and "-" step with wrapping; digits typed within the jump timer's
    // span select a cue by number; a number beyond the list or a non-number changes nothing;
    // nothing is fired. Next, Prev and GO with no cue selected.
    void goKeysAndTypeAhead() {
        fx->setShow(QList<Fields>(14, ActionCue(8, 1)));
        Transport& t = fx->transport();
        QPushButton* go = fx->frame().cmdGo;
        go->setFocus();
        auto type = [&](const char* keys, int selected) {
            for (const char* k = keys; *k; ++k) {
                QTest::keyClick(go, *k);
                QCOMPARE(fx->selected(), selected);
            }
        };
        type("-", 14);
        type("+", 1);
        type("+", 2);
        type("1", 1);
        type("29", 12); // 12, then 129: no such cue
        QVERIFY(t.tmrJumpToCue->isActive());
        t.tmrJumpToCue_Timer();
        type("3", 3);
        type("x1", 3); // "3x1" is no number
        QVERIFY(!fx->has("Executing Cue 3."));
        fx->cues().SelectRow(0);
        t.cmdNext_Click();
        QCOMPARE(fx->selected(), 1);
        fx->cues().SelectRow(0);
        t.cmdPrev_Click();
        QCOMPARE(fx->selected(), 14);
        fx->cues().SelectRow(0);
        const qsizetype n = fx->statusTexts().size();
        fx->operatorGo();
        QCOMPARE(fx->statusTexts().size(), n);
        QCOMPARE(fx->processes().showCount(), 0);
    }
};

QTEST_MAIN(TransportTest)
#include "test_transport.moc"
