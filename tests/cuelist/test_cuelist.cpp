// The cue list: inserting, deleting and moving cues, the redraw, the selection, and the
// panel shown and hidden.

#include "CueListDriver.h"
#include "core/Module1.h"
#include "cuelist/CueNumber.h"

#include <QAccessible>
#include <tuple>

using namespace sorvane;
using namespace sorvane::testing;

class CueListTest : public QObject, CueListDriver {
    Q_OBJECT

private slots:
    void init() { open(); }
    void cleanup() { form.reset(); }

    // --- Insert Cue: the defaults and their normalisation through the first load -----------
    void newCueOnAnEmptyListIsPlaySoundWithItsDefaults() {
        insert();
        QCOMPARE(m().count(), 1);
        QCOMPARE(m().row(0).text, QStringLiteral("1"));
        QCOMPARE(m().row(0).ownValue, StoredValue::int32(1));
        QCOMPARE(ed().SelectedIndex(), 1);
        QCOMPARE(ed().ListView1Tag, QStringLiteral("1"));
        // The load wrote the fields back in the forms their handlers give them.
        const QList<std::tuple<int, StoredValue, QString>> fields{
            {kDescription, StoredValue::text("New Action #1"), "New Action #1"},
            {kWhen, StoredValue::int32(0), "During2"},
            {kAction, StoredValue::int32(0), "Play"},
            {kActionCue, StoredValue::text("0"), "0"},
            {kFile, StoredValue::text("0"), ""},
            {kVolume, StoredValue::int32(0), "100%"},
            {kRate, StoredValue::text("1"), "1"},
            {kBeginOn, StoredValue::int16(1), "Auto"},
            {kChannel, StoredValue::int16(0), "1"},
            {kFadeSpeed, StoredValue::int32(0), "0"},
            {kPlayCount, StoredValue::text("1"), "1"},
            {kSelectionStart, StoredValue::number(0), "0"}};
        for (const auto& [k, stored, shownText] : fields) {
            QVERIFY2(value(1, k) == stored, qPrintable(QString::number(k)));
            QCOMPARE(text(1, k), shownText);
        }
        // The panel shows it; yellow wins over green; the ready message names it.
        QCOMPARE(pn().cboAction()->currentText(), QStringLiteral("Play Sound"));
        QCOMPARE(pn().sldVolume()->value(), 4000);
        QVERIFY(pn().optBeginOn(1)->isChecked());
        QVERIFY(pn().optChannel(0)->isChecked());
        QCOMPARE(marks(), QStringLiteral("Y"));
        QCOMPARE(lastStatus(), QStringLiteral("Cue 1 Ready  >  New Action #1"));
        QVERIFY(frame().cmdGo->hasFocus());
    }

    void insertRenumbersTheCuesThatFollow() {
        for (int i = 0; i < 5; ++i)
            insert();
        QCOMPARE(numbers(), QStringList({"1", "2", "3", "4", "5"}));
        QCOMPARE(text(5, kDescription), QStringLiteral("New Action #5"));
        // The last cue selected: appended as 6, nothing renumbered.
        insert();
        QCOMPARE(numbers(), QStringList({"1", "2", "3", "4", "5", "6"}));
        QCOMPARE(ed().SelectedIndex(), 6);

        // Cue 2 of 6 selected: the new cue becomes 3, the rest move on by one.
        clickRow(2);
        insert();
        QCOMPARE(numbers(), QStringList({"1", "2", "3", "4", "5", "6", "7"}));
        QCOMPARE(text(3, kDescription), QStringLiteral("New Action #3"));
        QCOMPARE(text(4, kDescription), QStringLiteral("New Action #3")); // the former cue 3
        QCOMPARE(text(7, kDescription), QStringLiteral("New Action #6"));
        QCOMPARE(ed().ListView1Tag, QStringLiteral("3"));
        QCOMPARE(m().row(2).ownValue, StoredValue::int32(3));

        // On a loaded show numbered otherwise, a number that is not a number is left; with
        // no cue selected the new cue goes first.
        load({Play("1"), Play("2"), Play("5")});
        insert();
        QCOMPARE(numbers(), QStringList({"1", "2", "3", "6"}));
        load({Play("x"), Play("2.5")});
        ed().SelectRow(0);
        insert();
        QCOMPARE(numbers(), QStringList({"1", "x", "3.5"}));
        QCOMPARE(ed().SelectedIndex(), 1);
    }

