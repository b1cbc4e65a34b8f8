// The cue list and its properties panel, driven through the real main window: buttons are
// clicked, text is typed, sliders are moved, and the rows' stored values and display texts are
// read back.

#include "app/Form1.h"
#include "core/Module1.h"
#include "core/Palette.h"
#include "core/Shell.h"
#include "core/StatusLine.h"
#include "core/Twips.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueNumber.h"
#include "cuelist/CueWords.h"
#include "cuelist/PropertiesPanel.h"
#include "platform/Dialogs.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTreeView>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>
#include <memory>

using namespace sorvane;

namespace {

// A row as a show file loads it: every stored value is the text of its field.
CueRow TextRow(const QStringList& f) {
    CueRow r;
    r.text = f.value(0);
    for (int k = 1; k <= kSubItemCount; ++k) {
        r.at(k).value = StoredValue::text(f.value(k));
        r.at(k).text = f.value(k);
    }
    return r;
}

// Fields: #, Description, When, Action, ActionCue, File, Volume, Rate, BeginOn, Ch, Spd,
// Count, SelectionStart, SelectionEnd.
QStringList Play(const QString& n, const QString& description = QStringLiteral("Intro")) {
    return {n,   description, "0", "0",   "0", "/music/intro.wav", "-1000", "1", "0",
            "2", "5",         "3", "1.5", "12"};
}

QStringList Cue(const QString& n, const QString& action, const QString& actionCue) {
    return {n, "Cue " + n, "1", action, actionCue, "0", "0", "1", "1", "0", "0", "1", "0", "0"};
}

// The centre of a slider's handle.
QPoint HandleCentre(QSlider* slider) {
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.orientation = slider->orientation();
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.sliderPosition = slider->value();
    opt.sliderValue = slider->value();
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider)
        .center();
}

} // namespace

class CueListTest : public QObject {
    Q_OBJECT
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    CueListEditor& ed() { return form->cues(); }
    PropertiesPanel& pn() { return form->cues().panel(); }
    CueListModel& m() { return ed().model(); }
    Frame& frame() { return form->frame(); }

    const StoredValue& value(int position, int k) { return m().row(position - 1).at(k).value; }
    QString text(int position, int k) { return m().row(position - 1).at(k).text; }
    QString number(int position) { return m().row(position - 1).text; }
    QStringList numbers() {
        QStringList out;
        for (int i = 0; i < m().count(); ++i)
            out << m().row(i).text;
        return out;
    }
    QString lastStatus() {
        const auto h = form->status().history();
        return h.isEmpty() ? QString() : h.last().text;
    }
    QColor statusColour() { return form->status().statusColour(); }
    int historySize() { return static_cast<int>(form->status().history().size()); }

