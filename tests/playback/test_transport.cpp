// GO and the transport controls on the real main window.

#include "PlaybackFixture.h"

using namespace playtest;

class TransportTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    // The next cue follows the end of the sound; the chaining from the last row never fires row 1.
    void goPlaysTheSelectedCue() {
        const QString a = fx->wav("a.wav", 3, 4.0);
        const QString b = fx->wav("b.wav", 5, 2.0);
        fx->setShow({PlayCue(a, {.channel = 1, .volume = -600, .start = 1.5, .end = 2.1}),
                     PlayCue(b, {.when = 2, .channel = 2, .end = 2})});
        bool playingOnChannel2 = false;
        fx->when([&] { return fx->player(1)->PlayState() == 2; },
                 [&] { playingOnChannel2 = true; });
        const std::int64_t before = fx->rendered;
        fx->operatorGo();
        QCOMPARE(fx->colourOf("Executing Cue 1."), QColor(0, 255, 0));
        QCOMPARE(fx->selected(), 2);
        QCOMPARE(BackColour(fx->frame().cmdGo), QColor(0, 200, 0));
        const Heard h = fx->heardAfter(before, kSampleRate / 10);
        QCOMPARE(h.id, 3);
        QVERIFY2(std::abs(h.t - 1.6) < 0.02, qPrintable(QString::number(h.t)));
        QVERIFY(std::abs(h.gain - std::pow(10.0, -600 / 2000.0)) < 0.01);
        QVERIFY(playingOnChannel2);
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
        QCOMPARE(fx->count("Executing Cue 1."), 1);
        QCOMPARE(fx->count("Executing Cue 2."), 1);
    }

    void firstRowNeedsTheOperatorAndGoBlinks() {
        const CueSpec onGo{.autoStart = false};
        fx->setShow({ActionCue(8, 1, onGo), ActionCue(8, 1, onGo), ActionCue(8, 1, onGo)});
        QPushButton* go = fx->frame().cmdGo;
        Transport& t = fx->transport();
        QCOMPARE(BackColour(go), QColor(0, 192, 0));
        go->setFocus();
        QTest::keyClick(go, Qt::Key_Space);
        QCOMPARE(fx->selected(), 1);
        QVERIFY(!fx->has("Executing Cue 1."));
        // After Stop a keyboard GO on row 2 runs but leaves the halt flags set.
        t.Command3_Click();
        fx->cues().SelectRow(2);
        t.cmdGo_Click();
        QVERIFY(fx->has("Executing Cue 2."));
        QVERIFY(ShowHalted && DelayHalted);
        QVERIFY(!go->isEnabled());
        QVERIFY(Fixture::waitFor([&] { return go->isEnabled(); }));
        fx->cues().SelectRow(1);
        QTest::mouseClick(go, Qt::LeftButton);
        QTest::mouseClick(go, Qt::LeftButton);
        QVERIFY(!ShowHalted && !DelayHalted);
        QCOMPARE(fx->count("Executing Cue 1."), 1);
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
        QCOMPARE(fx->count("Executing Cue 1."), 2);
        QVERIFY(!t.tmrBlinkGo->isActive());
        QCOMPARE(BackColour(go), QColor(0, 200, 0));
    }

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
        fx->operatorGo();
        QCOMPARE(fx->processes().showCount(), 0);
        QVERIFY(!fx->has("Executing Cue 0."));
    }
};

QTEST_MAIN(TransportTest)
#include "test_transport.moc"
