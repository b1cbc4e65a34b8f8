// The cue process and its nine actions, through GO on the real main window.

#include "PlaybackFixture.h"

using namespace playtest;

class CueProcessTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> fx;

private slots:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    // A missing file ends the process without chaining; an unplayable one lets the show go on.
    void mediaIsLookedUpAndReported() {
        QVERIFY(QDir(fx->dir.path()).mkpath(QStringLiteral("ShowFiles")));
        const QString bare = fx->wav(QStringLiteral("ShowFiles/bare.wav"), 4, 2.0);
        QFile junk(fx->dir.filePath(QStringLiteral("junk.wav")));
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write(QByteArray(5000, 'x')) == 5000);
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

    // A channel already playing the file is not reloaded nor moved back; the volume jumps.
    void playingChannelIsNotReloaded() {
        const QString a = fx->wav("a.wav", 3, 4.0);
        fx->setShow({PlayCue(a, {.autoStart = false, .volume = -1000, .end = 4}),
                     PlayCue(a, {.autoStart = false, .volume = -200, .start = 2.5, .end = 4})});
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->waitFor([&] { return fx->player(0)->CurrentPosition() > 0.4; }));
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

    // Trigger addresses rows by position and never fires row 1 itself.
    void triggerAndSimpleActions() {
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

        const QString a = fx->wav("a.wav", 1, 3.0);
        const CueSpec on1{.autoStart = false, .end = 3};
        const CueSpec on3{.autoStart = false, .channel = 2, .rate = 1.5, .end = 3};
        fx->setShow({PlayCue(a, on1), PlayCue(a, on3), ActionCue(1, 0, on1), ActionCue(6, 0, on3),
                     ActionCue(2, 0, on3)});
        for (int i = 0; i < 5; ++i)
            QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->PlayState(), 1);
        QCOMPARE(fx->player(2)->Rate(), 1.5);
        // The meters run inside the waits and may have emptied the stopped channel already.
        QVERIFY(fx->player(2)->PlayState() == 0 || fx->player(2)->PlayState() == 6);
        fx->mixer().tmrChannelUpdate_Timer();
        QCOMPARE(TextColour(fx->mixer().lblChannels[0]), QColor(255, 255, 0));
        QCOMPARE(fx->player(2)->FileName(), QString());
    }

    // A loaded show whose numbers are not its positions plays the row GO fired.
    void theFiredRowRunsWhateverItsNumber() {
        Fields first = PlayCue(fx->wav("a.wav", 1, 2.0), {.autoStart = false, .end = 2});
        first[0] = QStringLiteral("2.5");
        Fields second = PlayCue(fx->wav("b.wav", 2, 2.0), {.autoStart = false, .end = 2});
        second[0] = QStringLiteral("40");
        fx->setShow({first, second});
        fx->cues().SelectRow(2);
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->FileName(), second[5]);
        QCOMPARE(fx->cues().ListView1Tag, QStringLiteral("40"));
        QVERIFY(!fx->statusTexts().join('\n').contains(QStringLiteral("File Does Not Exist")));
    }

    // A Play after the buffering needs no reload; a Play during it interrupts it.
    void bufferSoundThenPlay() {
        const QString a = fx->wav("a.wav", 6, 3.0);
        const CueSpec s{.autoStart = false, .channel = 1, .start = 0.5, .end = 3};
        const QList<Fields> show{Cue(7, "0", a, s), PlayCue(a, s)};
        fx->setShow(show);
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->has("Channel 2 : Buffering..."));
        QCOMPARE(fx->colourOf("Channel 2 : Buffering Complete."), QColor(0, 255, 0));
        MediaPlayer* p = fx->player(1);
        QCOMPARE(p->PlayState(), 1);
        QCOMPARE(p->CurrentPosition(), 0.0);
        // The meters keep the buffered channel muted while the status line is restored.
        QVERIFY(fx->waitFor([&] { return !fx->statusLine().contains("Buffer"); }, 3000));
        QVERIFY(p->Mute());
        int loads = 0;
        QObject::connect(p, &MediaPlayer::PlayStateChange, [&](int st) { loads += st == 6; });
        const std::int64_t before = fx->rendered;
        QVERIFY(fx->goAndSettle());
        QCOMPARE(loads, 0);
        QCOMPARE(p->PlayState(), 2);
        QVERIFY(!p->Mute() && p->Tag.isEmpty());
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
        QVERIFY(p->PlayState() != 1);
        QVERIFY(!p->Mute() && p->Tag.isEmpty());
    }

    // Also ends on a wrap without passing the mark (tolerance 0) and on a paused channel.
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

    // Only Play Sound picks a channel for "Any Available": the lowest free one, else channel 1.
    void anyAvailableOutsidePlayTouchesNothing() {
        const QString a = fx->wav("a.wav", 1, 3.0);
        const QString b = fx->wav("b.wav", 2, 3.0);
        const CueSpec any{.channel = 4, .volume = -2000, .speed = 5, .end = 3};
        fx->setShow({PlayCue(a, {.end = 3}), ActionCue(1, 0, any), ActionCue(3, 0, any),
                     ActionCue(4, 0, any), Cue(7, "0", a, any), ActionCue(6, 0, any),
                     ActionCue(2, 0, any), PlayCue(b, {.channel = 4, .end = 3})});
        QVERIFY(fx->goAndSettle());
        QVERIFY(fx->waitFor([&] { return fx->running() == QLatin1String("0"); }, 1000));
        QCOMPARE(fx->player(1)->FileName(), b);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(fx->player(i)->PlayState(), i < 2 ? 2 : 6);
            QCOMPARE(fx->player(i)->Volume(), 0);
        }
        for (int i = 2; i < 4; ++i) {
            fx->player(i)->setFileName(a);
            fx->player(i)->Play();
        }
        fx->player(2)->Pause();
        fx->cues().SelectRow(8);
        QVERIFY(fx->goAndSettle());
        QCOMPARE(fx->player(0)->FileName(), b);
        QCOMPARE(fx->statusLine(), QStringLiteral("CUE 8 WARNING:  No Channels Available!"));
        QVERIFY(!fx->has(fx->statusLine()));
    }
};

QTEST_MAIN(CueProcessTest)
#include "test_cue_process.moc"
