// The marker editor: mapping, drags, band and captions, nudges and keys, Play From Here, Edit.

#include "MediaFixture.h"
#include "media/MarkerGeometry.h"

using namespace sorvane;
using namespace sorvane::testing;

class MarkerEditorTest : public QObject, MediaFixture {
    Q_OBJECT

    // Edit on a cue with these fields: `act` in the modal editor, then Cancel if it is still open.
    void edit(const QString& file, const QString& start, const QString& end,
              std::function<void(Form5&)> act) {
        fields->file = file, fields->start = start, fields->end = end;
        media->onEditorShown = [act](Form5& form) {
            act(form);
            if (!form.isUnloaded()) form.Command3_Click();
        };
        media->Command6_Click();
    }
    // Drags marker `i` to the cursor at `x` twips in the graph through the timer.
    static void drag(Form5& form, int i, double x) {
        form.pctMarker_MouseDown(i, 1);
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
        // A dragged left edge: -35 .. width - 70; the end 25 right of the start, or at start + 5.
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
        QCOMPARE(form->CaptionLeftTw(0), 810 + 4312.5 - 160);
        QCOMPARE(form->ArrowLeftTw(0), 810 + 4312.5 + 30);
        QCOMPARE(form->ArrowLeftTw(1), 810 + 4355.625 + 30);
        QCOMPARE(form->lblPositionMarker[0]->text(), QString("Start: 5 s"));
        QCOMPARE(form->lblPositionMarker[1]->text(), QString("End: 5.05 s"));
        const double startRight = form->CaptionLeftTw(0) + WidthTw(form->lblPositionMarker[0]);
        QCOMPARE(form->CaptionLeftTw(1), startRight + 100);
        const int moves[][3] = {{1, 4330, 1}, {0, 4330, -1}, {2, 4330, -1}, {1, 100, -1},
                                {1, 4240, 0}, {1, 6000, 0},  {0, 6000, -1}};
        for (const auto& m : moves) {
            form->Picture1_MouseMove(m[0], m[1]);
            QCOMPARE(DragMarker, std::int16_t(m[2]));
        }
        drag(*form, 1, 8000); // a drag tick: the arrow without the 30 twips
        QCOMPARE(form->MarkerLeftTw(1), 8000.0);
        QCOMPARE(form->ArrowLeftTw(1), 810 + 8000.0);
        QCOMPARE(form->CaptionLeftTw(1), 810 + 8000.0 - 160);
        drag(*form, 0, 8500); // the start past the end hides the band
        QCOMPARE(form->CaptionLeftTw(0), 810 + 8500.0 - 160);
        QVERIFY(!form->Picture1->bandVisible);
    }

    void startDragsAndTheTick() {
        auto form = openEditor(1, 7.3456);
        for (double x : {100.0, 900.0, 2500.0, 300.0, 1700.0}) {
            drag(*form, 0, x);
            QCOMPARE(form->MediaPlayer1->SelectionEnd(), 7.3456);
        }
        drag(*form, 0, 862.5); // back where it began, the start reads as it was set
        QCOMPARE(form->MediaPlayer1->SelectionStart(), 1.0);
        form->cursorXTw = [] { return 5000.0; }; // the tick moves the play-head, also in a drag
        for (bool dragging : {false, true}) {
            form->MediaPlayer1->setCurrentPosition(dragging ? 7.5 : 2.5);
            DragMarker = dragging ? 0 : -1;
            form->Timer1_Timer();
            const double head = 8625 * (dragging ? 0.75 : 0.25);
            QCOMPARE(form->PositionLeftTw(), head);
            QCOMPARE(form->pctPosition->x(), qRound(head / TwipsPerPixel()));
        }
        QCOMPARE(form->MarkerLeftTw(0), 5000.0);
    }

