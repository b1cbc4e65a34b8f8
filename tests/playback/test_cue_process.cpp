// The cue process and its nine actions, through GO on the real main window: the channel
// chosen, the media found, what the players are told, the status lines, the chaining and the
// early ends.

#include "PlaybackFixture.h"

using namespace playtest;

class CueProcessTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    // "Any Available" takes the lowest channel that is stopped or closed; with none free it
    // warns on the status line alone (not in the history) and plays on channel 1.
    void anyAvailableChoosesTheLowestFreeChannel() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        const QString b = fx->wav("b.wav", 2, 3.0);
        fx->setShow({PlayCue(a, {.end = 3}), PlayCue(b, {.channel = 4, .end = 3})});
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(1)->FileName(), b);
        for (int i = 1; i < 4; ++i) {
            fx->player(i)->setFileName(a);
            fx->player(i)->Play();
        }
        fx->player(2)->Pause();
        const qsizetype history = fx->statusTexts().size();
        fx->cues().SelectRow(2);
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->FileName(), b);
        QCOMPARE(fx->statusLine(), QStringLiteral("CUE 2 WARNING:  No Channels Available!"));
        QVERIFY(!fx->statusTexts().mid(history).contains(fx->statusLine()));
    }

    // A bare name is found in the show's media folder; a file found nowhere is reported in
    // red and ends the process without chaining; a file that cannot be played is reported in
    // red and the show goes on.
    void mediaIsLookedUpAndReported() {
        QVERIFY(QDir(fx->dir.path()).mkpath(QStringLiteral("ShowFiles")));
        const QString bare = fx->wav(QStringLiteral("ShowFiles/bare.wav"), 4, 2.0);
        QFile junk(fx->dir.filePath(QStringLiteral("junk.wav")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(5000, 'x'));
        junk.close();
        const CueSpec next{.channel = 1, .end = 2};
        fx->setShow({PlayCue("bare.wav", {.end = 2}), PlayCue("gone.wav", next),
                     PlayCue(junk.fileName(), next), PlayCue("bare.wav", next)});
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->FileName(), bare);
        QCOMPARE(fx->colourOf("Warning:  File Does Not Exist!  gone.wav"), QColor(255, 0, 0));
        QVERIFY(!fx->has("Executing Cue 3."));
        QCOMPARE(fx->selected(), 3);
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->colourOf("Warning:  File Can Not Be Played!  junk.wav"), QColor(255, 0, 0));
        QVERIFY(fx->has("Executing Cue 4."));
        QCOMPARE(fx->player(1)->FileName(), bare);
    }

    // A channel that already plays the file is neither reloaded nor moved back; its volume
    // goes straight to the cue's.
    void playingChannelIsNotReloaded() {
        const QString a = fx->wav("a.wav", 3, 4.0);
        fx->setShow({PlayCue(a, {.autoStart = false, .volume = -1000, .end = 4}),
                     PlayCue(a, {.autoStart = false, .volume = -200, .start = 2.5, .end = 4})});
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->waitFor([&] { return fx->player(0)->CurrentPosition() > 0.4; }));
        QVERIFY(fx->transport().tmrBlinkGo->isActive());
        int lowest = 0;
        fx->when([] { return true; }, [&] { lowest = fx->player(0)->Volume(); }, 0);
        const double before = fx->player(0)->CurrentPosition();
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->Volume(), -200);
        QVERIFY(lowest != -4000);
        QVERIFY(fx->player(0)->CurrentPosition() >= before);
        QVERIFY(fx->player(0)->CurrentPosition() < 2.5);
        QCOMPARE(fx->player(0)->SelectionStart(), 2.5);
    }

    // Pause, Stop and Change Rate act on their channel; the chaining goes on at once.
    void pauseStopAndRate() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        const CueSpec on1{.autoStart = false, .end = 3};
        const CueSpec on3{.autoStart = false, .channel = 2, .rate = 1.5, .end = 3};
        fx->setShow({PlayCue(a, on1), PlayCue(a, on3), ActionCue(1, 0, on1), ActionCue(6, 0, on3),
                     ActionCue(2, 0, on3)});
        for (int i = 0; i < 5; ++i)
            QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->PlayState(), 1);
        QCOMPARE(fx->player(2)->Rate(), 1.5);
        // Stopped, and the meters (which run inside the waits) may have emptied it already.
        QVERIFY(fx->player(2)->PlayState() == 0 || fx->player(2)->PlayState() == 6);
        fx->mixer().tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(fx->mixer().lblChannels[0]), QColor(255, 255, 0));
        QCOMPARE(fx->player(2)->FileName(), QString());
    }

    // Trigger Specific Cue selects its target by position and fires it when it begins on
    // Auto; a target of 1 is refused as an automatic GO.
    void triggerSpecificCue() {
        const CueSpec onGo{.autoStart = false};
        fx->setShow({ActionCue(8, 1, onGo), ActionCue(5, 4), ActionCue(8, 1, onGo), ActionCue(8, 1),
                     ActionCue(5, 1, onGo)});
        fx->cues().SelectRow(2);
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->has("Executing Cue 4."));
        QVERIFY(!fx->has("Executing Cue 3."));
        QCOMPARE(fx->selected(), 5);
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->selected(), 1);
        QVERIFY(!fx->has("Executing Cue 1."));
    }

    // A loaded show whose numbers are not its positions plays the row GO fired, and the
    // messages give the row's own number.
    void theFiredRowRunsWhateverItsNumber() {
        const QString a = fx->wav("a.wav", 1, 2.0);
        const QString b = fx->wav("b.wav", 2, 2.0);
        Fields first = PlayCue(a, {.autoStart = false, .end = 2});
        first[0] = QStringLiteral("2.5");
        Fields second = PlayCue(b, {.autoStart = false, .end = 2});
        second[0] = QStringLiteral("40");
        fx->setShow({first, second});
        fx->cues().SelectRow(2);
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->FileName(), b);
        QCOMPARE(fx->cues().ListView1Tag, QStringLiteral("40"));
        QVERIFY(!fx->statusTexts().join('\n').contains(QStringLiteral("File Does Not Exist")));
    }

    // Buffer Sound loads the channel muted, pre-rolls a second and parks it paused at 0; a Play
    // Sound of the same file then starts from its marker without a reload. A Play within the
    // second interrupts the buffering.
    void bufferSoundThenPlay() {
        const QString a = fx->wav("a.wav", 6, 3.0);
        const CueSpec s{.autoStart = false, .channel = 1, .start = 0.5, .end = 3};
        const QList<Fields> show{Cue(7, QStringLiteral("0"), a, s), PlayCue(a, s)};
        fx->setShow(show);
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->has("Channel 2 : Buffering..."));
        QCOMPARE(fx->colourOf("Channel 2 : Buffering Complete."), QColor(0, 255, 0));
        MediaPlayer* p = fx->player(1);
        QCOMPARE(p->PlayState(), 1);
        QCOMPARE(p->CurrentPosition(), 0.0);
        // The status line then goes back to the newest line without "Buffer"; the meters
        // keep the buffered channel muted meanwhile.
        QVERIFY(fx->waitFor([&] { return !fx->statusLine().contains("Buffer"); }, 3000));
        QVERIFY(p->Mute());
        int loads = 0;
        QObject::connect(p, &MediaPlayer::PlayStateChange, [&](int st) { loads += st == 6; });
        const std::int64_t before = fx->now();
        QVERIFY(fx->goAndSettle());
        QCOMPARE(loads, 0);
        QCOMPARE(p->PlayState(), 2);
        QVERIFY(!p->Mute());
        QVERIFY(p->Tag.isEmpty());
        const Heard h = fx->heardAfter(before, 500);
        QCOMPARE(h.id, 6);
        QVERIFY(std::abs(h.t - 0.51) < 0.02);

        fx->transport().Command3_Click();
        fx->setShow(show);
        fx->when([&] { return p->Tag == QLatin1String("Buffer"); },
                 [&] {
                     fx->cues().SelectRow(2);
                     fx->operatorGo();
                 });
        QVERIFY(fx->goAndSettle());
        const QString interrupted = QStringLiteral("Channel 2 : Buffering Interrupted.");
        QVERIFY(fx->waitFor([&] { return fx->has(interrupted); }));
        QCOMPARE(fx->colourOf(interrupted), QColor(255, 255, 0));
        // The buffering cue left the playing channel alone: not paused, not muted, no mark.
        QVERIFY(p->PlayState() != 1);
        QVERIFY(!p->Mute());
        QVERIFY(p->Tag.isEmpty());
    }

    // Wait For End of Iteration names the next cue and ends near the end marker minus the
    // tolerance; it also ends when the loop wraps without passing the mark (tolerance 0 on an
    // endless loop) and when its channel is paused.
    void iterationWaitEndsAtTheMark() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        const CueSpec loop{.autoStart = false, .count = 0, .end = 1.5};
        const CueSpec wait{.count = 0, .end = 1.5};
        fx->setShow({PlayCue(a, loop), ActionCue(3, 80, wait), ActionCue(2, 0, wait)});
        QVERIFY(fx->goAndSettle());
        double at = -1;
        fx->when([&] { return fx->has("Executing Cue 3."); },
                 [&] { at = fx->player(0)->CurrentPosition(); }, 0);
        QVERIFY(fx->goAndSettle(4000));
        QVERIFY(fx->has("Executing Cue 3 - Awaiting end of loop iteration..."));
        QVERIFY(IterationPending);
        QVERIFY(fx->player(0)->PlayState() != 2);
        QVERIFY2(at == 0 || at > 1.40, qPrintable(QString::number(at)));

        fx->setShow({PlayCue(a, loop), ActionCue(3, 0, wait), ActionCue(2, 0, wait)});
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->goAndSettle(4000));
        QVERIFY(fx->player(0)->PlayState() != 2);

        fx->setShow({PlayCue(a, loop), ActionCue(1, 0, loop), ActionCue(3, 0, wait)});
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->goAndSettle(1000));
    }

    // A Delay followed by a cue "Along With": that cue runs first (the look-ahead); a Delay
    // ended by Stop starts nothing more.
    void delayAndItsLookAhead() {
        fx->setShow({ActionCue(8, 400), ActionCue(8, 1, {.when = 0}), ActionCue(8, 1)});
        QElapsedTimer t;
        t.start();
        QVERIFY(fx->goAndSettle());
        QVERIFY(t.elapsed() >= 400);
        const QStringList h = fx->statusTexts();
        QVERIFY(h.indexOf(QStringLiteral("Executing Cue 2.")) <
                h.lastIndexOf(QStringLiteral("Delaying:  ")));
        QVERIFY(h.contains(QStringLiteral("Executing Cue 3.")));
        QCOMPARE(h.count(QStringLiteral("Executing Cue 1.")), 1);

        fx->setShow({ActionCue(8, 1500), ActionCue(8, 1)});
        QTimer::singleShot(400, fx->form.get(), [&] { fx->transport().Command3_Click(); });
        const qsizetype seen = fx->statusTexts().size();
        t.restart();
        QVERIFY(fx->goAndSettle());
        QVERIFY(t.elapsed() < 1400);
        QVERIFY(!fx->statusTexts().mid(seen).contains(QStringLiteral("Executing Cue 2.")));
        QCOMPARE(fx->running(), QStringLiteral("0"));
    }

    // "Any Available" for an action other than Play names no player: nothing is touched, the
    // chaining goes on and nothing stays running.
    void anyAvailableOutsidePlayTouchesNothing() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        const CueSpec any{.channel = 4, .volume = -2000, .speed = 5, .end = 3};
        fx->setShow({PlayCue(a, {.end = 3}), ActionCue(1, 0, any), ActionCue(3, 0, any),
                     ActionCue(4, 0, any), Cue(7, QStringLiteral("0"), a, any),
                     ActionCue(6, 0, any), ActionCue(2, 0, any)});
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->waitFor([&] { return fx->processes().fadeCount() == 0; }, 1000));
        QVERIFY(fx->has("Executing Cue 7."));
        QCOMPARE(fx->player(0)->PlayState(), 2);
        QCOMPARE(fx->player(0)->Volume(), 0);
        for (int i = 1; i < 4; ++i)
            QCOMPARE(fx->player(i)->PlayState(), 6);
        QCOMPARE(fx->running(), QStringLiteral("0"));
    }
};

QTEST_MAIN(CueProcessTest)
#include "test_cue_process.moc"
