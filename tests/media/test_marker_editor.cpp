// The position-marker editor: the mapping between seconds and twips, the drag and its clamps,
// the markers' band, captions and arrows, the nudges, Set Start and Set End with their keys,
// the preview, Play From Here, and Edit with Done and Cancel through the fields.

#include "MediaFixture.h"
#include "core/Module1.h"
#include "core/StoredValue.h"
#include "core/Twips.h"
#include "media/Form5.h"
#include "media/MarkerGeometry.h"
#include "media/MediaCommands.h"
#include "platform/engine/MediaPlayer.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace sorvane;
using namespace sorvane::testing;

class MarkerEditorTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<TestShell> shell;
    std::unique_ptr<RecordingFields> fields;
    std::unique_ptr<MediaCommands> media;
    QString wav10;

    // An editor on the 10-second file with the given markers, as Edit opens it.
    std::unique_ptr<Form5> openEditor(double start, double end) {
        auto form = std::make_unique<Form5>(*engine, *fields, nullptr);
        form->MediaPlayer1->setFileName(wav10);
        MediaLength = form->MediaPlayer1->SelectionEnd();
        form->MediaPlayer1->setSelectionStart(start);
        form->MediaPlayer1->setSelectionEnd(end);
        form->SetMarkers();
        return form;
    }

    // What the operator does inside the modal editor; the editor is cancelled afterwards if it
    // was left open (a failed check), so that no test waits on it.
    void whileOpen(std::function<void(Form5&)> act) {
        media->onEditorShown = [act](Form5& form) {
            act(form);
            if (!form.isUnloaded()) form.Command3_Click();
        };
    }

    // Drags marker `i` to the cursor at `x` twips in the graph through the timer.
    void drag(Form5& form, int i, double x) {
        form.pctMarker_MouseDown(i);
        form.cursorXTw = [x] { return x; };
        form.Timer1_Timer();
        form.pctMarker_MouseUp(i);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        wav10 = dir.filePath(QStringLiteral("ten.wav"));
        QVERIFY(WriteWav(wav10, 10.0));
        engine = std::make_unique<AudioEngine>(OfflineEngine());
        QCOMPARE(TwipsPerPixel(), 15.0);
    }
    void cleanupTestCase() { engine.reset(); }

    void init() {
        shell = std::make_unique<TestShell>();
        fields = std::make_unique<RecordingFields>();
        media = std::make_unique<MediaCommands>(*shell, *engine, *fields, &shell->window);
        media->setParent(nullptr);
        ShowFolder.clear();
        DragMarker = -1;
    }
    void cleanup() {
        media.reset();
        fields.reset();
        shell.reset();
    }

    void mappingAndClamps() {
        MarkerGeometry g{15, 8715, 120};
        QCOMPARE(g.usableWidth(), 8625.0);
        QCOMPARE(g.GetAnyPos(60), 8625.0 / 2);
        QCOMPARE(g.TimeAt(8625.0 / 2), 60.0);
        QCOMPARE(g.GetAnyPos(-1), -8625.0 / 120);  // no bounds
        QCOMPARE(g.TimeAt(-10), 0.0);
        QCOMPARE(g.TimeAt(8715 - 70), 120.0);       // beyond W: the length
        const MarkerGeometry odd{15, 8715, 10.00049};
        QCOMPARE(odd.TimeAt(9000), 10.0);
        QCOMPARE(g.TimeAt(1234.5678), RoundHalfEven(120 * 1234.5678 / 8625, 4));
        // The drag: the left edge follows the cursor within -35 .. width - 70.
        QCOMPARE(g.DragLeft(0, 2000, 0), 2000.0);
        QCOMPARE(g.DragLeft(0, -31, 0), -35.0);
        QCOMPARE(g.DragLeft(0, -30, 0), -30.0);
        QCOMPARE(g.DragLeft(0, 9000, 0), 8715.0 - 70);
        // The end marker keeps 25 twips right of the start marker, or goes to start + 5.
        QCOMPARE(g.DragLeft(1, 1025, 1000), 1025.0);
        QCOMPARE(g.DragLeft(1, 1024, 1000), 1005.0);
        QCOMPARE(g.DragLeft(1, 200, 1000), 1005.0);
        QCOMPARE(g.DragLeft(0, 200, 1000), 200.0); // the start marker may pass the end
        QVERIFY(MarkerGeometry::InReach(1000, 901) && MarkerGeometry::InReach(1000, 1099));
        QVERIFY(!MarkerGeometry::InReach(1000, 900) && !MarkerGeometry::InReach(1000, 1100));
        QCOMPARE(g.PlayFromHere(8715 - 70), 120.0);
        // A media length of 0 maps everything to the left end and every time to 0.
        MarkerGeometry zero{15, 8715, 0};
        QCOMPARE(zero.GetAnyPos(5), 0.0);
        QCOMPARE(zero.TimeAt(4000), 0.0);
        QCOMPARE(zero.PlayFromHere(4000), 0.0);
    }

    void markersBandCaptionsAndArrows() {
        auto form = openEditor(2.5, 7.5);
        QCOMPARE(MediaLength, 10.0);
        QCOMPARE(form->MarkerLeftTw(0), 8625 * 0.25);
        QCOMPARE(form->MarkerLeftTw(1), 8625 * 0.75);
        QVERIFY(form->Picture1->bandVisible);
        QCOMPARE(form->Picture1->bandLeftTw, 8625 * 0.25);
        QCOMPARE(form->Picture1->bandWidthTw, 8625 * 0.5);
        QCOMPARE(form->lblPositionMarker[0]->text(), QStringLiteral("Start: 2.5 s"));
        QCOMPARE(form->lblPositionMarker[1]->text(), QStringLiteral("End: 7.5 s"));
        QCOMPARE(form->CaptionLeftTw(0), 810 + 8625 * 0.25 - 160);
        QCOMPARE(form->ArrowLeftTw(1), 810 + 8625 * 0.75 + 30);
        QCOMPARE(form->GetMarkerPos(0), 2.5);
        QCOMPARE(form->GetMarkerPos(1), 7.5);
        // Markers close together: the end caption keeps 100 twips right of the start caption.
        form->MediaPlayer1->setSelectionEnd(2.6);
        form->SetMarkers();
        const double startRight = form->CaptionLeftTw(0) + WidthTw(form->lblPositionMarker[0]);
        QCOMPARE(form->CaptionLeftTw(1), startRight + 100);
        // The start past the end hides the band.
        form->MediaPlayer1->setSelectionStart(3);
        form->SetMarkers();
        QVERIFY(!form->Picture1->bandVisible);
    }

    void dragsFollowTheCursorWithinClamps() {
        auto form = openEditor(2, 8);
        drag(*form, 0, -500);
        QCOMPARE(form->MarkerLeftTw(0), -35.0);
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 0.0);
        drag(*form, 1, 20000);
        QCOMPARE(form->MarkerLeftTw(1), 8715.0 - 70);
        QCOMPARE(form->MediaPlayer1->SelectionEnd(), 10.0);
        drag(*form, 0, 4312.5);
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 5.0);
        drag(*form, 1, 4000);
        QCOMPARE(form->MarkerLeftTw(1), 4312.5 + 5);
        QCOMPARE(form->ArrowLeftTw(1), 810 + 4312.5 + 5); // no 30 twips while dragging
        // The caption shows the selection as it stood before the tick.
        form->pctMarker_MouseDown(0);
        form->cursorXTw = [] { return 862.5; };
        form->Timer1_Timer();
        QCOMPARE(form->lblPositionMarker[0]->text(), QStringLiteral("Start: 5 s"));
        form->Timer1_Timer();
        QCOMPARE(form->lblPositionMarker[0]->text(), QStringLiteral("Start: 1 s"));
        form->pctMarker_MouseUp(0);
        // Without a drag the timer moves only the play-head.
        form->MediaPlayer1->setCurrentPosition(5);
        form->cursorXTw = [] { return 100.0; };
        form->Timer1_Timer();
        QCOMPARE(form->PositionLeftTw(), 4312.5);
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 1.0);
    }

    void repeatedStartDragsLeaveTheEndAlone() {
        auto form = openEditor(1, 7.3456);
        for (double x : {100.0, 900.0, 2500.0, 300.0, 1700.0}) {
            drag(*form, 0, x);
            QCOMPARE(form->MediaPlayer1->SelectionEnd(), 7.3456);
        }
        // Ending up where it began, the start reads back as it was set.
        drag(*form, 0, 862.5);
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 1.0);
    }

    void mouseMovesStartAndEndDrags() {
        auto form = openEditor(5, 5.05); // both markers within 100 twips of 4330
        form->Picture1_MouseMove(1, 4330);
        QCOMPARE(DragMarker, std::int16_t(1)); // the end marker wins
        form->Picture1_MouseMove(0, 4330);
        QCOMPARE(DragMarker, std::int16_t(-1));
        form->Picture1_MouseMove(2, 4330); // right button alone starts nothing
        QCOMPARE(DragMarker, std::int16_t(-1));
        form->Picture1_MouseMove(1, 100); // out of reach
        QCOMPARE(DragMarker, std::int16_t(-1));
        form->Picture1_MouseMove(1, 4240);
        QCOMPARE(DragMarker, std::int16_t(0));
        // A drag begun on the graph goes on until a move with no button.
        form->Picture1_MouseMove(1, 6000);
        QCOMPARE(DragMarker, std::int16_t(0));
        form->Picture1_MouseMove(0, 6000);
        QCOMPARE(DragMarker, std::int16_t(-1));
    }

    void nudgesKeepTheirBounds() {
        auto form = openEditor(0.2, 9.7);
        QVERIFY(form->Option1[0]->isChecked());
        form->cmdNudge_Click(0); // "< .5s" at 0.2
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 0.0);
        form->cmdNudge_Click(3);
        form->cmdNudge_Click(5);
        QVERIFY(std::abs(form->MediaPlayer1->SelectionStart() - 0.55) < 1e-12);
        QCOMPARE(form->lblPositionMarker[0]->text(), QStringLiteral("Start: 0.55 s"));
        form->Option1[1]->setChecked(true);
        form->cmdNudge_Click(3); // ".5s >" 0.3 s before the end
        QCOMPARE(form->MediaPlayer1->SelectionEnd(), 10.0);
        form->cmdNudge_Click(1);
        form->cmdNudge_Click(4);
        QVERIFY(std::abs(form->MediaPlayer1->SelectionEnd() - 9.85) < 1e-12);
        const QString captions[6] = {"< .5s", "< .1s", ".1s >", ".5s >", "< .05s", ".05s >"};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(form->cmdNudge[static_cast<size_t>(i)]->text(), captions[i]);
    }

    void setStartSetEndAndKeys() {
        auto form = openEditor(1, 9);
        form->MediaPlayer1->setCurrentPosition(3.25);
        form->Text1->setText(QStringLiteral("["));
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 3.25);
        QCOMPARE(form->Text1->text(), QString());
        form->MediaPlayer1->setCurrentPosition(6.5);
        form->Text1->setText(QStringLiteral("]"));
        QCOMPARE(form->MediaPlayer1->SelectionEnd(), 6.5);
        QCOMPARE(form->MarkerLeftTw(1), 8625 * 0.65);
        form->Text1->setText(QStringLiteral("x")); // swallowed
        QCOMPARE(form->Text1->text(), QString());
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 3.25);
        form->MediaPlayer1->setCurrentPosition(4);
        form->Command4_Click();
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 4.0);
        form->Command5_Click();
        QCOMPARE(form->MediaPlayer1->SelectionEnd(), 4.0);
    }

    void previewPlaysOnceOrLoopsAfterPreRoll() {
        auto form = openEditor(2, 6);
        form->Command2_Click();
        QCOMPARE(form->Command2->text(), QStringLiteral("Stop"));
        QCOMPARE(form->MediaPlayer1->PlayState(), 2);
        QCOMPARE(form->MediaPlayer1->PlayCount(), 1);
        QVERIFY(!form->MediaPlayer1->Mute());
        QVERIFY(form->pctPosition->isVisibleTo(form.get()));
        form->Command2_Click();
        QCOMPARE(form->Command2->text(), QStringLiteral("Play"));
        QVERIFY(!form->pctPosition->isVisibleTo(form.get()));
        // Loop: a muted second from half a second before the end marker, "Buffering..."
        // shown and the timer paused, then the start marker unmuted, endlessly.
        form->Check1->setChecked(true);
        bool buffering = false, timerPaused = false, muted = false;
        double preRollAt = -1;
        QTimer::singleShot(300, form.get(), [&] {
            buffering = form->Label13->isVisibleTo(form.get());
            timerPaused = !form->Timer1->isActive();
            muted = form->MediaPlayer1->Mute();
            preRollAt = form->MediaPlayer1->SelectionEnd();
        });
        form->Command2_Click();
        QVERIFY(buffering && timerPaused && muted);
        QCOMPARE(preRollAt, 6.0);
        QVERIFY(!form->Label13->isVisibleTo(form.get()));
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->MediaPlayer1->PlayCount(), 0);
        QVERIFY(!form->MediaPlayer1->Mute());
        QCOMPARE(form->MediaPlayer1->PlayState(), 2);
    }

    void oneTimePreviewTurnsBackToPlayAtItsEnd() {
        auto form = openEditor(1, 1.2);
        form->Command2_Click();
        QCOMPARE(form->Command2->text(), QStringLiteral("Stop"));
        std::vector<float> out(2 * 4800);
        for (int i = 0; i < 10 && form->MediaPlayer1->PlayState() == 2; ++i) {
            engine->renderOffline(out.data(), 4800); // 0.1 s at a time
            engine->deliverEvents();
        }
        QCOMPARE(form->MediaPlayer1->PlayState(), 0);
        QCOMPARE(form->Command2->text(), QStringLiteral("Play"));
        QVERIFY(!form->pctPosition->isVisibleTo(form.get()));
    }

    void closingDuringPreRollEndsThePreview() {
        auto form = openEditor(2, 6);
        form->Check1->setChecked(true);
        QTimer::singleShot(200, form.get(), [&] { form->Command3_Click(); });
        form->Command2_Click();
        QVERIFY(form->isUnloaded());
        QVERIFY(!form->Timer1->isActive());
        QVERIFY(form->MediaPlayer1->PlayState() != 2);
        QVERIFY(fields->log.isEmpty());
    }

    void playFromHereAndZeroLength() {
        auto form = openEditor(0, 10);
        form->Picture1_MouseDown(2, 4287.4);
        QCOMPARE(GraphClickX, std::int16_t(4287));
        form->mnuHidden->hide();
        form->mnuPlayFromHere_Click();
        QVERIFY(std::abs(form->MediaPlayer1->CurrentPosition() - 10 * 4357.0 / 8715) < 0.01);
        QCOMPARE(form->MediaPlayer1->PlayState(), 2);
        form->MediaPlayer1->Stop();
        form->Picture1_MouseDown(1, 100); // a left press is no right-click
        QCOMPARE(GraphClickX, std::int16_t(4287));
        // With a length of 0 everything stands at the left and reads 0.
        MediaLength = 0;
        form->SetMarkers();
        QCOMPARE(form->MarkerLeftTw(0), 0.0);
        QCOMPARE(form->MarkerLeftTw(1), 0.0);
        drag(*form, 1, 3000);
        QCOMPARE(form->MediaPlayer1->SelectionEnd(), 0.0);
        form->mnuPlayFromHere_Click();
        QCOMPARE(form->MediaPlayer1->CurrentPosition(), 0.0);
    }

    void editDoneWritesBackUnchanged() {
        fields->file = wav10;
        fields->start = QStringLiteral("1.2345");
        fields->end = QStringLiteral("8.7654");
        bool shown = false;
        int mainTicks = 0;
        QTimer mainTimer; // a timer of the main window goes on while the editor is open
        connect(&mainTimer, &QTimer::timeout, [&] { ++mainTicks; });
        mainTimer.start(5);
        whileOpen([&](Form5& form) {
            shown = true;
            QTRY_VERIFY(mainTicks > 3);
            QVERIFY(form.isVisible());
            QCOMPARE(form.windowModality(), Qt::ApplicationModal);
            QCOMPARE(form.windowTitle(), QStringLiteral("Edit Position Markers"));
            QCOMPARE(form.Label2->text(), wav10);
            QCOMPARE(form.Label4->text(), QStringLiteral("10 s"));
            QCOMPARE(MediaLength, 10.0);
            QCOMPARE(form.GetMarkerPos(0), 1.2345);
            QCOMPARE(form.GetMarkerPos(1), 8.7654);
            form.Command1->click();
        });
        media->Command6_Click();
        QVERIFY(shown);
        QCOMPARE(fields->log, QStringList({QStringLiteral("Start=1.2345"),
                                           QStringLiteral("End=8.7654")}));
        QTRY_VERIFY(media->editor() == nullptr);
    }

    void editCancelAfterDragWritesNothing() {
        fields->file = wav10;
        fields->start = QStringLiteral("abc"); // not a number: taken as 0
        fields->end = QStringLiteral("9");
        double startSeen = -1;
        whileOpen([&](Form5& form) {
            startSeen = form.MediaPlayer1->SelectionStart();
            form.pctMarker_MouseDown(0);
            form.cursorXTw = [] { return 3000.0; };
            form.Timer1_Timer();
            form.pctMarker_MouseUp(0);
            form.Command3->click();
        });
        media->Command6_Click();
        QCOMPARE(startSeen, 0.0);
        QVERIFY(fields->log.isEmpty());
        QVERIFY(shell->scripted.calls().isEmpty());
    }

    void editFindsBareNameUnderShowFiles() {
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("show/ShowFiles")));
        QVERIFY(QFile::copy(wav10, dir.filePath(QStringLiteral("show/ShowFiles/bare.wav"))));
        ShowFolder = dir.filePath(QStringLiteral("show")) + QLatin1Char('/');
        fields->file = QStringLiteral("bare.wav");
        fields->end = QStringLiteral("4");
        QString label;
        whileOpen([&](Form5& form) {
            label = form.Label2->text();
            // The modal show's activation draws the waveform and shows the band.
            QTRY_VERIFY(!form.Picture1->picture.isNull());
            QVERIFY(form.Picture1->bandVisible);
            form.cmdNudge_Click(3);
            form.Command1_Click();
        });
        media->Command6_Click();
        QCOMPARE(label, QStringLiteral("bare.wav"));
        QCOMPARE(fields->log, QStringList({QStringLiteral("Start=0.5"), QStringLiteral("End=4")}));
    }

    void editWithoutUsableFileShowsTheMessage() {
        for (const QString& name : {QStringLiteral("0"), QString(), QStringLiteral("/no/such.wav")}) {
            shell->scripted.clearCalls();
            fields->file = name;
            media->Command6_Click();
            QCOMPARE(shell->scripted.calls().size(), 1);
            QCOMPARE(shell->scripted.calls()[0].text, kNoMediaText);
            QCOMPARE(shell->scripted.calls()[0].buttons, MsgButtons::OK);
        }
        // A file the player does not take: the editor is closed before the message.
        const QString junk = dir.filePath(QStringLiteral("junk.wav"));
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(3000, 'j'));
        f.close();
        fields->file = junk;
        bool editorOpen = true;
        shell->scripted.onMessage = [&] {
            editorOpen = media->editor() && !media->editor()->isUnloaded();
        };
        shell->scripted.clearCalls();
        media->Command6_Click();
        QCOMPARE(shell->scripted.calls().size(), 1);
        QVERIFY(!editorOpen);
        QVERIFY(fields->log.isEmpty());
    }
};

QTEST_MAIN(MarkerEditorTest)
#include "test_marker_editor.moc"
