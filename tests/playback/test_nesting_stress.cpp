// Waits inside waits, and Stop at the deepest of them; then a long run of random operator
// actions fired into a running show that uses every action.

#include "PlaybackFixture.h"
#include "showfiles/ShowFileFormat.h"
#include "showfiles/ShowFiles.h"

#include <QRandomGenerator>
#include <QCheckBox>
#include <QSlider>

using namespace playtest;

class NestingStressTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

    void writeShow(const QString& path, const QList<Fields>& rows) {
        QString text;
        int n = 0;
        for (Fields f : rows) {
            f[0] = QString::number(++n);
            text += CueLine(TextRow(f)) + QStringLiteral("\r\n");
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(EncodeShowText(text));
    }

    // Stop until nothing runs and nothing plays: a completion wait that Stop ends still starts
    // its next cue, which may play again.
    bool stopUntilQuiet() {
        for (int attempt = 0; attempt < 20; ++attempt) {
            fx->transport().Command3_Click();
            Fixture::settle(100);
            bool quiet = fx->processes().showCount() == 0 && fx->processes().fadeCount() == 0;
            for (int i = 0; i < 4; ++i)
                quiet = quiet && fx->player(i)->FileName().isEmpty();
            if (quiet) return true;
        }
        return false;
    }

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    // A completion wait, inside it a Delay, inside that an iteration wait, inside that a fade
    // tick, and Stop inside the fade tick. Every level finishes as it should and nothing
    // freed is touched.
    void stopAtTheDeepestWait() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        CueSpec loop;
        loop.end = 3;
        loop.count = 0;
        loop.autoStart = false;
        CueSpec delay;
        delay.when = 2;
        delay.autoStart = false;
        CueSpec fade;
        fade.channel = 1;
        fade.speed = 0;
        fade.volume = -2000;
        fade.autoStart = false;
        CueSpec iteration;
        iteration.autoStart = false;
        CueSpec last;
        last.when = 2;
        fx->setShow({PlayCue(a, loop), ActionCue(8, 8000, delay), ActionCue(4, 0, fade),
                     ActionCue(3, 0, iteration), ActionCue(8, 1, last)});
        // Inside cue 1's completion wait: GO on the Delay.
        fx->when([&] { return fx->player(0)->PlayState() == 2 && fx->processes().showCount() == 1; },
                 [&] {
                     fx->cues().SelectRow(2);
                     fx->operatorGo();
                 });
        // Inside the Delay: GO on the fade, then on the iteration wait.
        fx->when([&] { return fx->statusLine().startsWith(QStringLiteral("Delaying:  ")); },
                 [&] {
                     fx->operatorGo();
                     fx->when([&] { return fx->processes().fadeCount() == 1; },
                              [&] {
                                  fx->cues().SelectRow(4);
                                  fx->operatorGo();
                              });
                 });
        // Inside the iteration wait: a fade tick, and Stop inside its let-events-run.
        int depth = 0, fades = 0;
        bool stopped = false;
        fx->when([&] { return IterationPending && fx->processes().fadeCount() == 1; },
                 [&] {
                     depth = fx->processes().showCount();
                     fades = fx->processes().fadeCount();
                     fx->player(1)->setVolume(0);
                     QTimer::singleShot(0, fx->form.get(), [&] {
                         fx->transport().Command3_Click();
                         stopped = true;
                     });
                     fx->processes().tmrFader_Timer(1);
                 });
        fx->operatorGo();
        QVERIFY(Fixture::waitFor([&] { return stopped && fx->processes().showCount() == 0; },
                                 10000));
        QCOMPARE(depth, 3); // the completion wait, the Delay and the iteration wait
        QCOMPARE(fades, 1);
        // The fade tick finished its one step after its instance was gone; none followed.
        QCOMPARE(fx->player(1)->Volume(), -40);
        Fixture::settle(400);
        QCOMPARE(fx->player(1)->Volume(), -40);
        QCOMPARE(fx->processes().fadeCount(), 0);
        // The completion wait still started its next cue (a Delay that ended at once).
        const QStringList t = fx->statusTexts();
        QVERIFY(t.lastIndexOf(QStringLiteral("Executing Cue 5.")) >
                t.indexOf(QStringLiteral("Clearing all buffered media.")));
        QCOMPARE(fx->running(), QStringLiteral("0"));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(fx->player(i)->PlayState(), 6);
    }

    // Random operator actions at random moments into a running show, for twenty seconds.
    void randomOperatorActions() {
        const QString a = fx->wav("a.wav", 1, 1.5);
        const QString b = fx->wav("b.wav", 2, 0.8);
        QVERIFY(QDir(fx->dir.path()).mkpath(QStringLiteral("ShowFiles")));
        fx->wav(QStringLiteral("ShowFiles/c.wav"), 3, 1.0);
        auto spec = [](int when, bool autoStart, int channel) {
            CueSpec s;
            s.when = when;
            s.autoStart = autoStart;
            s.channel = channel;
            s.end = 0.8;
            return s;
        };
        CueSpec fast = spec(1, true, 2);
        fast.speed = 9;
        fast.volume = -1500;
        CueSpec slow = spec(2, true, 4);
        slow.speed = 7;
        CueSpec loop = spec(0, true, 3);
        loop.count = 0;
        const QList<Fields> show{
            PlayCue(a, spec(1, true, 0)),         PlayCue(b, spec(2, true, 4)),
            Cue(7, "0", a, spec(1, true, 1)),     PlayCue(a, spec(0, true, 1)),
            ActionCue(4, 0, fast),                ActionCue(4, 0, slow),
            PlayCue(QStringLiteral("c.wav"), loop), ActionCue(3, 40, spec(1, true, 3)),
            ActionCue(6, 0, spec(1, true, 0)),    ActionCue(1, 0, spec(2, true, 1)),
            ActionCue(8, 150, spec(0, true, 0)),  ActionCue(2, 0, spec(1, true, 3)),
            ActionCue(5, 2, spec(1, false, 0)),   PlayCue(QStringLiteral("gone.wav"), spec(1, true, 0)),
            ActionCue(8, 300, spec(2, true, 0)),  ActionCue(5, 4, spec(1, true, 0)),
        };
        const QString other = fx->dir.filePath(QStringLiteral("other.cue"));
        writeShow(other, {PlayCue(b, spec(1, true, 4)), ActionCue(8, 200, spec(2, true, 0)),
                          ActionCue(4, 0, fast), PlayCue(a, spec(2, true, 0))});
        fx->setShow(show);

        QRandomGenerator rng(20261206);
        qint64 maxGap = 0;
        QElapsedTimer beat;
        beat.start();
        QTimer watch;
        watch.setInterval(5);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            maxGap = std::max(maxGap, beat.restart());
        });
        watch.start();
        int actions = 0;
        QElapsedTimer run;
        QTimer monkey;
        monkey.setSingleShot(true);
        std::function<void()> act = [&] {
            // The actions run inside the show's waits, which cannot return while newer waits
            // run inside them. A completion wait on an endless loop only ends on Stop, as an
            // operator would press it: once the run is over, Stop is pressed until every wait
            // has unwound to the loop below.
            if (run.elapsed() >= 20000) {
                fx->transport().Command3_Click();
                monkey.start(50);
                return;
            }
            ++actions;
            Transport& tr = fx->transport();
            CueListEditor& cues = fx->cues();
            switch (rng.bounded(16)) {
            case 0:
            case 1:
            case 2:
                if (cues.SelectedIndex() == 0) cues.SelectRow(1);
                fx->operatorGo();
                break;
            case 3:
                tr.cmdGo_Click(); // a keyboard GO
                break;
            case 4:
                if (rng.bounded(4) == 0) tr.Command3_Click();
                break;
            case 5:
                tr.cmdNext_Click();
                break;
            case 6:
                tr.cmdPrev_Click();
                break;
            case 7:
                tr.cmdGo_KeyPress(static_cast<std::int16_t>('0' + rng.bounded(10)));
                break;
            case 8:
                cues.SelectRow(1 + rng.bounded(std::max(1, cues.model().count())));
                cues.ListView1_Click();
                tr.ListView1_DblClick();
                break;
            case 9:
                cues.cmdAddCue_Click();
                break;
            case 10:
                if (cues.model().count() > 4) cues.cmdDeleteCue_Click();
                break;
            case 11:
                rng.bounded(2) ? cues.cmdMoveUp_Click() : cues.cmdMoveDown_Click();
                break;
            case 12:
                fx->mixer().sldMixer[rng.bounded(4)]->setValue(rng.bounded(4001));
                break;
            case 13:
                fx->mixer().chkLinkChannels->click();
                fx->mixer().sldLinkChannels->setValue(rng.bounded(4001));
                break;
            case 14:
                if (rng.bounded(6) == 0) {
                    if (rng.bounded(2))
                        fx->form->showFiles().LoadShow(other);
                    else
                        fx->setShow(show);
                }
                break;
            default:
                tr.tmrBlinkGo_Timer();
                break;
            }
            monkey.start(static_cast<int>(rng.bounded(5, 60)));
        };
        QObject::connect(&monkey, &QTimer::timeout, act);
        run.start();
        monkey.start(10);
        while (run.elapsed() < 20000)
            QTest::qWait(50);
        monkey.stop();
        QVERIFY(stopUntilQuiet());
        watch.stop();
        fx->mixer().tmrChannelUpdate_Timer();
        QCOMPARE(fx->running(), QStringLiteral("0"));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(fx->player(i)->FileName(), QString());
            QCOMPARE(fx->player(i)->PlayState(), 6);
            QVERIFY(fx->mixer().lblChannelData[i]->text().isEmpty());
        }
        QVERIFY(actions > 300);
        // The event loop never went unanswered for long (200 ms is the aim; the bound leaves
        // room for a loaded machine and sanitizer builds).
        qInfo("actions %d, longest event-loop gap %lld ms", actions, maxGap);
        QVERIFY2(maxGap < 1500, qPrintable(QString::number(maxGap)));
    }
};

QTEST_MAIN(NestingStressTest)
#include "test_nesting_stress.moc"
