// The marker editor: mapping, drags, band and captions, nudges and keys, Play From Here, Edit.

#include "MediaFixture.h"
#include "media/MarkerGeometry.h"

using namespace sorvane;
using namespace sorvane::testing;

class MarkerEditorTest : public QObject, MediaFixture {
    Q_OBJECT

    // The operator's acts in the modal editor; then it is cancelled if a failed check left it open.
    void whileOpen(std::function<void(Form5&)> act) {
        media->onEditorShown = [act](Form5& form) {
            act(form);
            if (!form.isUnloaded()) form.Command3_Click();
        };
    }
    // Drags marker `i` to the cursor at `x` twips in the graph through the timer.
    static void drag(Form5& form, int i, double x) {
        form.pctMarker_MouseDown(i);
        form.cursorXTw = [x] { return x; };
        form.Timer1_Timer();
        form.pctMarker_MouseUp(i);
    }

private slots:
    void init() { open(); }

    void mappingAndClamps() {
        const MarkerGeometry g{15, 8715, 120}; // a usable width of 8625 twips
        QCOMPARE(g.GetAnyPos(60), 8625.0 / 2);
        QCOMPARE(g.TimeAt(1234.5678), RoundHalfEven(120 * 1234.5678 / 8625, 4));
        QCOMPARE(g.TimeAt(-10), 0.0);
        QCOMPARE(g.TimeAt(8715 - 70), 120.0); // beyond the usable width: the length
        QCOMPARE((MarkerGeometry{15, 8715, 10.00049}.TimeAt(9000)), 10.0);
        // The dragged left edge stays within -35 .. width - 70; the end marker keeps 25 twips
        // right of the start marker or goes to start + 5.
        QCOMPARE(g.DragLeft(0, -31, 0), -35.0);
        QCOMPARE(g.DragLeft(0, -30, 0), -30.0);
        QCOMPARE(g.DragLeft(0, 9000, 0), 8715.0 - 70);
        QCOMPARE(g.DragLeft(1, 1025, 1000), 1025.0);
        QCOMPARE(g.DragLeft(1, 1024, 1000), 1005.0);
        QCOMPARE(g.PlayFromHere(8715 - 70), 120.0);
        const MarkerGeometry zero{15, 8715, 0}; // a length of 0: everything at the left, 0 s
        QCOMPARE(zero.GetAnyPos(5), 0.0);
        QCOMPARE(zero.TimeAt(4000), 0.0);
        QCOMPARE(zero.PlayFromHere(4000), 0.0);
    }

    void bandCaptionsAndMouseMoves() {
        auto form = openEditor(5, 5.05); // both markers within 100 twips of 4330
        QCOMPARE(form->Picture1->bandLeftTw, 4312.5);
        QCOMPARE(form->Picture1->bandWidthTw, 43.125);
        // The end caption keeps 100 twips right of the start caption.
        const double startRight = form->CaptionLeftTw(0) + WidthTw(form->lblPositionMarker[0]);
        QCOMPARE(form->CaptionLeftTw(1), startRight + 100);
        // {buttons, x, marker dragged after the move}: the end marker wins when both are in
        // reach, the right button starts nothing, a drag goes on until a move with no button.
        const int moves[][3] = {{1, 4330, 1}, {0, 4330, -1}, {2, 4330, -1}, {1, 100, -1},
                                {1, 4240, 0}, {1, 6000, 0},  {0, 6000, -1}};
        for (const auto& m : moves) {
            form->Picture1_MouseMove(m[0], m[1]);
            QCOMPARE(DragMarker, std::int16_t(m[2]));
        }
        drag(*form, 0, 6000); // the start past the end hides the band
        QVERIFY(!form->Picture1->bandVisible);
    }

