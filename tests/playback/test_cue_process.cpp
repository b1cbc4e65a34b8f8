// The cue process and its nine actions, through GO on the real main window: the channel
// chosen, the media found, what the players are told, the status lines, the chaining and the
// early ends.

#include "PlaybackFixture.h"

using namespace playtest;

class CueProcessTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

    // Fires the selected cue as the operator and lets the show run until nothing is left.
    void goAndSettle(int ms = 3000) {
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return fx->processes().showCount() == 0; }, ms));
    }

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    // "Any Available" takes the lowest channel that is stopped or closed; with none free it
    // warns on the status line alone and plays on channel 1.
    void anyAvailableChoosesTheLowestFreeChannel() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        const QString b = fx->wav("b.wav", 2, 3.0);
        CueSpec fixed;
        fixed.end = 3;
        CueSpec any = fixed;
        any.channel = 4;
        fx->setShow({PlayCue(a, fixed), PlayCue(b, any)});
        goAndSettle();
        QCOMPARE(fx->player(0)->FileName(), a);
        QCOMPARE(fx->player(1)->FileName(), b); // channel 1 busy, channel 2 taken
        // All four busy: the warning stands on the line but not in the history.
        for (int i = 1; i < 4; ++i) {
            fx->player(i)->setFileName(a);
            fx->player(i)->Play();
        }
        fx->player(2)->Pause();
        const int history = fx->statusTexts().size();
        fx->cues().SelectRow(2);
        goAndSettle();
        QCOMPARE(fx->player(0)->FileName(), b);
        QCOMPARE(fx->statusLine(), QStringLiteral("CUE 2 WARNING:  No Channels Available!"));
        QVERIFY(!fx->statusTexts().mid(history).contains(fx->statusLine()));
    }

    // A bare name is found in the show's media folder; a file found nowhere is reported in
    // red and ends the process without chaining; a file that cannot be played is reported in
    // red and the show goes on.
    void mediaIsLookedUpAndReported() {
        QVERIFY(QDir(fx->dir.path()).mkpath(QStringLiteral("ShowFiles")));
        fx->wav(QStringLiteral("ShowFiles/bare.wav"), 4, 2.0);
        QFile junk(fx->dir.filePath(QStringLiteral("junk.wav")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(5000, 'x'));
        junk.close();
        CueSpec s;
        s.end = 2;
        CueSpec next = s;
        next.channel = 1;
        fx->setShow({PlayCue(QStringLiteral("bare.wav"), s), PlayCue(QStringLiteral("gone.wav"), next),
                     PlayCue(junk.fileName(), next), PlayCue(QStringLiteral("bare.wav"), next)});
        goAndSettle();
        QCOMPARE(fx->player(0)->FileName(), fx->dir.filePath(QStringLiteral("ShowFiles/bare.wav")));
        // The missing file: red, with its name, and cue 3 never started by it.
        const QString missing = QStringLiteral("Warning:  File Does Not Exist!  gone.wav");
        QVERIFY(fx->statusTexts().contains(missing));
        QCOMPARE(fx->statusColourOf(missing), QColor(255, 0, 0));
        QVERIFY(!fx->statusTexts().contains(QStringLiteral("Executing Cue 3.")));
        QCOMPARE(fx->selected(), 3);
        // The damaged file: red, with its name, and the next cue follows.
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return fx->processes().showCount() == 0; }));
        const QString unplayable = QStringLiteral("Warning:  File Can Not Be Played!  junk.wav");
        QVERIFY(fx->statusTexts().contains(unplayable));
        QCOMPARE(fx->statusColourOf(unplayable), QColor(255, 0, 0));
        QVERIFY(fx->statusTexts().contains(QStringLiteral("Executing Cue 4.")));
        QCOMPARE(fx->player(1)->FileName(), fx->dir.filePath(QStringLiteral("ShowFiles/bare.wav")));
    }

    // A channel that already plays the file is neither reloaded nor moved back; its volume
    // goes straight to the cue's.
    void playingChannelIsNotReloaded() {
        const QString a = fx->wav("a.wav", 3, 4.0);
        CueSpec s;
        s.end = 4;
        s.volume = -1000;
        s.autoStart = false;
        CueSpec again = s;
        again.volume = -200;
        again.start = 2.5;
        fx->setShow({PlayCue(a, s), PlayCue(a, again)});
        goAndSettle();
        QVERIFY(fx->waitFor([&] { return fx->player(0)->CurrentPosition() > 0.4; }));
        QVERIFY(fx->transport().tmrBlinkGo->isActive()); // the next cue begins on Go
        int lowest = 0;
        fx->when([] { return true; }, [&] { lowest = fx->player(0)->Volume(); }, 0);
        const double before = fx->player(0)->CurrentPosition();
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return fx->processes().showCount() == 0; }));
        QCOMPARE(fx->player(0)->Volume(), -200);
        QVERIFY(lowest != -4000);
        QVERIFY(fx->player(0)->CurrentPosition() >= before);
        QVERIFY(fx->player(0)->CurrentPosition() < 2.5);
        QCOMPARE(fx->player(0)->SelectionStart(), 2.5);
    }

    // Pause, Stop and Change Rate act on their channel; the chaining goes on at once.
    void pauseStopAndRate() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        CueSpec s;
        s.end = 3;
        s.autoStart = false;
        CueSpec on2 = s;
        on2.channel = 2;
        on2.rate = 1.5;
        fx->setShow({PlayCue(a, s), PlayCue(a, on2), ActionCue(1, 0, s), ActionCue(6, 0, on2),
                     ActionCue(2, 0, on2)});
        for (int i = 0; i < 5; ++i)
            goAndSettle();
        QCOMPARE(fx->player(0)->PlayState(), 1);
        QCOMPARE(fx->player(2)->Rate(), 1.5);
        // Stopped, and the meters (which run inside the waits) empty it.
        QVERIFY(fx->player(2)->PlayState() == 0 || fx->player(2)->PlayState() == 6);
        fx->mixer().tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(fx->mixer().lblChannels[0]), Mixer::PausedColour());
        QCOMPARE(fx->player(2)->FileName(), QString());
    }

    // Trigger Specific Cue selects its target by position and fires it when it begins on
    // Auto; a target of 1 is refused as an automatic GO.
    void triggerSpecificCue() {
        CueSpec s;
        CueSpec go = s;
        go.autoStart = false;
        fx->setShow({ActionCue(8, 1, go), ActionCue(5, 4, s), ActionCue(8, 1, go),
                     ActionCue(8, 1, s), ActionCue(5, 1, go)});
        fx->cues().SelectRow(2);
        goAndSettle();
        QVERIFY(fx->statusTexts().contains(QStringLiteral("Executing Cue 4.")));
        QVERIFY(!fx->statusTexts().contains(QStringLiteral("Executing Cue 3.")));
        QCOMPARE(fx->selected(), 5);
        goAndSettle(); // cue 5 triggers cue 1, which an automatic GO may not fire
        QCOMPARE(fx->selected(), 1);
        QCOMPARE(fx->statusTexts().count(QStringLiteral("Executing Cue 1.")), 0);
    }

    // A loaded show whose numbers are not its positions plays the row GO fired, and the
    // messages give the row's own number.
    void theFiredRowRunsWhateverItsNumber() {
        const QString a = fx->wav("a.wav", 1, 2.0);
        const QString b = fx->wav("b.wav", 2, 2.0);
        CueSpec s;
        s.end = 2;
        s.autoStart = false;
        Fields first = PlayCue(a, s);
        first[0] = QStringLiteral("2.5");
        Fields second = PlayCue(b, s);
        second[0] = QStringLiteral("40");
        fx->setShow({first, second});
        fx->cues().SelectRow(2);
        goAndSettle();
        QCOMPARE(fx->player(0)->FileName(), b);
        QCOMPARE(fx->cues().ListView1Tag, QStringLiteral("40"));
        QVERIFY(!fx->statusTexts().contains(QStringLiteral("Warning:  File Does Not Exist!  ")));
    }

    // Buffer Sound loads the channel muted, pre-rolls a second and parks it paused at 0; a Play
    // Sound of the same file then starts without a reload. A Play within the second
    // interrupts the buffering.
    void bufferSoundThenPlay() {
        const QString a = fx->wav("a.wav", 6, 3.0);
        CueSpec s;
        s.end = 3;
        s.start = 0.5;
        s.autoStart = false;
        s.channel = 1;
        fx->setShow({Cue(7, QStringLiteral("0"), a, s), PlayCue(a, s)});
        goAndSettle();
        const QStringList t = fx->statusTexts();
        QVERIFY(t.contains(QStringLiteral("Channel 2 : Buffering...")));
        QCOMPARE(fx->statusColourOf(QStringLiteral("Channel 2 : Buffering Complete.")),
                 QColor(0, 255, 0));
        QCOMPARE(fx->player(1)->PlayState(), 1);
        QCOMPARE(fx->player(1)->Tag, QStringLiteral("Buffer"));
        QVERIFY(fx->player(1)->Mute());
        QCOMPARE(fx->player(1)->CurrentPosition(), 0.0);
        // The status line goes back to the newest line without "Buffer" two seconds later.
        QVERIFY(fx->waitFor([&] { return !fx->statusLine().contains(QStringLiteral("Buffer")); },
                            3000));
        int loads = 0;
        QObject::connect(fx->player(1), &MediaPlayer::PlayStateChange, [&](int st) {
            if (st == 6) ++loads;
        });
        const std::int64_t before = fx->now();
        goAndSettle();
        QCOMPARE(loads, 0);
        QCOMPARE(fx->player(1)->PlayState(), 2);
        QVERIFY(!fx->player(1)->Mute());
        QVERIFY(fx->player(1)->Tag.isEmpty());
        QVERIFY(fx->waitFor([&] { return fx->firstSound(before) >= 0; }));
        QVERIFY(fx->waitFor([&] { return fx->now() > fx->firstSound(before) + 1000; }));
        QCOMPARE(fx->heard(fx->firstSound(before) + 500).id, 6);
        QVERIFY(std::abs(fx->heard(fx->firstSound(before) + 500).t - 0.51) < 0.02);

        // Within the second: interrupted, and the channel keeps playing.
        fx->transport().Command3_Click();
        fx->setShow({Cue(7, QStringLiteral("0"), a, s), PlayCue(a, s)});
        fx->when([&] { return fx->player(1)->Tag == QLatin1String("Buffer"); },
                 [&] {
                     fx->cues().SelectRow(2);
                     fx->operatorGo();
                 });
        goAndSettle();
        QVERIFY(fx->waitFor([&] { return fx->statusTexts().contains(
                                          QStringLiteral("Channel 2 : Buffering Interrupted.")); }));
        QCOMPARE(fx->statusColourOf(QStringLiteral("Channel 2 : Buffering Interrupted.")),
                 QColor(255, 255, 0));
        // The buffering cue left the channel alone: not paused, not muted, no mark.
        QVERIFY(fx->player(1)->PlayState() != 1);
        QVERIFY(!fx->player(1)->Mute());
        QVERIFY(fx->player(1)->Tag.isEmpty());
    }

    // Wait For End of Iteration: the status names the next cue; the wait ends near the end
    // marker minus the tolerance, and also when the loop wraps, the channel stops or the show
    // is halted.
    void iterationWaitEndsAtTheMark() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        CueSpec loop;
        loop.end = 1.5;
        loop.count = 0;
        loop.autoStart = false;
        CueSpec wait = loop;
        wait.autoStart = true;
        fx->setShow({PlayCue(a, loop), ActionCue(3, 80, wait), ActionCue(2, 0, wait)});
        goAndSettle();
        double at = -1;
        fx->operatorGo();
        fx->when([&] { return fx->statusTexts().contains(QStringLiteral("Executing Cue 3.")); },
                 [&] { at = fx->player(0)->CurrentPosition(); }, 0);
        QVERIFY(fx->waitFor([&] { return fx->processes().showCount() == 0; }, 4000));
        QVERIFY(fx->statusTexts().contains(
            QStringLiteral("Executing Cue 3 - Awaiting end of loop iteration...")));
        QVERIFY(IterationPending);
        QVERIFY(fx->player(0)->PlayState() != 2); // cue 3 stopped the loop (the meters may
                                                  // have emptied it since)
        QVERIFY2(at == 0 || at > 1.40, qPrintable(QString::number(at)));

        // Tolerance 0 on an endless loop never passes the mark: the wrap ends it.
        fx->setShow({PlayCue(a, loop), ActionCue(3, 0, wait), ActionCue(2, 0, wait)});
        goAndSettle();
        fx->operatorGo();
        QVERIFY(fx->waitFor([&] { return fx->processes().showCount() == 0; }, 4000));
        QVERIFY(fx->player(0)->PlayState() != 2);

        // A paused channel ends the wait at once.
        fx->setShow({PlayCue(a, loop), ActionCue(1, 0, loop), ActionCue(3, 0, wait)});
        goAndSettle();
        goAndSettle();
        goAndSettle(500);
        QCOMPARE(fx->processes().showCount(), 0);
    }

    // A Delay followed by a cue "Along With": that cue runs first; a Delay ended by Stop starts
    // nothing more.
    void delayAndItsLookAhead() {
        CueSpec s;
        CueSpec along = s;
        along.when = 0;
        fx->setShow({ActionCue(8, 400, s), ActionCue(8, 1, along), ActionCue(8, 1, s)});
        QElapsedTimer t;
        t.start();
        goAndSettle();
        QVERIFY(t.elapsed() >= 400);
        const QStringList h = fx->statusTexts();
        QVERIFY(h.indexOf(QStringLiteral("Executing Cue 2.")) <
                h.lastIndexOf(QStringLiteral("Delaying:  ")));
        // Cue 2 was fired by the look-ahead; cue 3 after cue 2 executed; row 1 is refused.
        QVERIFY(h.contains(QStringLiteral("Executing Cue 3.")));
        QCOMPARE(h.count(QStringLiteral("Executing Cue 1.")), 1);

        fx->setShow({ActionCue(8, 1500, s), ActionCue(8, 1, s)});
        fx->after(400, [&] { fx->transport().Command3_Click(); });
        const int seen = fx->statusTexts().size();
        t.restart();
        goAndSettle();
        QVERIFY(t.elapsed() < 1400);
        QVERIFY(!fx->statusTexts().mid(seen).contains(QStringLiteral("Executing Cue 2.")));
        QCOMPARE(fx->running(), QStringLiteral("0"));
    }

    // "Any Available" for an action other than Play names no player: nothing is touched, the
    // chaining goes on and nothing stays running.
    void anyAvailableOutsidePlayTouchesNothing() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        CueSpec s;
        s.end = 3;
        CueSpec any = s;
        any.channel = 4;
        any.speed = 5;
        any.volume = -2000;
        fx->setShow({PlayCue(a, s), ActionCue(1, 0, any), ActionCue(3, 0, any),
                     ActionCue(4, 0, any), Cue(7, QStringLiteral("0"), a, any),
                     ActionCue(6, 0, any), ActionCue(2, 0, any)});
        goAndSettle();
        QVERIFY(fx->waitFor([&] { return fx->processes().fadeCount() == 0; }, 1000));
        QVERIFY(fx->statusTexts().contains(QStringLiteral("Executing Cue 7.")));
        QCOMPARE(fx->player(0)->PlayState(), 2);
        QCOMPARE(fx->player(0)->Volume(), 0);
        for (int i = 1; i < 4; ++i)
            QCOMPARE(fx->player(i)->PlayState(), 6);
        QCOMPARE(fx->running(), QStringLiteral("0"));
    }
};

QTEST_MAIN(CueProcessTest)
#include "test_cue_process.moc"