    void loopPreviewPreRollsMuted() {
        auto form = openEditor(2, 6);
        struct Seen {
            bool muted, buffering, ticking;
            double position;
        } during{};
        form->Check1->setChecked(true);
        QTimer::singleShot(400, form.get(), [&] {
            during = {form->MediaPlayer1->Mute(), form->Label13->isVisibleTo(form.get()),
                      form->Timer1->isActive(), form->MediaPlayer1->CurrentPosition()};
        });
        QElapsedTimer clock;
        clock.start();
        form->Command2_Click();
        QVERIFY(clock.elapsed() >= 950); // a second of pre-roll
        QVERIFY(during.muted && during.buffering && !during.ticking);
        QVERIFY(during.position >= 5.45 && during.position < 5.95);
        QVERIFY(!form->MediaPlayer1->Mute() && !form->Label13->isVisibleTo(form.get()));
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->MediaPlayer1->PlayCount(), 0);
        QVERIFY(std::abs(form->MediaPlayer1->CurrentPosition() - 2) < 0.1);
        QCOMPARE(form->Command2->text(), QString("Stop"));
        QVERIFY(form->pctPosition->isVisibleTo(form.get()));
        form->Command2_Click();
        QCOMPARE(form->Command2->text(), QString("Play"));
        QVERIFY(!form->pctPosition->isVisibleTo(form.get()));
        form->Check1->setChecked(false); // once, at once, from the start marker
        clock.restart();
        form->Command2_Click();
        QVERIFY(clock.elapsed() < 500);
        QCOMPARE(form->MediaPlayer1->PlayCount(), 1);
        QVERIFY(std::abs(form->MediaPlayer1->CurrentPosition() - 2) < 0.1);
        form->Command2_Click();
        form->Check1->setChecked(true); // closed during the pre-roll: the preview ends
        QTimer::singleShot(200, form.get(), [&] { form->Command3_Click(); });
        form->Command2_Click();
        QVERIFY(form->isUnloaded() && !form->Timer1->isActive());
        QVERIFY(form->MediaPlayer1->PlayState() != 2);
    }

    void rightClickOnMarkerOpensTheMenuAndDragsNothing() {
        auto form = openEditor(4, 8);
        form->show();
        form->cursorXTw = [] { return 7000.0; };
        QWidget* marker = form->pctMarker[0];
        QTest::mousePress(marker, Qt::RightButton, {}, QPoint(0, 5));
        QCOMPARE(DragMarker, std::int16_t(-1));
        QTRY_VERIFY(form->mnuHidden->isVisible());
        QVERIFY(std::abs(GraphClickX - marker->x() * TwipsPerPixel()) <= 1);
        form->Timer1_Timer();
        QCOMPARE(form->MarkerLeftTw(0), 3450.0);
        form->mnuHidden->hide();
        QTest::mouseRelease(marker, Qt::RightButton, {}, QPoint(0, 5));
        QTest::mousePress(marker, Qt::LeftButton, {}, QPoint(0, 5));
        QCOMPARE(DragMarker, std::int16_t(0));
        QTest::mouseRelease(marker, Qt::LeftButton, {}, QPoint(0, 5));
        QCOMPARE(DragMarker, std::int16_t(-1));
    }

    void coloursOfMarkersAndTheirControls() {
        auto form = openEditor(1, 2);
        const QColor green(128, 255, 128), red(255, 128, 128);
        const struct {
            QWidget* widget;
            QPalette::ColorRole role;
            QColor colour;
        } table[] = {{form->Option1[0], QPalette::WindowText, green},
                     {form->Option1[1], QPalette::WindowText, red},
                     {form->Label13, QPalette::WindowText, QColor(255, 255, 0)},
                     {form->pctMarker[0], QPalette::Window, green},
                     {form->pctMarker[1], QPalette::Window, red},
                     {form->pctPosition, QPalette::Window, QColor(255, 255, 128)}};
        for (const auto& t : table)
            QCOMPARE(t.widget->palette().color(t.role), t.colour);
        const QImage graph = form->Picture1->grab().toImage();
        const int y = graph.height() / 2, px = qRound(1293.75 / TwipsPerPixel());
        QCOMPARE(graph.pixelColor(px, y), QColor(0, 0, 128));
        QCOMPARE(graph.pixelColor(px + qRound(1000 / TwipsPerPixel()), y), QColor(Qt::black));
        QCOMPARE(form->Option1[0]->text(), QString("Start Position"));
        QCOMPARE(form->Option1[1]->text(), QString("End Position"));
        QCOMPARE(form->Label13->text(), QString("Buffering..."));
    }

    void playFromHereAndZeroLength() {
        auto form = openEditor(0, 10);
        form->show();
        form->Picture1_MouseDown(2, 4287.4);
        form->mnuHidden->hide();
        form->Picture1_MouseDown(1, 100);
        form->Command4->setFocus();
        form->mnuPlayFromHere_Click();
        QVERIFY(std::abs(form->MediaPlayer1->CurrentPosition() - 10 * 4357.0 / 8715) < 0.01);
        QCOMPARE(form->MediaPlayer1->PlayState(), 2);
        QTest::keyClick(form->focusWidget(), ']');
        QVERIFY(std::abs(form->MediaPlayer1->SelectionEnd() - 10 * 4357.0 / 8715) < 0.05);
        form->MediaPlayer1->Stop();
        form->MediaPlayer1->setSelectionEnd(10);
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
        form->MediaPlayer1->setCurrentPosition(6.5);
        form->Text1->setText("]");
        QCOMPARE(form->MediaPlayer1->SelectionEnd(), 6.5);
        form->Text1->setText("x");
        QCOMPARE(form->Text1->text(), QString());
        MediaLength = 0;
        drag(*form, 1, 3000);
        QCOMPARE(form->MediaPlayer1->SelectionEnd(), 0.0);
        form->mnuPlayFromHere_Click();
        QCOMPARE(form->MediaPlayer1->CurrentPosition(), 0.0);
    }

    void editDoneWritesBackUnchanged() {
        QVERIFY(QDir(dir.path()).mkpath("ShowFiles"));
        QVERIFY(QFile::copy(path("ten.wav"), path("ShowFiles/bare.wav")));
        ShowFolder = dir.path() + '/';
        int mainTicks = 0;
        QTimer mainTimer; // the main window's timers go on while the editor is open
        connect(&mainTimer, &QTimer::timeout, [&] { ++mainTicks; });
        mainTimer.start(5);
        edit("bare.wav", "1.2345", "8.7654", [&](Form5& form) {
            QTRY_VERIFY(mainTicks > 3);
            QTRY_VERIFY(!form.Picture1->picture.isNull()); // drawn when the modal show activates
            QCOMPARE(form.Label2->text(), QString("bare.wav"));
            QCOMPARE(form.Label4->text(), QString("10 s"));
            QVERIFY(form.Picture1->bandVisible);
            form.Command1->click();
        });
        QCOMPARE(fields->log, QStringList({"Start=1.2345", "End=8.7654"}));
        QTRY_VERIFY(media->editor() == nullptr);
    }

    void editCancelAfterDragWritesNothing() {
        double dragged = -1;
        edit(path("ten.wav"), "abc", "9", [&](Form5& form) {
            QCOMPARE(form.MediaPlayer1->SelectionStart(), 0.0);
            form.MediaPlayer1->setCurrentPosition(4.25);
            QVERIFY(form.focusWidget());
            QTest::keyClick(form.focusWidget(), '[');
            QCOMPARE(form.MediaPlayer1->SelectionStart(), 4.25);
            QCOMPARE(form.lblPositionMarker[0]->text(), QString("Start: 4.25 s"));
            drag(form, 0, 3000);
            dragged = form.MediaPlayer1->SelectionStart();
            form.Command3->click();
        });
        QVERIFY(dragged > 3);
        QVERIFY(fields->log.isEmpty());
    }

    void editWithoutUsableFileShowsTheMessage() {
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
