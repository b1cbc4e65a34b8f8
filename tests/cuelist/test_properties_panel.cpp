// The properties panel: loading the selected cue, the fields that write it, the selectors
// and the rows they show, the wheel, and the jump box.

#include "CueListDriver.h"
#include <QtTest/qtestspontaneevent.h>
#include <functional>

using namespace sorvane;
using namespace sorvane::testing;

class PropertiesPanelTest : public QObject, CueListDriver {
    Q_OBJECT

private slots:
    void init() { open(); }
    void cleanup() { form.reset(); }

    void theWheelChangesOnlyAControlClickedFirst() {
        load({Play("1"), Cue("2", "8", "2500")});
        clickRow(2);
        // The panel's own filter counts the notches passed on to it.
        struct Counter : QObject {
            int wheels = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Wheel) ++wheels;
                return false;
            }
        } counter;
        pn().installEventFilter(&counter);
        auto notch = [](QWidget* w, Qt::KeyboardModifiers modifiers, int delta = -120) {
            const QPointF at(w->width() / 2.0, w->height() / 2.0);
            QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
            // Delivered as the window system's own event, which goes on to the parents.
            QSpontaneKeyEvent::setSpontaneous(&e);
            qApp->notify(w, &e);
        };
        const Qt::KeyboardModifiers mods[] = {Qt::NoModifier, Qt::ControlModifier,
                                              Qt::ShiftModifier, Qt::AltModifier};
        QVERIFY(!pn().cboAction()->hasFocus());
        for (int i = 0; i < 5; ++i)
            notch(pn().cboAction(), mods[i % 4], i % 2 ? 120 : -120);
        QCOMPARE(value(2, kAction), StoredValue::int32(8));
        QCOMPARE(value(2, kActionCue), StoredValue::text("2500"));
        QCOMPARE(pn().cboAction()->currentIndex(), 8);
        notch(pn().cboWhen(), Qt::NoModifier);
        QCOMPARE(pn().cboWhen()->currentIndex(), 1);

        clickRow(1);
        for (QSlider* slider : {pn().sldVolume(), pn().sldRate(), pn().sldSpeed()})
            for (Qt::KeyboardModifiers modifier : mods)
                notch(slider, modifier);
        QCOMPARE(value(1, kVolume), StoredValue::int32(-1000));
        QCOMPARE(value(1, kRate), StoredValue::text("1"));
        QCOMPARE(value(1, kFadeSpeed), StoredValue::int32(5));
        QCOMPARE(pn().sldVolume()->value(), 3000);
        QCOMPARE(counter.wheels, 6 + 12);

        // A click on the slider gives it the wheel.
        QSlider* volume = pn().sldVolume();
        QTest::mouseClick(volume, Qt::LeftButton, {}, HandleCentre(volume));
        QVERIFY(volume->hasFocus());
        QCOMPARE(volume->value(), 3000);
        notch(volume, Qt::NoModifier, 120);
        QVERIFY(volume->value() != 3000);
        QCOMPARE(value(1, kVolume), StoredValue::int32(volume->value() - 4000));
        QCOMPARE(counter.wheels, 18);
    }

    // --- loading the selected cue ------------------------------------------------------------
    void loadOrderKeepsTheCuesOwnValues() {
        load({Cue("1", "3", "120"),
              {"2", "Slow", "0", "0", "0", "0", "-1000", "0.333", "0", "2", "5", "0", "0", "0"}});
        // The iteration cue keeps its tolerance, not the selector's proposal.
        QCOMPARE(pn().txtAction()->text(), QStringLiteral("120"));
        QCOMPARE(value(1, kActionCue), StoredValue::text("120"));
        QCOMPARE(pn().lblAction1()->text(), QStringLiteral("Tolerance (ms):"));
        QCOMPARE(text(1, kAction), QStringLiteral("Iteration"));
        QVERIFY(shown(2));
        QVERIFY(!shown(3));

        clickRow(2);
        QCOMPARE(pn().sldRate()->value(), 33);
        QCOMPARE(pn().txtRate()->text(), QStringLiteral("0.33"));
        QCOMPARE(value(2, kRate), StoredValue::text("0.33"));
        QCOMPARE(pn().sldVolume()->value(), 3000);
        QCOMPARE(pn().txtVolume()->text(), QStringLiteral("75"));
        QCOMPARE(value(2, kVolume), StoredValue::int32(-1000));
        QCOMPARE(text(2, kVolume), QStringLiteral("75%"));
        QCOMPARE(value(2, kFadeSpeed), StoredValue::int32(5));
        QVERIFY(pn().optChannel(2)->isChecked());
        QCOMPARE(value(2, kChannel), StoredValue::int16(2));
        QCOMPARE(value(2, kPlayCount), StoredValue::text("0"));
        QCOMPARE(text(2, kPlayCount), QStringLiteral("%"));
        QCOMPARE(pn().lblAction1()->text(), QStringLiteral("Value:"));
        // Moving the selection with the keys loads the cue like a click.
        ed().ListView1()->setFocus();
        QTest::keyClick(ed().ListView1(), Qt::Key_Up);
        QCOMPARE(ed().SelectedIndex(), 1);
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("1"));
        QCOMPARE(pn().txtAction()->text(), QStringLiteral("120"));
        // A row whose number differs from its position shows its position.
        load({Play("7"), Play("9")});
        clickRow(2);
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("2"));
        QCOMPARE(m().row(1).text, QStringLiteral("9"));
    }

    void valuesNoControlCanTakeStayInTheirRow() {
        // Row 2 holds values that are no numbers; row 3 numbers no control can take: a
        // volume above 0, a rate beyond 2, a fade speed beyond 10, begin-on and channel codes
        // without an option button.
        load({Play("1"),
              {"2", "Odd", "0", "3", "", "0", "loud", "1", "1", "2", "x", "many", "abc", "3"},
              {"3", "Big", "0", "0", "0", "0", "500", "5", "3", "7", "20", "1", "0", "0"}});
        clickRow(2);
        // The controls show the row, not cue 1 loaded before.
        QCOMPARE(pn().txtAction()->text(), QString());
        QCOMPARE(pn().txtPlayCount()->text(), QStringLiteral("many"));
        QCOMPARE(pn().txtStartPos()->text(), QStringLiteral("abc"));
        QCOMPARE(pn().txtVolume()->text(), QString());
        QCOMPARE(pn().sldVolume()->value(), 0);
        QCOMPARE(pn().sldSpeed()->value(), 0);
        const QStringList kept{"loud", "", "many", "abc", "x"};
        const int keptFields[] = {kVolume, kActionCue, kPlayCount, kSelectionStart, kFadeSpeed};
        for (int i = 0; i < kept.size(); ++i)
            QCOMPARE(value(2, keptFields[i]), StoredValue::text(kept[i]));
        QCOMPARE(value(2, kSelectionEnd), StoredValue::number(3)); // a marker becomes a number

        clickRow(3);
        QCOMPARE(pn().sldVolume()->value(), 4000);
        QCOMPARE(pn().txtVolume()->text(), QStringLiteral("112.5"));
        QCOMPARE(pn().sldRate()->value(), 200);
        QCOMPARE(pn().txtRate()->text(), QStringLiteral("5"));
        QCOMPARE(pn().sldSpeed()->value(), 10);
        for (int i = 0; i < kBeginOnCount; ++i)
            QVERIFY(!pn().optBeginOn(i)->isChecked());
        for (int i = 0; i < kChannelCount; ++i)
            QVERIFY(!pn().optChannel(i)->isChecked());
        const QStringList held{"500", "5", "20", "3", "7"};
        const int heldFields[] = {kVolume, kRate, kFadeSpeed, kBeginOn, kChannel};
        for (int i = 0; i < held.size(); ++i)
            QCOMPARE(value(3, heldFields[i]), StoredValue::text(held[i]));
        QCOMPARE(text(3, kChannel), QStringLiteral("8")); // a code above 4 shows as it reads
        // A nudge starts from this cue's level, not from cue 1's -1000.
        QSlider* volume = pn().sldVolume();
        volume->setFocus();
        QTest::keyClick(volume, Qt::Key_Left);
        QCOMPARE(value(3, kVolume), StoredValue::int32(-1));
        QCOMPARE(value(1, kVolume), StoredValue::int32(-1000));

        // Loading twice gives the same row: a load only rewrites forms, never values.
        clickRow(1);
        std::vector<StoredValue> first;
        for (int k = 1; k <= kSubItemCount; ++k)
            first.push_back(value(1, k));
        clickRow(1);
        for (int k = 1; k <= kSubItemCount; ++k)
            QCOMPARE(value(1, k), first[static_cast<size_t>(k - 1)]);
    }

    // Texts longer than a text box holds by default and delays beyond 16 bits: a load
    // cuts none of them, and an edited delay loads back as typed.
    void longValuesSurviveALoad() {
        const QString description(40000, QLatin1Char('d'));
        const QString path = "/shows/" + QString(40000, QLatin1Char('f'));
        load({{"1", description, "0", "0", "0", path, "0", "1", "0", "0", "0", "1", "0", "0"},
              Cue("2", "8", "40000")});
        QCOMPARE(value(1, kDescription), StoredValue::text(description));
        QCOMPARE(text(1, kDescription), description);
        QCOMPARE(value(1, kFile), StoredValue::text(path));
        QCOMPARE(pn().txtDescription()->text(), description);
        QCOMPARE(pn().txtFile()->text(), path);
        QCOMPARE(lastStatus(), "Cue 1 Ready  >  " + description);

        clickRow(2);
        QCOMPARE(ed().SelectedCue.ActionCue, 40000);
        QCOMPARE(pn().txtAction()->text(), QStringLiteral("40000"));
        QCOMPARE(value(2, kActionCue), StoredValue::text("40000"));
        QCOMPARE(text(2, kAction), QStringLiteral("Delay (40000ms)"));
        typeInto(pn().txtAction(), QStringLiteral("45000"));
        QCOMPARE(value(2, kActionCue), StoredValue::text("45000"));
        QCOMPARE(text(2, kAction), QStringLiteral("Delay: 45000ms"));
        clickRow(1);
        clickRow(2);
        QCOMPARE(ed().SelectedCue.ActionCue, 45000);
        QCOMPARE(pn().txtAction()->text(), QStringLiteral("45000"));
        QCOMPARE(text(2, kAction), QStringLiteral("Delay (45000ms)"));
    }

    // --- field handlers ------------------------------------------------------------------------
    // Each edit of the operator, and what the selected row then holds and shows; the other
    // row keeps its value, and the box that mirrors a slider follows it.
    void fieldsWriteTheSelectedRow() {
        insert();
        insert();
        PropertiesPanel& p = pn();
        auto type = [this](QLineEdit* box, const char* t) {
            return [=, this] { typeInto(box, QString::fromLatin1(t)); };
        };
        auto key = [](QSlider* slider, Qt::Key k) {
            return [=] {
                slider->setFocus();
                QTest::keyClick(slider, k);
            };
        };
        auto set = [](QSlider* slider, int v) { return [=] { slider->setValue(v); }; };
        auto press = [this](QAbstractButton* b) { return [=, this] { click(b); }; };
        struct Edit {
            std::function<void()> act;
            int field;
            StoredValue value;
            QString shown;
            QLineEdit* mirror = nullptr;
            QString mirrored = QString();
        };
        const Edit edits[] = {
            {type(p.txtDescription(), "Thunder"), kDescription, StoredValue::text("Thunder"),
             "Thunder"},
            {type(p.txtEndPos(), "12.50"), kSelectionEnd, StoredValue::number(12.5), "12.5"},
            // A marker that is no number leaves the one before.
            {type(p.txtEndPos(), ""), kSelectionEnd, StoredValue::number(12.5), "12.5"},
            {type(p.txtEndPos(), "abc"), kSelectionEnd, StoredValue::number(12.5), "12.5"},
            {type(p.txtStartPos(), "0.75"), kSelectionStart, StoredValue::number(0.75), "0.75"},
            {type(p.txtPlayCount(), "abc"), kPlayCount, StoredValue::text("abc"), "abc"},
            {type(p.txtFile(), "/shows/rain.wav"), kFile, StoredValue::text("/shows/rain.wav"),
             "/shows/rain.wav"},
            {press(p.optChannel(4)), kChannel, StoredValue::int16(4), "x"},
            {press(p.optChannel(2)), kChannel, StoredValue::int16(2), "3"},
            {press(p.optBeginOn(0)), kBeginOn, StoredValue::int16(0), "Go"},
            {press(p.optBeginOn(1)), kBeginOn, StoredValue::int16(1), "Auto"},
            // Keys move the sliders by 1 and by 5.
            {key(p.sldVolume(), Qt::Key_PageDown), kVolume, StoredValue::int32(-5), "99.9%",
             p.txtVolume(), "99.9"},
            {set(p.sldVolume(), 1111), kVolume, StoredValue::int32(-2889), "27.8%", p.txtVolume(),
             "27.8"},
            {key(p.sldRate(), Qt::Key_Right), kRate, StoredValue::text("1.01"), "1.01", p.txtRate(),
             "1.01"},
            {set(p.sldRate(), 25), kRate, StoredValue::text("0.25"), "0.25", p.txtRate(), "0.25"},
            {key(p.sldSpeed(), Qt::Key_End), kFadeSpeed, StoredValue::int32(10), "10"}};
        for (const Edit& e : edits) {
            const StoredValue other = value(1, e.field);
            e.act();
            QCOMPARE(value(2, e.field), e.value);
            QCOMPARE(text(2, e.field), e.shown);
            QCOMPARE(value(1, e.field), other);
            if (e.mirror) QCOMPARE(e.mirror->text(), e.mirrored);
        }
        // The redraw shows the file's name and an endless count.
        ed().UpdateListView();
        QCOMPARE(text(2, kFile), QStringLiteral("rain.wav"));
        QCOMPARE(text(2, kPlayCount), QStringLiteral("%"));
        // The value field: on a Play cue the Action text is left alone.
        typeInto(pn().txtAction(), QStringLiteral("2500"));
        QCOMPARE(value(2, kActionCue), StoredValue::text("2500"));
        QCOMPARE(text(2, kAction), QStringLiteral("Play"));
    }

    void draggingTheVolumeSliderWritesTheRowLive() {
        insert();
        QSlider* volume = pn().sldVolume();
        const QPoint handle = HandleCentre(volume);
        QTest::mousePress(volume, Qt::LeftButton, {}, handle);
        QVERIFY(volume->isSliderDown());
        QTest::mouseMove(volume, handle - QPoint(volume->width() / 4, 0));
        QVERIFY(volume->isSliderDown());
        QVERIFY(volume->value() < 4000);
        // Mid-drag the row already holds the slider's value.
        QCOMPARE(value(1, kVolume), StoredValue::int32(volume->value() - 4000));
        const int mid = volume->value();
        QTest::mouseMove(volume, handle - QPoint(volume->width() / 2, 0));
        QVERIFY(volume->value() < mid);
        QCOMPARE(value(1, kVolume), StoredValue::int32(volume->value() - 4000));
        QTest::mouseRelease(volume, Qt::LeftButton, {}, handle - QPoint(volume->width() / 2, 0));
        QCOMPARE(value(1, kVolume), StoredValue::int32(volume->value() - 4000));
    }

    // Edits write the selected row, not the one the panel shows, and no row at all when none
    // is selected.
    void editsFollowTheSelectionNotThePanel() {
        for (int i = 0; i < 4; ++i)
            insert();
        clickRow(3);
        // GO moves the selection on with a redraw only.
        ed().SelectRow(4);
        ed().UpdateListView();
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("3"));
        typeInto(pn().txtDescription(), QStringLiteral("Edited"));
        QCOMPARE(text(4, kDescription), QStringLiteral("Edited"));
        QCOMPARE(text(3, kDescription), QStringLiteral("New Action #3"));

        const QStringList descriptions{"New Action #1", "New Action #2", "New Action #3", "Edited"};
        ed().SelectRow(0);
        typeInto(pn().txtDescription(), QStringLiteral("Nowhere"));
        pn().sldVolume()->setValue(2000);
        QCOMPARE(pn().txtVolume()->text(), QStringLiteral("50")); // the mirror still follows
        for (int row = 1; row <= 4; ++row) {
            QCOMPARE(value(row, kDescription), StoredValue::text(descriptions[row - 1]));
            QCOMPARE(value(row, kVolume), StoredValue::int32(0));
        }
        // A click with no cue selected loads nothing.
        ed().ListView1_Click();
        QCOMPARE(pn().txtDescription()->text(), QStringLiteral("Nowhere"));
    }

    // --- the selectors -----------------------------------------------------------------------
    void actionSelectorStoresTheCodeAndProposesATolerance() {
        insert();
        typeInto(pn().txtAction(), QStringLiteral("500"));
        pick(pn().cboAction(), kActionIteration);
        QCOMPARE(value(1, kAction), StoredValue::int32(3));
        QCOMPARE(text(1, kAction), QStringLiteral("Iteration"));
        QCOMPARE(value(1, kActionCue), StoredValue::text("80"));
        QCOMPARE(pn().txtAction()->text(), QStringLiteral("80"));
        QCOMPARE(pn().lblAction1()->text(), QStringLiteral("Tolerance (ms):"));

        // The tolerance stays as the delay; the label is "Value:" again.
        pick(pn().cboAction(), kActionDelay);
        QCOMPARE(value(1, kActionCue), StoredValue::text("80"));
        QCOMPARE(pn().lblAction1()->text(), QStringLiteral("Value:"));
        QCOMPARE(text(1, kAction), QStringLiteral("Delay (80ms)")); // after the redraw
        typeInto(pn().txtAction(), QStringLiteral("2500"));
        QCOMPARE(text(1, kAction), QStringLiteral("Delay: 2500ms"));

        // Picking the item already chosen runs the selector again: the proposal returns.
        pick(pn().cboAction(), kActionIteration);
        typeInto(pn().txtAction(), QStringLiteral("300"));
        const int entries = historySize();
        emit pn().cboAction()->activated(kActionIteration);
        QCOMPARE(value(1, kActionCue), StoredValue::text("80"));
        QCOMPARE(historySize(), entries + 1);
    }

    // Rows 2, 3, 4, 5, 7, 8 and 9 as each action shows them (1 shown); rows 0, 1 and 6
    // always show.
    void eachActionShowsItsRowsWithoutGaps_data() {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("rows");
        QTest::newRow("Play Sound") << 0 << "0111101";
        QTest::newRow("Pause Sound") << 1 << "0000100";
        QTest::newRow("Stop Sound") << 2 << "0000100";
        QTest::newRow("Wait For End of Iteration") << 3 << "1000100";
        QTest::newRow("Change Volume") << 4 << "0010110";
        QTest::newRow("Trigger Specific Cue") << 5 << "1000000";
        QTest::newRow("Change Rate") << 6 << "0001100";
        QTest::newRow("Buffer Sound") << 7 << "0100100";
        QTest::newRow("Delay (ms)") << 8 << "1000000";
    }
    void eachActionShowsItsRowsWithoutGaps() {
        QFETCH(int, action);
        QFETCH(QString, rows);
        insert();
        // From every other action, so that no row keeps what the one before left.
        for (int from = 0; from < kActionCount; ++from) {
            if (from == action) continue;
            pick(pn().cboAction(), from);
            pick(pn().cboAction(), action);
            QCOMPARE(value(1, kAction), StoredValue::int32(action));
            const int order[7] = {2, 3, 4, 5, 7, 8, 9};
            for (int j = 0; j < 7; ++j)
                QVERIFY2(shown(order[j]) == (rows[j] == QLatin1Char('1')),
                         qPrintable(QStringLiteral("row %1 from %2").arg(order[j]).arg(from)));
            for (int always : {0, 1, 6})
                QVERIFY(shown(always));
            // The shown rows from the file row down stand one under the other, 30 apart,
            // beginning where the file row begins.
            int top = 2115;
            for (int row = 3; row <= 9; ++row) {
                if (!shown(row)) continue;
                QCOMPARE(topTw(row), top);
                top += HeightTw(pn().pctProperty(row)) + 30;
            }
        }
    }

    void whenSelectorWritesItsWordOnly() {
        insert();
        const int entries = historySize();
        const QColor colour = m().row(0).colour;
        pick(pn().cboWhen(), 2);
        QCOMPARE(value(1, kWhen), StoredValue::int32(2));
        QCOMPARE(text(1, kWhen), QStringLiteral("Completion"));
        QCOMPARE(historySize(), entries);
        QCOMPARE(m().row(0).colour, colour);
        pick(pn().cboWhen(), 1);
        QCOMPARE(text(1, kWhen), QStringLiteral("Execution"));
        ed().UpdateListView();
        QCOMPARE(text(1, kWhen), QStringLiteral("Execution2"));
    }

    // --- the jump box --------------------------------------------------------------------------
    void jumpBoxSelectsTheTypedCue() {
        for (int i = 0; i < 5; ++i)
            insert();
        clickRow(1);
        QLineEdit* box = pn().txtCueNumber();
        box->setFocus();
        // The key jumps by the text the box held before it; the key itself then stands there.
        QTest::keyClick(box, Qt::Key_3);
        QCOMPARE(ed().SelectedIndex(), 1);
        QCOMPARE(box->text(), QStringLiteral("3"));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(ed().SelectedIndex(), 3);
        QCOMPARE(lastStatus(), QStringLiteral("Cue 3 Ready."));
        QCOMPARE(statusColour(), kBrightGreen);
        const auto h = form->status().history();
        QCOMPARE(h[h.size() - 2].text, QStringLiteral("Cue 3 Ready  >  New Action #3"));
        QVERIFY(frame().cmdGo->hasFocus());

        for (const char* bad : {"9", "0", "abc", ""}) {
            box->setText(QString::fromLatin1(bad));
            QTest::keyClick(box, Qt::Key_Return);
            QCOMPARE(ed().SelectedIndex(), 3);
            QCOMPARE(box->text(), QStringLiteral("3")); // the selected cue was reloaded
            QCOMPARE(lastStatus(), QStringLiteral("Warning! - Cue Not Found"));
            QCOMPARE(statusColour(), kYellow);
        }
        // After GO moved on, Return selects the cue the box shows again.
        ed().SelectRow(4);
        ed().UpdateListView();
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(ed().SelectedIndex(), 3);
        QCOMPARE(lastStatus(), QStringLiteral("Cue 3 Ready."));
    }
};

QTEST_MAIN(PropertiesPanelTest)
#include "test_properties_panel.moc"