    void repeatedStartDragsLeaveTheEndAlone() {
        auto form = openEditor(1, 7.3456);
        for (double x : {100.0, 900.0, 2500.0, 300.0, 1700.0}) {
            drag(*form, 0, x);
            QCOMPARE(form->MediaPlayer1->SelectionEnd(), 7.3456);
        }
        drag(*form, 0, 862.5); // back where it began, the start reads as it was set
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 1.0);
    }

    void closingDuringPreRollEndsThePreview() {
        auto form = openEditor(2, 6);
        form->Check1->setChecked(true);
        QTimer::singleShot(200, form.get(), [&] { form->Command3_Click(); });
        form->Command2_Click();
        QVERIFY(form->isUnloaded());
        QVERIFY(!form->Timer1->isActive());
        QVERIFY(form->MediaPlayer1->PlayState() != 2);
    }

    void playFromHereAndZeroLength() {
        auto form = openEditor(0, 10);
        form->Picture1_MouseDown(2, 4287.4);
        form->mnuHidden->hide();
        form->Picture1_MouseDown(1, 100); // a left press is no right-click
        form->mnuPlayFromHere_Click();
        QVERIFY(std::abs(form->MediaPlayer1->CurrentPosition() - 10 * 4357.0 / 8715) < 0.01);
        QCOMPARE(form->MediaPlayer1->PlayState(), 2);
        form->MediaPlayer1->Stop();
        const auto nudge = [&](const QString& caption) {
            for (QPushButton* b : form->cmdNudge)
                if (b->text() == caption) b->click();
        };
        nudge("< .5s"); // not below 0
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 0.0);
        nudge(".05s >");
        form->Option1[1]->setChecked(true);
        for (const char* caption : {".5s >", "< .1s", "< .05s", ".1s >"})
            nudge(caption); // not beyond the length
        QVERIFY(std::abs(form->MediaPlayer1->SelectionEnd() - 9.95) < 1e-12);
        // "]" sets the end at the play position; any key but "[" and "]" is swallowed.
        form->MediaPlayer1->setCurrentPosition(6.5);
        form->Text1->setText("]");
        QCOMPARE(form->MediaPlayer1->SelectionEnd(), 6.5);
        form->Text1->setText("x");
        QCOMPARE(form->Text1->text(), QString());
        MediaLength = 0; // everything stands at the left and reads 0
        drag(*form, 1, 3000);
        QCOMPARE(form->MediaPlayer1->SelectionEnd(), 0.0);
        form->mnuPlayFromHere_Click();
        QCOMPARE(form->MediaPlayer1->CurrentPosition(), 0.0);
    }

    void editDoneWritesBackUnchanged() {
        // A bare name is looked up in the show's media folder.
        QVERIFY(QDir(dir.path()).mkpath("ShowFiles"));
        QVERIFY(QFile::copy(path("ten.wav"), path("ShowFiles/bare.wav")));
        ShowFolder = dir.path() + '/';
        fields->file = "bare.wav";
        fields->start = "1.2345";
        fields->end = "8.7654";
        int mainTicks = 0;
        QTimer mainTimer; // a timer of the main window goes on while the editor is open
        connect(&mainTimer, &QTimer::timeout, [&] { ++mainTicks; });
        mainTimer.start(5);
        whileOpen([&](Form5& form) {
            QTRY_VERIFY(mainTicks > 3);
            QTRY_VERIFY(!form.Picture1->picture.isNull()); // drawn when the modal show activates
            QVERIFY(form.Picture1->bandVisible);
            form.Command1->click();
        });
        media->Command6_Click();
        QCOMPARE(fields->log, QStringList({"Start=1.2345", "End=8.7654"}));
        QTRY_VERIFY(media->editor() == nullptr);
    }

    void editCancelAfterDragWritesNothing() {
        fields->file = path("ten.wav");
        fields->start = "abc"; // not a number: taken as 0
        fields->end = "9";
        double startSeen = -1, dragged = -1;
        whileOpen([&](Form5& form) {
            startSeen = form.MediaPlayer1->SelectionStart();
            drag(form, 0, 3000);
            dragged = form.MediaPlayer1->SelectionStart();
            form.Command3->click();
        });
        media->Command6_Click();
        QCOMPARE(startSeen, 0.0);
        QVERIFY(dragged > 3);
        QVERIFY(fields->log.isEmpty());
    }

    void editWithoutUsableFileShowsTheMessage() {
        // The last, a file the player refuses: the editor is closed before the message.
        for (const QString& name : {QString("0"), QString(), path("none.wav"), path("junk.wav")}) {
            shell->scripted.clearCalls();
            fields->file = name;
            bool editorOpen = false;
            shell->scripted.onMessage = [&] {
                editorOpen = media->editor() && !media->editor()->isUnloaded();
            };
            media->Command6_Click();
            QCOMPARE(shell->scripted.calls().size(), 1);
            QCOMPARE(shell->scripted.calls()[0].text, kNoMediaText);
            QVERIFY(!editorOpen);
        }
        QVERIFY(fields->log.isEmpty());
    }
};

QTEST_MAIN(MarkerEditorTest)
#include "test_marker_editor.moc"