    void aPutOfAnUnchangedValueStillRunsItsHandler() {
        insert();
        ed().SelectRow(0);
        // The new cue goes first with the same description the box already shows: the put
        // changes nothing in the box and still stores the description.
        insert();
        QCOMPARE(value(1, kDescription), StoredValue::text("New Action #1"));
        QCOMPARE(text(1, kDescription), QStringLiteral("New Action #1"));
        QCOMPARE(text(2, kDescription), QStringLiteral("New Action #1"));
        // Every load runs the action selector: two redraws, two ready messages.
        const int entries = historySize();
        clickRow(2);
        QCOMPARE(historySize(), entries + 2);
    }

    // --- Delete Cue and the moves ------------------------------------------------------------
    void deleteSelectsAndLoadsTheCueThatTookItsPlace() {
        load({Play("1", "One"), Play("2", "Two"), Play("5", "Five"), Play("9", "Nine")});
        clickRow(2);
        ed().ListView1Tag = QStringLiteral("3");
        click(frame().cmdDeleteCue);
        QCOMPARE(numbers(), QStringList({"1", "2", "3"}));
        QCOMPARE(m().row(1).ownValue, StoredValue::int32(2));
        // The former cue 3 stands at position 2: selected, loaded, named by the status line.
        QCOMPARE(ed().SelectedIndex(), 2);
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("2"));
        QCOMPARE(pn().txtDescription()->text(), QStringLiteral("Five"));
        QVERIFY(panelShown());
        QCOMPARE(lastStatus(), QStringLiteral("Cue 2 Ready  >  Five"));
        // The current-cue number stays; its green mark is redrawn on the cue now there.
        QCOMPARE(ed().ListView1Tag, QStringLiteral("3"));
        QCOMPARE(marks(), QStringLiteral("wYG"));
        // An edit reaches the cue the panel shows.
        typeInto(pn().txtDescription(), QStringLiteral("Edited"));
        QCOMPARE(text(2, kDescription), QStringLiteral("Edited"));

        // The last cue deleted: the new last cue is selected.
        clickRow(3);
        click(frame().cmdDeleteCue);
        QCOMPARE(ed().SelectedIndex(), 2);
        QCOMPARE(pn().txtDescription()->text(), QStringLiteral("Edited"));
        QCOMPARE(marks(), QStringLiteral("wY"));