    void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    void insert() { click(frame().cmdAddCue); }
    void clickRow(int position) {
        QTreeView* list = ed().ListView1();
        const QRect r = list->visualRect(m().index(position - 1, 0));
        QVERIFY(r.isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }
    // Replaces the list as a show file load does: row 1 selected, no current cue.
    void load(const QList<QStringList>& lines) {
        std::vector<CueRow> rows;
        for (const QStringList& l : lines)
            rows.push_back(TextRow(l));
        m().setRows(std::move(rows));
        ed().SelectRow(lines.isEmpty() ? 0 : 1);
        ed().ListView1Tag = QStringLiteral("-1");
        ed().ListView1_Click();
    }
    // Replaces the box's text as the operator does: select everything and type over it.
    void typeInto(QLineEdit* box, const QString& t) {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, t);
    }
    // Opens the selector and picks an item as the operator does.
    void pick(QComboBox* box, int item) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Home);
        for (int i = 0; i < item; ++i)
            QTest::keyClick(box, Qt::Key_Down);
    }
    int topTw(int row) { return TopTw(pn().pctProperty(row)); }
    bool shown(int row) { return !pn().pctProperty(row)->isHidden(); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init() {
        dialogs.clearCalls();
        form = std::make_unique<Form1>(QString(), dialogs);
        form->Show();
        QApplication::setActiveWindow(form.get());
    }
    void cleanup() { form.reset(); }

    // --- Insert Cue: the defaults and their normalisation through the first load -----------
    void newCueOnAnEmptyListIsPlaySoundWithItsDefaults() {
        QCOMPARE(m().count(), 0);
        insert();
        QCOMPARE(m().count(), 1);
        QCOMPARE(number(1), QStringLiteral("1"));
        QCOMPARE(m().row(0).ownValue, StoredValue::int32(1));
        QCOMPARE(ed().SelectedIndex(), 1);
        QCOMPARE(ed().ListView1Tag, QStringLiteral("1"));

        // The load wrote every field back in the form of its handler.
        QCOMPARE(value(1, kDescription), StoredValue::text("New Action #1"));
        QCOMPARE(text(1, kDescription), QStringLiteral("New Action #1"));
        QCOMPARE(value(1, kWhen), StoredValue::int32(0));
        QCOMPARE(text(1, kWhen), QStringLiteral("During2"));
        QCOMPARE(value(1, kAction), StoredValue::int32(0));
        QCOMPARE(text(1, kAction), QStringLiteral("Play"));
        QCOMPARE(value(1, kActionCue), StoredValue::text("0"));
        QCOMPARE(value(1, kFile), StoredValue::text("0"));
        QCOMPARE(text(1, kFile), QString());
        QCOMPARE(value(1, kVolume), StoredValue::int32(0));
        QCOMPARE(text(1, kVolume), QStringLiteral("100%"));
        QCOMPARE(value(1, kRate), StoredValue::text("1"));
        QCOMPARE(value(1, kBeginOn), StoredValue::int16(1));
        QCOMPARE(text(1, kBeginOn), QStringLiteral("Auto"));
        QCOMPARE(value(1, kChannel), StoredValue::int16(0));
        QCOMPARE(text(1, kChannel), QStringLiteral("1"));
        QCOMPARE(value(1, kFadeSpeed), StoredValue::int32(0));
        QCOMPARE(value(1, kPlayCount), StoredValue::text("1"));
        QCOMPARE(text(1, kPlayCount), QStringLiteral("1"));
        QCOMPARE(value(1, kSelectionStart), StoredValue::number(0));
        QCOMPARE(value(1, kSelectionEnd), StoredValue::number(0));

        // The panel shows the new cue.
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("1"));
        QCOMPARE(pn().cboAction()->currentText(), QStringLiteral("Play Sound"));
        QCOMPARE(pn().cboWhen()->currentText(),
                 QStringLiteral("Along With Previous Cue Execution"));
        QCOMPARE(pn().txtFile()->text(), QStringLiteral("0"));
        QCOMPARE(pn().sldVolume()->value(), 4000);
        QCOMPARE(pn().txtVolume()->text(), QStringLiteral("100"));
        QCOMPARE(pn().sldRate()->value(), 100);
        QCOMPARE(pn().txtRate()->text(), QStringLiteral("1"));
        QVERIFY(pn().optBeginOn(1)->isChecked());
        QVERIFY(pn().optChannel(0)->isChecked());
        QCOMPARE(pn().sldSpeed()->value(), 0);
        QCOMPARE(pn().txtPlayCount()->text(), QStringLiteral("1"));

        // New and selected: yellow wins over green; the ready message names it.
        QCOMPARE(m().row(0).colour, QColor(255, 255, 0));
        QVERIFY(m().row(0).bold);
        QCOMPARE(lastStatus(), QStringLiteral("Cue 1 Ready  >  New Action #1"));
        QVERIFY(frame().cmdGo->hasFocus());

        // Play Sound rows, stacked without gaps.
        QVERIFY(!shown(2));
        QVERIFY(!shown(8));
        for (int r : {3, 4, 5, 7, 9})
            QVERIFY(shown(r));
        QCOMPARE(topTw(4), 2670);
        QCOMPARE(topTw(5), 3250);
        QCOMPARE(topTw(6), 4435);
        QCOMPARE(topTw(7), 4900);
        QCOMPARE(topTw(8), 5365);
        QCOMPARE(topTw(9), 5365);
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
        QCOMPARE(ed().SelectedIndex(), 2);
        insert();
        QCOMPARE(numbers(), QStringList({"1", "2", "3", "4", "5", "6", "7"}));
        QCOMPARE(text(3, kDescription), QStringLiteral("New Action #3"));
        QCOMPARE(text(4, kDescription), QStringLiteral("New Action #3")); // the former cue 3
        QCOMPARE(text(7, kDescription), QStringLiteral("New Action #6"));
        QCOMPARE(ed().ListView1Tag, QStringLiteral("3"));
        QCOMPARE(m().row(2).ownValue, StoredValue::int32(3));
    }

    void aPutOfAnUnchangedValueStillRunsItsHandler() {
        insert();
        ed().SelectRow(0);
        // The new cue goes first with the same description the box already shows: the put
        // changes nothing in the box and still stores the description.
        insert();
        QCOMPARE(ed().SelectedIndex(), 1);
        QCOMPARE(text(1, kDescription), QStringLiteral("New Action #1"));
        QCOMPARE(value(1, kDescription), StoredValue::text("New Action #1"));
        QCOMPARE(value(1, kVolume), StoredValue::int32(0));
        QCOMPARE(text(2, kDescription), QStringLiteral("New Action #1"));
        QCOMPARE(numbers(), QStringList({"1", "2"}));
        // Every load runs the action selector: two redraws, two ready messages.
        const int entries = historySize();
        clickRow(2);
        QCOMPARE(historySize(), entries + 2);
    }

    void insertOnALoadedShowNumberedOtherwise() {
        load({Play("1"), Play("2"), Play("5")});
        QCOMPARE(ed().SelectedIndex(), 1);
        insert();
        QCOMPARE(numbers(), QStringList({"1", "2", "3", "6"}));
        // A number that is not a number is left; with no cue selected the new cue goes first.
        load({Play("x"), Play("2.5")});
        ed().SelectRow(0);
        insert();
        QCOMPARE(numbers(), QStringList({"1", "x", "3.5"}));
        QCOMPARE(ed().SelectedIndex(), 1);
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
        QVERIFY(!ed().pctProperties()->isHidden());
        QCOMPARE(lastStatus(), QStringLiteral("Cue 2 Ready  >  Five"));
        // The current-cue number stays; its green mark is redrawn on the cue now there.
        QCOMPARE(ed().ListView1Tag, QStringLiteral("3"));
        QCOMPARE(m().row(2).colour, kGreen);
        QCOMPARE(m().row(1).colour, kYellow);
        QCOMPARE(m().row(0).colour, kWhite);
        // An edit reaches the cue the panel shows.
        typeInto(pn().txtDescription(), QStringLiteral("Edited"));
        QCOMPARE(text(2, kDescription), QStringLiteral("Edited"));

        // The last cue deleted: the new last cue is selected.
        clickRow(3);
        click(frame().cmdDeleteCue);
        QCOMPARE(ed().SelectedIndex(), 2);
        QCOMPARE(pn().txtDescription()->text(), QStringLiteral("Edited"));
        QCOMPARE(m().row(1).colour, kYellow);

        // The list emptied: nothing selected, the panel closed.
        click(frame().cmdDeleteCue);
        click(frame().cmdDeleteCue);
        QCOMPARE(m().count(), 0);
        QCOMPARE(ed().SelectedIndex(), 0);
        QVERIFY(ed().pctProperties()->isHidden());
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
        QCOMPARE(m().row(2).colour, QColor(0, 200, 0));
        QCOMPARE(m().row(3).colour, QColor(255, 255, 0));

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
        const QStringList texts = {"",
                                   "0",
                                   "7",
                                   "-7",
                                   "-",
                                   "-0",
                                   "007",
                                   "+5",
                                   " 5",
                                   "5 ",
                                   "\t5",
                                   "123456789",
                                   "999999999",
                                   "1234567890",
                                   "-99999999",
                                   "1.5",
                                   "1,5",
                                   ".5",
                                   ",5",
                                   "1e3",
                                   "e3",
                                   "inf",
                                   "nan",
                                   "Infinity",
                                   "abc",
                                   "/music/a.wav",
                                   "x",
                                   "5a",
                                   "1 000",
                                   "1,000",
                                   "0x10",
                                   "&H10",
                                   "12.3.4",
                                   QString::fromUtf8("\u0663"),
                                   QString::fromUtf8("\u22125"),
                                   QString::fromUtf8("\u00a05"),
                                   QString::fromUtf8("\u06f1\u06f2")};
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
        std::vector<CueRow> rows;
        rows.push_back(TextRow(Cue("1", "8", "500"))); // Delay
        rows.push_back(TextRow(Play("2")));            // Play
        rows.push_back(TextRow({"3", "Loop", "2", "0", "0", "a.wav", "-4000", "1", "1", "4", "0",
                                "0", "0", "0"})); // count 0
        rows.push_back(TextRow({"4", "Fade", "1", "4", "0", "0", "-2000", "1", "0", "1", "3", "1",
                                "0", "0"})); // Change Volume
        rows.push_back(TextRow({"5", "Pause", "9", "1", "0", "0", "-2000", "1", "7", "4", "0", "2",
                                "0", "0"})); // Pause, odd codes
        rows.push_back(TextRow({"6", "Odd", "x", "abc", "0", "0", "-2000", "1", "0", "2", "0", "2",
                                "0", "0"})); // no action code
        rows.push_back(TextRow({"7", "Count", "0", "0", "0", "0", "0", "1", "0", "0", "0", "abc",
                                "0", "0"})); // count not a number
        rows.push_back(TextRow({"8", "Tie", "0", "0", "0", "0", "-3990", "1", "0", "0", "0", "1",
                                "0", "0"})); // 0.25% rounds to the even digit
        rows.push_back(
            TextRow({"9", "Odd", "0", "0", "0", "0", "-2889", "1", "0", "0", "0", "1", "0", "0"}));
        m().setRows(std::move(rows));
        ed().SelectRow(7);
        ed().ListView1Tag = QStringLiteral("2.7");
        ed().UpdateListView();

        QCOMPARE(text(1, kAction), QStringLiteral("Delay (500ms)"));
        QCOMPARE(text(1, kVolume), QString());
        QCOMPARE(text(1, kChannel), QString());
        QCOMPARE(text(1, kPlayCount), QString());
        QCOMPARE(text(1, kWhen), QStringLiteral("Execution2"));
        QCOMPARE(text(1, kFile), QString());

        QCOMPARE(text(2, kAction), QStringLiteral("Play"));
        QCOMPARE(text(2, kVolume), QStringLiteral("75%"));
        QCOMPARE(text(2, kPlayCount), QStringLiteral("3"));
        QCOMPARE(text(2, kFile), QStringLiteral("intro.wav"));
        QCOMPARE(text(2, kChannel), QStringLiteral("3"));
        QCOMPARE(text(2, kBeginOn), QStringLiteral("Go"));
        QCOMPARE(text(2, kWhen), QStringLiteral("During2"));
        QCOMPARE(text(2, kFadeSpeed), QStringLiteral("5")); // not rebuilt: the loaded text

        QCOMPARE(text(3, kWhen), QStringLiteral("Completion2"));
        QCOMPARE(text(3, kPlayCount), QStringLiteral("%"));
        QCOMPARE(text(3, kVolume), QStringLiteral("0%"));
        QCOMPARE(text(3, kChannel), QStringLiteral("x"));
        QCOMPARE(text(3, kFile), QStringLiteral("a.wav"));
        QCOMPARE(text(3, kBeginOn), QStringLiteral("Auto"));

        QCOMPARE(text(4, kAction), QStringLiteral("Vol"));
        QCOMPARE(text(4, kVolume), QStringLiteral("50%"));
        QCOMPARE(text(4, kPlayCount), QString());

        QCOMPARE(text(5, kAction), QStringLiteral("Pause"));
        QCOMPARE(text(5, kVolume), QString());
        QCOMPARE(text(5, kPlayCount), QString());
        QCOMPARE(text(5, kChannel), QStringLiteral("x"));
        QCOMPARE(text(5, kWhen), QStringLiteral("9"));    // no such code: the text stays
        QCOMPARE(text(5, kBeginOn), QStringLiteral("7")); // likewise

        QCOMPARE(text(6, kAction), QStringLiteral("abc"));
        QCOMPARE(text(6, kChannel), QStringLiteral("3")); // shown: no action code
        QCOMPARE(text(6, kVolume), QString());
        QCOMPARE(text(6, kWhen), QStringLiteral("x"));

        QCOMPARE(text(7, kPlayCount), QStringLiteral("%"));
        QCOMPARE(text(8, kVolume), QStringLiteral("0.2%"));
        QCOMPARE(text(9, kVolume), QStringLiteral("27.8%"));

        // Colours: the selected row yellow, the current row (2.7 -> 2) green, the rest white.
        QCOMPARE(m().row(6).colour, QColor(255, 255, 0));
        QCOMPARE(m().row(1).colour, QColor(0, 200, 0));
        QVERIFY(m().row(1).bold);
        QCOMPARE(m().row(0).colour, QColor(255, 255, 255));
        QVERIFY(!m().row(0).bold);
        QCOMPARE(lastStatus(), QStringLiteral("Cue 7 Ready  >  Count"));
        QCOMPARE(statusColour(), QColor(0, 255, 0));

        // The view shows the model's texts, colours and headers.
        QTreeView* list = ed().ListView1();
        QCOMPARE(list->model()->data(list->model()->index(0, 3)).toString(),
                 QStringLiteral("Delay (500ms)"));
        QCOMPARE(list->model()->headerData(8, Qt::Horizontal).toString(),
                 QStringLiteral("Begin On"));
        QCOMPARE(list->model()->columnCount(), 14);

        // No current cue for an empty Tag, "-1", "0" or a number past the last row.
        for (const char* tag : {"", "-1", "0", "10"}) {
            ed().ListView1Tag = QString::fromLatin1(tag);
            ed().UpdateListView();
            for (int i = 0; i < 6; ++i)
                QCOMPARE(m().row(i).colour, QColor(255, 255, 255));
        }
        // The current cue that is also selected shows yellow.
        ed().ListView1Tag = QStringLiteral("7");
        ed().UpdateListView();
        QCOMPARE(m().row(6).colour, QColor(255, 255, 0));
    }

    void redrawWithoutASelectedCueOnlyClosesThePanel() {
        load({Play("1"), Play("2")});
        QVERIFY(!ed().pctProperties()->isHidden());
        const QString before = text(2, kWhen);
        const int entries = historySize();
        ed().SelectRow(0);
        ed().UpdateListView();
        QVERIFY(ed().pctProperties()->isHidden());
        QVERIFY(!frame().cmdProperties->isEnabled());
        QCOMPARE(historySize(), entries);
        QCOMPARE(text(2, kWhen), before);
        // A click on the empty area of the list keeps things as they are.
        QTest::mouseClick(ed().ListView1()->viewport(), Qt::LeftButton, {},
                          QPoint(5, ed().ListView1()->viewport()->height() - 3));
        QCOMPARE(ed().SelectedIndex(), 0);
        QCOMPARE(historySize(), entries);
    }

    void onlyALeftClickSelectsACue() {
        for (int i = 0; i < 3; ++i)
            insert();
        clickRow(1);
        QTreeView* list = ed().ListView1();
        // Other buttons leave the selected cue, the one the next GO fires, where it is.
        QTest::mouseClick(list->viewport(), Qt::RightButton, {},
                          list->visualRect(m().index(2, 0)).center());
        QCOMPARE(ed().SelectedIndex(), 1);
        QTest::mouseClick(list->viewport(), Qt::MiddleButton, {},
                          list->visualRect(m().index(1, 0)).center());
        QCOMPARE(ed().SelectedIndex(), 1);
        QTest::mouseDClick(list->viewport(), Qt::RightButton, {},
                           list->visualRect(m().index(2, 0)).center());
        QCOMPARE(ed().SelectedIndex(), 1);
        QCOMPARE(m().row(0).colour, QColor(255, 255, 0));
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("1"));
        // An edit goes on writing the cue the panel shows.
        typeInto(pn().txtDescription(), QStringLiteral("Still one"));
        QCOMPARE(text(1, kDescription), QStringLiteral("Still one"));
        QCOMPARE(text(3, kDescription), QStringLiteral("New Action #3"));
        // A left click selects and loads.
        clickRow(3);
        QCOMPARE(ed().SelectedIndex(), 3);
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("3"));
    }

    void ctrlOrShiftClickActsAsAPlainClick() {
        for (int i = 0; i < 3; ++i)
            insert();
        clickRow(2);
        QTreeView* list = ed().ListView1();
        auto clickWith = [&](int position, Qt::KeyboardModifiers modifiers) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                              list->visualRect(m().index(position - 1, 0)).center());
        };
        // Ctrl on the selected cue keeps it selected and loaded: edits still reach it.
        clickWith(2, Qt::ControlModifier);
        QCOMPARE(ed().SelectedIndex(), 2);
        QVERIFY(!ed().pctProperties()->isHidden());
        typeInto(pn().txtDescription(), QStringLiteral("Kept"));
        QCOMPARE(text(2, kDescription), QStringLiteral("Kept"));
        // Shift or Ctrl on another cue selects and loads it as a plain click does.
        clickWith(3, Qt::ShiftModifier);
        QCOMPARE(ed().SelectedIndex(), 3);
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("3"));
        clickWith(1, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(ed().SelectedIndex(), 1);
        QCOMPARE(pn().txtCueNumber()->text(), QStringLiteral("1"));
        QCOMPARE(m().row(0).colour, kYellow);
        // Ctrl+Space on the selected cue keeps it too.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(ed().SelectedIndex(), 1);
        QVERIFY(!ed().pctProperties()->isHidden());
        // However the selection empties, the panel closes with it.
        list->selectionModel()->clearSelection();
        QVERIFY(ed().pctProperties()->isHidden());
        QVERIFY(!frame().cmdProperties->isEnabled());
    }

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

    void aRefusedPutShowsTheRowsOwnValue() {
        // Row 2 holds values no control can take: a volume above 0, a rate beyond 2, a fade
        // speed beyond 10, begin-on and channel codes without an option button.
        load({Play("1"),
              {"2", "Odd", "0", "0", "0", "0", "500", "5", "3", "7", "20", "1", "0", "0"}});
        clickRow(2);
        QCOMPARE(pn().sldVolume()->value(), 4000);
        QCOMPARE(pn().txtVolume()->text(), QStringLiteral("112.5"));
        QCOMPARE(pn().sldRate()->value(), 200);
        QCOMPARE(pn().txtRate()->text(), QStringLiteral("5"));
        QCOMPARE(pn().sldSpeed()->value(), 10);
        for (int i = 0; i < kBeginOnCount; ++i)
            QVERIFY(!pn().optBeginOn(i)->isChecked());
        for (int i = 0; i < kChannelCount; ++i)
            QVERIFY(!pn().optChannel(i)->isChecked());
        // The row keeps every value it had.
        QCOMPARE(value(2, kVolume), StoredValue::text("500"));
        QCOMPARE(value(2, kRate), StoredValue::text("5"));
        QCOMPARE(value(2, kFadeSpeed), StoredValue::text("20"));
        QCOMPARE(value(2, kBeginOn), StoredValue::text("3"));
        QCOMPARE(value(2, kChannel), StoredValue::text("7"));
        QCOMPARE(text(2, kChannel), QStringLiteral("8")); // a code above 4 shows as it reads
        // A nudge starts from this cue's level, not from cue 1's -1000.
        QSlider* volume = pn().sldVolume();
        volume->setFocus();
        QTest::keyClick(volume, Qt::Key_Left);
        QCOMPARE(value(2, kVolume), StoredValue::int32(-1));
        QCOMPARE(value(1, kVolume), StoredValue::int32(-1000));
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
        QCOMPARE(number(2), QStringLiteral("9"));
    }

    void aLoadLeavesUnloadableValuesInTheirRow() {
        // Row 2: a volume and a play count that are not numbers, an empty tolerance, a
        // channel without an option button, a rate beyond the slider.
        load({Play("1"),
              {"2", "Odd", "0", "3", "", "0", "loud", "5", "1", "7", "2", "many", "abc", "3"}});
        clickRow(2);
        QCOMPARE(value(2, kVolume), StoredValue::text("loud"));
        QCOMPARE(value(2, kActionCue), StoredValue::text(""));
        QCOMPARE(text(2, kActionCue), QString());
        QCOMPARE(value(2, kChannel), StoredValue::text("7"));
        QCOMPARE(value(2, kRate), StoredValue::text("5"));
        QCOMPARE(value(2, kPlayCount), StoredValue::text("many"));
        QCOMPARE(value(2, kSelectionStart), StoredValue::text("abc"));
        QCOMPARE(value(2, kSelectionEnd), StoredValue::number(3)); // a marker becomes a number
        // The controls show the row, not the cue loaded before.
        QCOMPARE(pn().txtAction()->text(), QString());
        QCOMPARE(pn().txtPlayCount()->text(), QStringLiteral("many"));
        QCOMPARE(pn().txtStartPos()->text(), QStringLiteral("abc"));
        QCOMPARE(pn().txtVolume()->text(), QString());
        // Row 1 is as its own load left it.
        QCOMPARE(value(1, kVolume), StoredValue::int32(-1000));
        QCOMPARE(value(1, kChannel), StoredValue::int16(2));

        // Loading twice gives the same row: a load only rewrites forms, never values.
        clickRow(1);
        std::vector<StoredValue> first;
        for (int k = 1; k <= kSubItemCount; ++k)
            first.push_back(value(1, k));
        clickRow(1);
        for (int k = 1; k <= kSubItemCount; ++k)
            QCOMPARE(value(1, k), first[static_cast<size_t>(k - 1)]);
    }

    void longTextsSurviveALoad() {
        // Longer than a text box holds by default: the load must not cut them.
        const QString description(40000, QLatin1Char('d'));
        const QString path = QStringLiteral("/shows/") + QString(40000, QLatin1Char('f'));
        load({{"1", description, "0", "0", "0", path, "0", "1", "0", "0", "0", "1", "0", "0"}});
        QCOMPARE(value(1, kDescription), StoredValue::text(description));
        QCOMPARE(text(1, kDescription), description);
        QCOMPARE(value(1, kFile), StoredValue::text(path));
        QCOMPARE(pn().txtDescription()->text(), description);
        QCOMPARE(pn().txtFile()->text(), path);
        QCOMPARE(lastStatus(), QStringLiteral("Cue 1 Ready  >  ") + description);
    }

    void actionCueHoldsDelaysBeyondSixteenBits() {
        load({Play("1"), Cue("2", "8", "40000")});
        clickRow(2);
        QCOMPARE(ed().SelectedCue.ActionCue, 40000);
        QCOMPARE(pn().txtAction()->text(), QStringLiteral("40000"));
        QCOMPARE(value(2, kActionCue), StoredValue::text("40000"));
        QCOMPARE(text(2, kAction), QStringLiteral("Delay (40000ms)"));
        // Edited in the panel and loaded again.
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
    void textAndMarkerFieldsWriteTheSelectedRow() {
        insert();
        insert();
        typeInto(pn().txtDescription(), QStringLiteral("Thunder"));
        QCOMPARE(value(2, kDescription), StoredValue::text("Thunder"));
        QCOMPARE(text(2, kDescription), QStringLiteral("Thunder"));
        QCOMPARE(text(1, kDescription), QStringLiteral("New Action #1"));

        typeInto(pn().txtEndPos(), QStringLiteral("12.50"));
        QCOMPARE(value(2, kSelectionEnd), StoredValue::number(12.5));
        QCOMPARE(text(2, kSelectionEnd), QStringLiteral("12.5"));
        typeInto(pn().txtEndPos(), QString());
        QCOMPARE(value(2, kSelectionEnd), StoredValue::number(12.5));
        typeInto(pn().txtEndPos(), QStringLiteral("abc"));
        QCOMPARE(value(2, kSelectionEnd), StoredValue::number(12.5));
        QCOMPARE(text(2, kSelectionEnd), QStringLiteral("12.5"));
        typeInto(pn().txtStartPos(), QStringLiteral("0.75"));
        QCOMPARE(value(2, kSelectionStart), StoredValue::number(0.75));

        typeInto(pn().txtPlayCount(), QStringLiteral("abc"));
        QCOMPARE(value(2, kPlayCount), StoredValue::text("abc"));
        QCOMPARE(text(2, kPlayCount), QStringLiteral("abc"));
        typeInto(pn().txtFile(), QStringLiteral("/shows/rain.wav"));
        QCOMPARE(value(2, kFile), StoredValue::text("/shows/rain.wav"));
        QCOMPARE(text(2, kFile), QStringLiteral("/shows/rain.wav"));
        ed().UpdateListView();
        QCOMPARE(text(2, kFile), QStringLiteral("rain.wav"));
        QCOMPARE(text(2, kPlayCount), QStringLiteral("%"));

        // The value field: on a Play cue the Action text is left alone.
        typeInto(pn().txtAction(), QStringLiteral("2500"));
        QCOMPARE(value(2, kActionCue), StoredValue::text("2500"));
        QCOMPARE(text(2, kAction), QStringLiteral("Play"));
    }

    void optionsAndSlidersWriteTheSelectedRow() {
        insert();
        click(pn().optChannel(4));
        QCOMPARE(value(1, kChannel), StoredValue::int16(4));
        QCOMPARE(text(1, kChannel), QStringLiteral("x"));
        click(pn().optChannel(2));
        QCOMPARE(value(1, kChannel), StoredValue::int16(2));
        QCOMPARE(text(1, kChannel), QStringLiteral("3"));
        click(pn().optBeginOn(0));
        QCOMPARE(value(1, kBeginOn), StoredValue::int16(0));
        QCOMPARE(text(1, kBeginOn), QStringLiteral("Go"));
        click(pn().optBeginOn(1));
        QCOMPARE(text(1, kBeginOn), QStringLiteral("Auto"));

        // Keys move the sliders by 1 and by 5.
        QSlider* volume = pn().sldVolume();
        volume->setFocus();
        QTest::keyClick(volume, Qt::Key_PageDown);
        QCOMPARE(volume->value(), 3995);
        QCOMPARE(value(1, kVolume), StoredValue::int32(-5));
        QCOMPARE(pn().txtVolume()->text(), QStringLiteral("99.9"));
        QCOMPARE(text(1, kVolume), QStringLiteral("99.9%"));
        volume->setValue(1111);
        QCOMPARE(pn().txtVolume()->text(), QStringLiteral("27.8"));
        QCOMPARE(value(1, kVolume), StoredValue::int32(-2889));

        QSlider* rate = pn().sldRate();
        rate->setFocus();
        QTest::keyClick(rate, Qt::Key_Right);
        QCOMPARE(value(1, kRate), StoredValue::text("1.01"));
        QCOMPARE(pn().txtRate()->text(), QStringLiteral("1.01"));
        rate->setValue(25);
        QCOMPARE(text(1, kRate), QStringLiteral("0.25"));

        QSlider* speed = pn().sldSpeed();
        speed->setFocus();
        QTest::keyClick(speed, Qt::Key_End);
        QCOMPARE(value(1, kFadeSpeed), StoredValue::int32(10));
        QCOMPARE(text(1, kFadeSpeed), QStringLiteral("10"));
    }

    void draggingTheVolumeSliderWritesTheRowLive() {
        insert();
        QSlider* volume = pn().sldVolume();
        struct {
            QPoint c;
            QPoint center() const { return c; }
        } handle{HandleCentre(volume)};
        QTest::mousePress(volume, Qt::LeftButton, {}, handle.center());
        QVERIFY(volume->isSliderDown());
        QTest::mouseMove(volume, handle.center() - QPoint(volume->width() / 4, 0));
        QVERIFY(volume->isSliderDown());
        QVERIFY(volume->value() < 4000);
        // Mid-drag the row already holds the slider's value.
        QCOMPARE(value(1, kVolume), StoredValue::int32(volume->value() - 4000));
        const int mid = volume->value();
        QTest::mouseMove(volume, handle.center() - QPoint(volume->width() / 2, 0));
        QVERIFY(volume->value() < mid);
        QCOMPARE(value(1, kVolume), StoredValue::int32(volume->value() - 4000));
        QTest::mouseRelease(volume, Qt::LeftButton, {},
                            handle.center() - QPoint(volume->width() / 2, 0));
        QCOMPARE(value(1, kVolume), StoredValue::int32(volume->value() - 4000));
    }

    void withoutASelectedCueFieldsWriteNoRow() {
        insert();
        ed().SelectRow(0);
        typeInto(pn().txtDescription(), QStringLiteral("Nowhere"));
        pn().sldVolume()->setValue(2000);
        QCOMPARE(pn().txtVolume()->text(), QStringLiteral("50")); // the mirror still follows
        QCOMPARE(value(1, kDescription), StoredValue::text("New Action #1"));
        QCOMPARE(value(1, kVolume), StoredValue::int32(0));
        // A click with no cue selected changes nothing and does not redraw.
        const int entries = historySize();
        ed().ListView1_Click();
        QCOMPARE(historySize(), entries);
        QCOMPARE(pn().txtDescription()->text(), QStringLiteral("Nowhere"));
    }

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
    }

    // --- the selectors -----------------------------------------------------------------------
    void actionSelectorStoresTheCodeAndStacksTheRows() {
        insert();
        typeInto(pn().txtAction(), QStringLiteral("500"));
        pick(pn().cboAction(), 3); // Wait For End of Iteration
        QCOMPARE(value(1, kAction), StoredValue::int32(3));
        QCOMPARE(text(1, kAction), QStringLiteral("Iteration"));
        QCOMPARE(value(1, kActionCue), StoredValue::text("80"));
        QCOMPARE(pn().txtAction()->text(), QStringLiteral("80"));
        QCOMPARE(pn().lblAction1()->text(), QStringLiteral("Tolerance (ms):"));
        QVERIFY(shown(2));
        QVERIFY(!shown(3));
        QVERIFY(shown(7));

        pick(pn().cboAction(), 8); // Delay (ms)
        QCOMPARE(value(1, kActionCue), StoredValue::text("80"));
        QCOMPARE(pn().lblAction1()->text(), QStringLiteral("Value:"));
        QCOMPARE(text(1, kAction), QStringLiteral("Delay (80ms)")); // after the redraw
        for (int r : {3, 4, 5, 7, 8, 9})
            QVERIFY(!shown(r));
        QVERIFY(shown(2));
        QVERIFY(shown(6));
        QCOMPARE(topTw(6), 2115);
        QCOMPARE(topTw(4), 2115);
        QCOMPARE(topTw(5), 2115);
        typeInto(pn().txtAction(), QStringLiteral("2500"));
        QCOMPARE(text(1, kAction), QStringLiteral("Delay: 2500ms"));

        pick(pn().cboAction(), 4); // Change Volume
        QVERIFY(shown(4));
        QVERIFY(shown(8));
        QVERIFY(!shown(9));
        QCOMPARE(topTw(4), 2115);
        QCOMPARE(topTw(5), 2695);
        QCOMPARE(topTw(6), 2695);
        QCOMPARE(topTw(7), 3160);
        QCOMPARE(topTw(8), 3625);
        pn().RefreshProperties();
        QCOMPARE(topTw(8), 3625);

        // Picking the item already chosen runs the selector again: the proposal returns.
        pick(pn().cboAction(), 3);
        typeInto(pn().txtAction(), QStringLiteral("300"));
        const int entries = historySize();
        emit pn().cboAction()->activated(3); // the operator picks the chosen item again
        QCOMPARE(value(1, kActionCue), StoredValue::text("80"));
        QCOMPARE(historySize(), entries + 1);
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
        QCOMPARE(box->text(), QStringLiteral("3"));
        QCOMPARE(lastStatus(), QStringLiteral("Cue 3 Ready."));
        QCOMPARE(statusColour(), QColor(0, 255, 0));
        const auto h = form->status().history();
        QCOMPARE(h[h.size() - 2].text, QStringLiteral("Cue 3 Ready  >  New Action #3"));
        QVERIFY(frame().cmdGo->hasFocus());

        for (const char* bad : {"9", "0", "abc", ""}) {
            box->setText(QString::fromLatin1(bad));
            QTest::keyClick(box, Qt::Key_Return);
            QCOMPARE(ed().SelectedIndex(), 3);
            QCOMPARE(box->text(), QStringLiteral("3")); // the selected cue was reloaded
            QCOMPARE(lastStatus(), QStringLiteral("Warning! - Cue Not Found"));
            QCOMPARE(statusColour(), QColor(255, 255, 0));
        }
    }

    void jumpBoxReloadsTheCueItShows() {
        for (int i = 0; i < 5; ++i)
            insert();
        clickRow(3);
        ed().SelectRow(4); // GO moved on
        ed().UpdateListView();
        QTest::keyClick(pn().txtCueNumber(), Qt::Key_Return);
        QCOMPARE(ed().SelectedIndex(), 3);
        QCOMPARE(lastStatus(), QStringLiteral("Cue 3 Ready."));
    }

    // --- the panel shown and hidden --------------------------------------------------------
    void panelFollowsTheButtonAndTheFlag() {
        // At start-up: hidden, the flag set, the button disabled.
        QVERIFY(ed().pctProperties()->isHidden());
        QVERIFY(AutoShowProperties);
        QVERIFY(!frame().cmdProperties->isEnabled());
        QCOMPARE(frame().cmdProperties->text(), QStringLiteral("< Properties"));
        QVERIFY(frame().Line1->isHidden());
        QVERIFY(frame().Label2->isHidden());

        insert();
        insert();
        const int W = form->OuterWidthTw();
        QVERIFY(!ed().pctProperties()->isHidden());
        QVERIFY(frame().cmdProperties->isEnabled());
        QCOMPARE(frame().cmdProperties->text(), QStringLiteral("Properties >"));
        QVERIFY(!frame().Line1->isHidden());
        QVERIFY(!frame().Label2->isHidden());
        QCOMPARE(WidthTw(ed().ListView1()), W - 5190);
        QCOMPARE(LeftTw(frame().pctActionControls), W - 5050);
        QCOMPARE(frame().Line2->X2(), W - 3930);

        // The operator hides it: it stays hidden through selections.
        click(frame().cmdProperties);
        QVERIFY(ed().pctProperties()->isHidden());
        QVERIFY(!AutoShowProperties);
        QCOMPARE(frame().cmdProperties->text(), QStringLiteral("< Properties"));
        QCOMPARE(WidthTw(ed().ListView1()), W - 1490);
        QCOMPARE(LeftTw(frame().pctActionControls), W - 1340);
        QCOMPARE(frame().Line2->X2(), W - 220);
        QVERIFY(frame().cmdGo->hasFocus());
        clickRow(1);
        QVERIFY(ed().pctProperties()->isHidden());
        QVERIFY(frame().cmdProperties->isEnabled());

        // And shows it again: selections keep it open.
        click(frame().cmdProperties);
        QVERIFY(AutoShowProperties);
        QVERIFY(!ed().pctProperties()->isHidden());
        clickRow(2);
        QVERIFY(!ed().pctProperties()->isHidden());

        // A load clears the flag: a hidden panel stays hidden when cues are selected.
        click(frame().cmdProperties);
        AutoShowProperties = false;
        load({Play("1"), Play("2")});
        clickRow(2);
        QVERIFY(ed().pctProperties()->isHidden());

        // An emptied list closes the panel and keeps the flag; Insert opens it again.
        AutoShowProperties = true;
        clickRow(1);
        QVERIFY(!ed().pctProperties()->isHidden());
        m().clear();
        ed().UpdateListView();
        QVERIFY(ed().pctProperties()->isHidden());
        QVERIFY(!frame().cmdProperties->isEnabled());
        QVERIFY(AutoShowProperties);
        insert();
        QVERIFY(!ed().pctProperties()->isHidden());
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