        // The list emptied: nothing selected, the panel closed.
        click(frame().cmdDeleteCue);
        click(frame().cmdDeleteCue);
        QCOMPARE(m().count(), 0);
        QCOMPARE(ed().SelectedIndex(), 0);
        QVERIFY(!panelShown());
        QVERIFY(!frame().cmdProperties->isEnabled());
        click(frame().cmdDeleteCue); // nothing to delete
        QCOMPARE(m().count(), 0);
    }

    void moveDownAndUpExchangeFieldsNotNumbers() {
        load({Cue("1", "1", "0"), Cue("2", "2", "0"), Cue("3", "8", "40000"), Cue("4", "5", "2"),
              Cue("5", "0", "0")});
        clickRow(3);
        const StoredValue movedAction = value(3, kAction);
        ed().ListView1Tag = QStringLiteral("3");
        click(frame().cmdMoveDown);
        QCOMPARE(numbers(), QStringList({"1", "2", "3", "4", "5"}));
        QCOMPARE(text(4, kDescription), QStringLiteral("Cue 3"));
        QCOMPARE(value(4, kAction), movedAction);
        QCOMPARE(value(4, kActionCue), StoredValue::text("40000"));
        QCOMPARE(text(3, kDescription), QStringLiteral("Cue 4"));
        QCOMPARE(value(3, kActionCue), StoredValue::text("2")); // a text stays a text
        QCOMPARE(ed().SelectedIndex(), 4);
        // The panel was not reloaded; the green mark stays at position 3.
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("3"));
        QCOMPARE(marks(), QStringLiteral("wwGYw"));

        click(frame().cmdMoveUp);
        click(frame().cmdMoveUp);
        QCOMPARE(text(2, kDescription), QStringLiteral("Cue 3"));
        QCOMPARE(ed().SelectedIndex(), 2);

        // At the ends nothing happens.
        clickRow(1);
        const int before = historySize();
        click(frame().cmdMoveUp);
        QCOMPARE(text(1, kDescription), QStringLiteral("Cue 1"));
        QCOMPARE(historySize(), before);
        clickRow(5);
        const int atEnd = historySize();
        click(frame().cmdMoveDown);
        QCOMPARE(text(5, kDescription), QStringLiteral("Cue 5"));
        QCOMPARE(historySize(), atEnd);
    }

    // --- the redraw's number reading agrees with the record loader's --------------------------
    void redrawReadsNumbersAsTheLoaderDoes() {
        QStringList texts = QStringLiteral("|0|7|-7|-|-0|007|+5| 5|5 |\t5|123456789|999999999|"
                                           "1234567890|-99999999|1.5|1,5|.5|,5|1e3|e3|inf|nan|"
                                           "Infinity|abc|/music/a.wav|x|5a|1 000|1,000|0x10|"
                                           "&H10|12.3.4")
                                .split(QLatin1Char('|'));
        texts << QStringLiteral("\u0663") << QStringLiteral("\u22125") << QStringLiteral("\u00a05")
              << QStringLiteral("\u06f1\u06f2");
        for (const char* name : {"C", "de_DE", "fr_FR", "sv_SE", "ar_EG", "fa_IR"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(name)));
            for (const QString& t : texts) {
                const auto quick = ReadNumberQuick(t);
                const auto loaded = StoredValue::text(t).toNumber();
                QVERIFY2(quick.has_value() == loaded.has_value() && (!quick || *quick == *loaded),
                         qPrintable(QStringLiteral("%1 in %2").arg(t, QLatin1String(name))));
            }
        }
        QLocale::setDefault(QLocale::c());
        // The texts the redraw meets most read as the numbers they are.
        QCOMPARE(ReadNumberQuick(QStringLiteral("-1000")), std::optional<double>(-1000));
        QCOMPARE(ReadNumberQuick(QStringLiteral("0.333")), std::optional<double>(0.333));
        QVERIFY(!ReadNumberQuick(QStringLiteral("/music/intro.wav")));
    }

    // --- the redraw's display rules --------------------------------------------------------
    void displayRulesRebuildSevenColumns() {
        // Each line: a row as loaded, then its When, Action, File, Volume, Begin On, Ch and
        // Count texts after the redraw.
        const QList<QPair<QStringList, QStringList>> rows{
            {Cue("1", "8", "500"), {"Execution2", "Delay (500ms)", "", "", "Auto", "", ""}},
            {Play("2"), {"During2", "Play", "intro.wav", "75%", "Go", "3", "3"}},
            {{"3", "Loop", "2", "0", "0", "a.wav", "-4000", "1", "1", "4", "0", "0", "0", "0"},
             {"Completion2", "Play", "a.wav", "0%", "Auto", "x", "%"}},
            {{"4", "Fade", "1", "4", "0", "0", "-2000", "1", "0", "1", "3", "1", "0", "0"},
             {"Execution2", "Vol", "", "50%", "Go", "2", ""}},
            // Codes without a word leave their text as it was.
            {{"5", "Pause", "9", "1", "0", "0", "-2000", "1", "7", "4", "0", "2", "0", "0"},
             {"9", "Pause", "", "", "7", "x", ""}},
            // No action code: the channel shows, a channel above 4 as it reads.
            {{"6", "Odd", "x", "abc", "0", "0", "-2000", "1", "0", "6", "0", "2", "0", "0"},
             {"x", "abc", "", "", "Go", "7", ""}},
            // A count that is no number plays endlessly.
            {{"7", "Count", "0", "0", "0", "0", "0", "1", "0", "0", "0", "abc", "0", "0"},
             {"During2", "Play", "", "100%", "Go", "1", "%"}},
            // 0.25% rounds to the even digit; 27.775% to 27.8%.
            {{"8", "Tie", "0", "0", "0", "0", "-3990", "1", "0", "0", "0", "1", "0", "0"},
             {"During2", "Play", "", "0.2%", "Go", "1", "1"}},
            {{"9", "Odd", "0", "0", "0", "0", "-2889", "1", "0", "0", "0", "1", "0", "0"},
             {"During2", "Play", "", "27.8%", "Go", "1", "1"}}};
        std::vector<CueRow> loaded;
        for (const auto& row : rows)
            loaded.push_back(TextRow(row.first));
        m().setRows(std::move(loaded));
        ed().SelectRow(7);
        ed().ListView1Tag = QStringLiteral("2.7");
        ed().UpdateListView();
        const int columns[] = {kWhen, kAction, kFile, kVolume, kBeginOn, kChannel, kPlayCount};
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < 7; ++c)
                QCOMPARE(text(r + 1, columns[c]), rows[r].second[c]);
        QCOMPARE(text(2, kFadeSpeed), QStringLiteral("5")); // not rebuilt: the loaded text

        // Colours: the selected row yellow, the current row (2.7 -> 2) green, the rest white.
        QCOMPARE(marks(), QStringLiteral("wGwwwwYww"));
        QCOMPARE(lastStatus(), QStringLiteral("Cue 7 Ready  >  Count"));
        QCOMPARE(statusColour(), kBrightGreen);

        // No current cue for an empty Tag, "-1", "0" or a number past the last row; the first
        // and the last row can be current; the current cue that is also selected is yellow.
        const std::pair<const char*, const char*> tags[] = {
            {"", "wwwwwwYww"},  {"-1", "wwwwwwYww"},  {"0", "wwwwwwYww"}, {"10", "wwwwwwYww"},
            {"1", "GwwwwwYww"}, {"9.9", "wwwwwwYwG"}, {"7", "wwwwwwYww"}};
        for (const auto& [tag, expected] : tags) {
            ed().ListView1Tag = QString::fromLatin1(tag);
            ed().UpdateListView();
            QCOMPARE(marks(), QString::fromLatin1(expected));
        }
    }

    void redrawWithoutASelectedCueOnlyClosesThePanel() {
        load({Play("1"), Play("2")});
        QVERIFY(panelShown());
        const QString before = text(2, kWhen);
        const int entries = historySize();
        ed().SelectRow(0);
        ed().UpdateListView();
        QVERIFY(!panelShown());
        QVERIFY(!frame().cmdProperties->isEnabled());
        QCOMPARE(historySize(), entries);
        QCOMPARE(text(2, kWhen), before);
        // A click on the empty area of the list keeps things as they are.
        QTest::mouseClick(ed().ListView1()->viewport(), Qt::LeftButton, {},
                          QPoint(5, ed().ListView1()->viewport()->height() - 3));
        QCOMPARE(ed().SelectedIndex(), 0);
        QCOMPARE(historySize(), entries);
    }

    void aClickChoosesOneCueAndKeepsItLoaded() {
        for (int i = 0; i < 3; ++i)
            insert();
        clickRow(2);
        QTreeView* list = ed().ListView1();
        const QPoint third = list->visualRect(m().index(2, 0)).center();
        QSignalSpy doubleClicks(&ed(), &CueListEditor::ListView1_DblClick);
        // Other buttons leave the selected cue, the one the next GO fires, where it is.
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, third);
        QTest::mouseClick(list->viewport(), Qt::MiddleButton, {}, third);
        QTest::mouseDClick(list->viewport(), Qt::RightButton, {}, third);
        QCOMPARE(ed().SelectedIndex(), 2);
        QCOMPARE(doubleClicks.count(), 0);
        // Ctrl on the selected cue keeps it selected and loaded.
        clickRow(2, Qt::ControlModifier);
        QCOMPARE(ed().SelectedIndex(), 2);
        QVERIFY(panelShown());
        QCOMPARE(m().row(1).colour, kYellow);
        // Edits go on writing the cue the panel shows.
        typeInto(pn().txtDescription(), QStringLiteral("Kept"));
        QCOMPARE(text(2, kDescription), QStringLiteral("Kept"));
        QCOMPARE(text(3, kDescription), QStringLiteral("New Action #3"));
        // Shift or Ctrl on another cue selects and loads it as a plain click does.
        clickRow(3, Qt::ShiftModifier);
        QCOMPARE(ed().SelectedIndex(), 3);
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("3"));
        clickRow(1, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(ed().SelectedIndex(), 1);
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("1"));
        // A left double-click selects and loads its cue and is reported once (press,
        // release, then the second press as the double-click, and its release).
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, third);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, third);
        QCOMPARE(doubleClicks.count(), 1);
        // The double-click fired cue 3: the selection went on to the next cue (round to the
        // first), while the panel keeps the cue it loaded.
        QCOMPARE(ed().SelectedIndex(), 1);
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("3"));
        clickRow(1);
        // Ctrl+Space on the selected cue keeps it too.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(ed().SelectedIndex(), 1);
        QVERIFY(panelShown());
        // However the selection empties, the panel closes with it.
        list->selectionModel()->clearSelection();
        QVERIFY(!panelShown());
        QVERIFY(!frame().cmdProperties->isEnabled());
    }

    // --- the panel shown and hidden --------------------------------------------------------
    void panelFollowsTheButtonAndTheFlag() {
        const int W = form->OuterWidthTw();
        // Shown or hidden, with everything that moves with it.
        auto expectPanel = [&](bool on) {
            QCOMPARE(panelShown(), on);
            QCOMPARE(frame().cmdProperties->text(),
                     on ? QStringLiteral("Properties >") : QStringLiteral("< Properties"));
            QCOMPARE(frame().Line1->isHidden(), !on);
            QCOMPARE(frame().Label2->isHidden(), !on);
            QCOMPARE(WidthTw(ed().ListView1()), W - (on ? 5190 : 1490));
            QCOMPARE(LeftTw(frame().pctActionControls), W - (on ? 5050 : 1340));
            QCOMPARE(frame().Line2->X2(), W - (on ? 3930 : 220));
        };
        // At start-up: hidden, the flag set, the button disabled.
        expectPanel(false);
        QVERIFY(AutoShowProperties);
        QVERIFY(!frame().cmdProperties->isEnabled());
        insert();
        insert();
        expectPanel(true);
        QVERIFY(frame().cmdProperties->isEnabled());

        // The operator hides it: it stays hidden through selections.
        click(frame().cmdProperties);
        expectPanel(false);
        QVERIFY(!AutoShowProperties);
        QVERIFY(frame().cmdGo->hasFocus());
        clickRow(1);
        QVERIFY(!panelShown());
        QVERIFY(frame().cmdProperties->isEnabled());
        // And shows it again: selections keep it open.
        click(frame().cmdProperties);
        QVERIFY(AutoShowProperties);
        clickRow(2);
        expectPanel(true);

        // A load clears the flag: a hidden panel stays hidden when cues are selected.
        click(frame().cmdProperties);
        AutoShowProperties = false;
        load({Play("1"), Play("2")});
        clickRow(2);
        QVERIFY(!panelShown());

        // An emptied list closes the panel and keeps the flag; Insert opens it again.
        AutoShowProperties = true;
        clickRow(1);
        QVERIFY(panelShown());
        m().clear();
        ed().UpdateListView();
        QVERIFY(!panelShown());
        QVERIFY(!frame().cmdProperties->isEnabled());
        QVERIFY(AutoShowProperties);
        insert();
        QVERIFY(panelShown());
    }

    // --- what assistive tools see ------------------------------------------------------------
    void cellsHeadersAndControlsAreAccessible() {
        load({Play("1", QStringLiteral("Overture"))});
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(ed().ListView1());
        QVERIFY(list);
        QAccessibleTableInterface* table = list->tableInterface();
        QVERIFY(table);
        QCOMPARE(table->columnCount(), 14);
        QCOMPARE(table->rowCount(), 1);
        QAccessibleInterface* cell = table->cellAt(0, 1);
        QVERIFY(cell);
        QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("Overture"));
        QCOMPARE(table->columnDescription(3), QStringLiteral("Action"));
        QCOMPARE(QAccessible::queryAccessibleInterface(pn().sldVolume())->text(QAccessible::Name),
                 QStringLiteral("Volume"));
        QCOMPARE(QAccessible::queryAccessibleInterface(pn().optChannel(4))->text(QAccessible::Name),
                 QStringLiteral("Any Available"));
    }
};

QTEST_MAIN(CueListTest)
#include "test_cuelist.moc"
