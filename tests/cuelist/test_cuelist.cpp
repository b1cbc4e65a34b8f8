#include "../support/TextRow.h"
#include "app/Form1.h"
#include "core/Palette.h"
#include "core/StatusLine.h"
#include "core/Twips.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueNumber.h"
#include "cuelist/CueWords.h"
#include "cuelist/PropertiesPanel.h"
#include "platform/Dialogs.h"

#include <QtTest/qtestspontaneevent.h>
#include <QtTest>
#include <QtWidgets>
#include <functional>

using namespace sorvane;
using namespace sorvane::testing;
using namespace Qt::StringLiterals;

// A cue as a show file line holds it: #, Description, When, Action, ActionCue, File, Volume,
// Rate, BeginOn, Ch, Spd, Count, SelectionStart, SelectionEnd.
inline QString Play(const QString& n, const QString& description = u"Intro"_s) {
    return n + ',' + description + u",0,0,0,/music/intro.wav,-1000,1,0,2,5,3,1.5,12"_s;
}
inline QString Cue(const QString& n, const QString& action, const QString& actionCue) {
    return n + u",Cue "_s + n + u",1,"_s + action + ',' + actionCue + u",0,0,1,1,0,0,1,0,0"_s;
}

// The cue list and its properties panel, driven through the real main window.
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
    QString stored(int position, std::initializer_list<int> ks) {
        QStringList out;
        for (int k : ks)
            out << value(position, k).toText();
        return out.join(u',');
    }
    // Column k of every row; column 0 is the cue number.
    QStringList column(int k) {
        QStringList out;
        for (int i = 0; i < m().count(); ++i)
            out << (k == 0 ? m().row(i).text : m().row(i).at(k).text);
        return out;
    }
    // Each row's mark: g green (current), y yellow (selected), w white; a capital when bold.
    QString marks() {
        QString out;
        for (int i = 0; i < m().count(); ++i) {
            const qsizetype c = QList<QColor>{kGreen, kYellow, kWhite}.indexOf(m().row(i).colour);
            out += QLatin1String(m().row(i).bold ? "GYW?" : "gyw?").at(c < 0 ? 3 : c);
        }
        return out;
    }
    QString said() {
        const auto e = form->status().history().constLast();
        return e.text + u' ' + e.colour.name();
    }
    bool shown(int row) { return !pn().pctProperty(row)->isHidden(); }
    bool panelShown() { return !ed().pctProperties()->isHidden(); }

    void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    void insert() { click(frame().cmdAddCue); }
    void clickRow(int position, Qt::KeyboardModifiers modifiers = {}) {
        const QRect r = ed().ListView1()->visualRect(m().index(position - 1, 0));
        QTest::mouseClick(ed().ListView1()->viewport(), Qt::LeftButton, modifiers, r.center());
    }
    // Replaces the list as a show file load does: row 1 selected, no current cue.
    void load(const QStringList& lines) {
        std::vector<CueRow> rows;
        for (const QString& l : lines)
            rows.push_back(TextRow(l.split(u',')));
        m().setRows(std::move(rows));
        ed().SelectRow(1);
        ed().ListView1Tag = u"-1"_s;
        ed().ListView1_Click();
    }
    void typeInto(QLineEdit* box, const QString& t) {
        box->selectAll();
        QTest::keyClicks(box, t);
    }
    void pick(QComboBox* box, int item) {
        QTest::keyClick(box, Qt::Key_Home);
        for (int i = 0; i < item; ++i)
            QTest::keyClick(box, Qt::Key_Down);
    }

private slots:
    void init() {
        QLocale::setDefault(QLocale::c());
        form = std::make_unique<Form1>(QString(), dialogs);
        form->Show();
        QApplication::setActiveWindow(form.get());
    }
    void cleanup() { form.reset(); }

    void insertAddsAPlayCueAndRenumbersTheCuesThatFollow() {
        insert();
        QCOMPARE(stored(1, {kWhen, kAction, kActionCue, kFile, kVolume, kRate, kBeginOn, kChannel,
                            kFadeSpeed, kPlayCount, kSelectionStart, kSelectionEnd}),
                 u"0,0,0,0,0,1,1,0,0,1,0,0"_s);
        ed().SelectRow(0); // the box already shows the new description: it is stored all the same
        insert();
        QCOMPARE(stored(1, {kDescription}), u"New Action #1"_s);
        clickRow(1);
        insert();
        QCOMPARE(column(0), QStringList({"1", "2", "3"}));
        QCOMPARE(column(kDescription),
                 QStringList({"New Action #1", "New Action #2", "New Action #1"}));
        QCOMPARE(marks(), u"wYw"_s);
        load({Play("x"), Play("2.5"), Play("5")});
        insert();
        QCOMPARE(column(0), QStringList({"x", "2", "3.5", "6"}));
        click(frame().cmdProperties); // hidden by the operator: it stays hidden
        clickRow(1);
        QVERIFY(!panelShown());
    }

    void deleteSelectsAndLoadsTheCueThatTookItsPlace() {
        load({Play("1", "One"), Play("2", "Two"), Play("5", "Five"), Play("9", "Nine")});
        clickRow(2);
        ed().ListView1Tag = u"3"_s;
        click(frame().cmdDeleteCue);
        QCOMPARE(column(0), QStringList({"1", "2", "3"}));
        QCOMPARE(pn().txtDescription()->text(), u"Five"_s);
        QCOMPARE(said(), u"Cue 2 Ready  >  Five #00ff00"_s);
        QCOMPARE(marks(), u"wYG"_s);
        typeInto(pn().txtDescription(), u"Edited"_s);
        QCOMPARE(text(2, kDescription), u"Edited"_s);
        clickRow(3);
        click(frame().cmdDeleteCue);
        QCOMPARE(pn().txtDescription()->text(), u"Edited"_s);
        QCOMPARE(marks(), u"wY"_s);
        for (int i = 0; i < 3; ++i) // one more than the list holds
            click(frame().cmdDeleteCue);
        QCOMPARE(m().count(), 0);
        QVERIFY(!panelShown() && !frame().cmdProperties->isEnabled());
    }

    void moveDownAndUpExchangeFieldsNotNumbers() {
        load({Cue("1", "1", "0"), Cue("2", "2", "0"), Cue("3", "8", "40000"), Cue("4", "5", "2")});
        clickRow(3);
        ed().ListView1Tag = u"3"_s;
        click(frame().cmdMoveDown);
        QCOMPARE(column(0), QStringList({"1", "2", "3", "4"}));
        QCOMPARE(column(kDescription), QStringList({"Cue 1", "Cue 2", "Cue 4", "Cue 3"}));
        QCOMPARE(stored(4, {kAction, kActionCue}), u"8,40000"_s);
        QCOMPARE(marks(), u"wwGY"_s);
        for (int i = 0; i < 4; ++i)
            click(frame().cmdMoveUp);
        clickRow(4);
        click(frame().cmdMoveDown);
        QCOMPARE(column(kDescription), QStringList({"Cue 3", "Cue 1", "Cue 2", "Cue 4"}));
    }

    void redrawReadsNumbersAsTheLoaderDoes() {
        const QStringList texts =
            u"|0|7|-7|-|-0|007|+5| 5|5 |\t5|123456789|999999999|1234567890|"
            u"-99999999|1.5|1,5|.5|,5|1e3|e3|inf|nan|Infinity|abc|/music/a.wav|"
            u"x|5a|1 000|1,000|0x10|&H10|12.3.4|\u0663|\u22125|\u00a05|\u06f1\u06f2"_s.split(u'|');
        for (const char* name : {"C", "de_DE", "fr_FR", "sv_SE", "ar_EG", "fa_IR"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(name)));
            for (const QString& t : texts) {
                const auto quick = ReadNumberQuick(t);
                const auto loaded = StoredValue::text(t).toNumber();
                QVERIFY2(quick.has_value() == loaded.has_value() && (!quick || *quick == *loaded),
                         qPrintable(t + u" in "_s + QLatin1String(name)));
            }
        }
    }

    void redrawRebuildsSevenColumnsAndMarksTheCurrentCue() {
        const std::pair<QString, QString> rows[] = {
            {Cue("1", "8", "500"), u"Execution2,Delay (500ms),,,Auto,,"_s},
            {Play("2"), u"During2,Play,intro.wav,75%,Go,3,3"_s},
            {u"3,Loop,2,0,0,a.wav,-4000,1,1,4,0,0,0,0"_s, u"Completion2,Play,a.wav,0%,Auto,x,%"_s},
            {u"4,Fade,1,4,0,0,-2000,1,0,1,3,1,0,0"_s, u"Execution2,Vol,,50%,Go,2,"_s},
            {u"5,Pause,9,1,0,0,-2000,1,7,4,0,2,0,0"_s, u"9,Pause,,,7,x,"_s},
            {u"6,Odd,x,abc,0,0,-2000,1,0,6,0,2,0,0"_s, u"x,abc,,,Go,7,"_s},
            {u"7,Count,0,0,0,0,0,1,0,0,0,abc,0,0"_s, u"During2,Play,,100%,Go,1,%"_s},
            {u"8,Tie,0,0,0,0,-3990,1,0,0,0,1,0,0"_s, u"During2,Play,,0.2%,Go,1,1"_s}};
        QStringList lines;
        for (const auto& row : rows)
            lines << row.first;
        load(lines);
        ed().SelectRow(7);
        ed().ListView1Tag = u"2.7"_s;
        ed().UpdateListView();
        const int columns[] = {kWhen, kAction, kFile, kVolume, kBeginOn, kChannel, kPlayCount};
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 7; ++c)
                QCOMPARE(text(r + 1, columns[c]), rows[r].second.split(u',')[c]);
        QCOMPARE(marks(), u"wGwwwwYw"_s);
    }

    // A redraw repaints the rows it changed, also when the selection stays (a GO).
    void theWindowShowsEachRowInItsColour() {
        for (int i = 0; i < 3; ++i)
            insert();
        auto greenIn = [&](int position) {
            QTest::qWait(50);
            QTreeView* list = ed().ListView1();
            const QRect r = list->visualRect(m().index(position - 1, 1));
            const QPoint at = list->viewport()->mapTo(form.get(), r.topLeft());
            const QImage shot =
                form->screen()
                    ->grabWindow(form->winId(), at.x(), at.y(), r.width(), r.height())
                    .toImage();
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    if (shot.pixelColor(x, y) == kGreen) return true;
            return false;
        };
        clickRow(3);
        ed().ListView1Tag = u"1"_s;
        ed().UpdateListView();
        QVERIFY(greenIn(1) && !greenIn(2));
        ed().ListView1Tag = u"2"_s;
        ed().UpdateListView();
        QVERIFY(!greenIn(1) && greenIn(2));
    }

    void aClickChoosesOneCueAndKeepsItLoaded() {
        for (int i = 0; i < 3; ++i)
            insert();
        clickRow(2);
        QCOMPARE(form->focusWidget(), frame().cmdGo); // the next key is GO's
        QWidget* list = ed().ListView1()->viewport();
        const QPoint third = ed().ListView1()->visualRect(m().index(2, 0)).center();
        QSignalSpy doubleClicks(&ed(), &CueListEditor::ListView1_DblClick);
        QTest::mouseClick(list, Qt::RightButton, {}, third);
        QTest::mouseClick(list, Qt::MiddleButton, {}, third);
        QTest::mouseDClick(list, Qt::RightButton, {}, third);
        QTest::mouseClick(list, Qt::LeftButton, {}, QPoint(5, list->height() - 3));
        QCOMPARE(ed().SelectedIndex(), 2);
        QCOMPARE(doubleClicks.count(), 0);
        clickRow(2, Qt::ControlModifier);
        QCOMPARE(marks(), u"wYG"_s);
        typeInto(pn().txtDescription(), u"Kept"_s);
        QCOMPARE(column(kDescription), QStringList({"New Action #1", "Kept", "New Action #3"}));
        clickRow(3, Qt::ShiftModifier);
        QCOMPARE(pn().txtCueNumber()->text(), u"3"_s);
        clickRow(1, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(pn().txtCueNumber()->text(), u"1"_s);
        QTest::mouseClick(list, Qt::LeftButton, {}, third);
        QTest::mouseDClick(list, Qt::LeftButton, {}, third);
        QTest::mouseRelease(list, Qt::LeftButton, {}, third);
        QCOMPARE(doubleClicks.count(), 1);
        QTest::keyClick(ed().ListView1(), Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(ed().SelectedIndex(), 1);
        ed().ListView1()->selectionModel()->clearSelection();
        QVERIFY(!panelShown());
    }

    void theWheelChangesOnlyAControlClickedFirst() {
        load({Play("1"), Cue("2", "8", "2500")});
        clickRow(2);
        struct Counter : QObject { // the notches passed on to the panel
            int wheels = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                wheels += e->type() == QEvent::Wheel;
                return false;
            }
        } counter;
        pn().installEventFilter(&counter);
        auto notch = [](QWidget* w, Qt::KeyboardModifiers modifiers, int delta = -120) {
            const QPointF at(w->width() / 2.0, w->height() / 2.0);
            QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
            QSpontaneKeyEvent::setSpontaneous(&e); // as the window system's, which propagates
            qApp->notify(w, &e);
        };
        const Qt::KeyboardModifiers mods[] = {Qt::NoModifier, Qt::ControlModifier,
                                              Qt::ShiftModifier, Qt::AltModifier};
        for (int i = 0; i < 5; ++i)
            notch(pn().cboAction(), mods[i % 4], i % 2 ? 120 : -120);
        notch(pn().cboWhen(), Qt::NoModifier);
        QCOMPARE(stored(2, {kAction, kActionCue, kWhen}), u"8,2500,1"_s);
        clickRow(1);
        for (QSlider* slider : {pn().sldVolume(), pn().sldRate(), pn().sldSpeed()})
            for (Qt::KeyboardModifiers modifier : mods)
                notch(slider, modifier);
        QCOMPARE(stored(1, {kVolume, kRate, kFadeSpeed}), u"-1000,1,5"_s);
        QCOMPARE(counter.wheels, 6 + 12);
        QSlider* volume = pn().sldVolume();
        QTest::mouseClick(volume, Qt::LeftButton); // a click gives the slider the wheel
        const int before = volume->value();
        notch(volume, Qt::NoModifier, 120);
        QVERIFY(volume->value() != before);
        QCOMPARE(value(1, kVolume), StoredValue::int32(volume->value() - 4000));
        QCOMPARE(counter.wheels, 18);
    }

    void valuesNoControlCanTakeStayInTheirRow() {
        const QString description(40000, u'd');
        load({Play("1"), u"2,Odd,0,3,,0,loud,1,1,2,x,many,abc,3"_s,
              u"3,Big,0,0,0,0,500,5,3,7,20,1,0,0"_s, Cue("4", "3", "120"), Cue("5", "8", "40000"),
              u"6,"_s + description + u",0,0,0,0,0,1,0,0,0,1,0,0"_s});
        clickRow(2);
        QCOMPARE(pn().txtAction()->text() + pn().txtVolume()->text(), QString());
        QCOMPARE(pn().txtPlayCount()->text(), u"many"_s);
        QCOMPARE(pn().sldVolume()->value() + pn().sldSpeed()->value(), 0);
        QCOMPARE(stored(2, {kVolume, kActionCue, kPlayCount, kSelectionStart, kFadeSpeed}),
                 u"loud,,many,abc,x"_s);
        clickRow(3);
        QCOMPARE(QList<int>({pn().sldVolume()->value(), pn().sldRate()->value(),
                             pn().sldSpeed()->value()}),
                 QList<int>({4000, 200, 10}));
        QCOMPARE(pn().txtVolume()->text() + u' ' + pn().txtRate()->text(), u"112.5 5"_s);
        for (int i = 0; i < kChannelCount; ++i)
            QVERIFY(!pn().optChannel(i)->isChecked() && !pn().optBeginOn(i % 2)->isChecked());
        QCOMPARE(stored(3, {kVolume, kRate, kFadeSpeed, kBeginOn, kChannel}), u"500,5,20,3,7"_s);
        QCOMPARE(text(3, kChannel), u"8"_s); // a code above 4 shows as it reads
        pn().sldVolume()->setFocus();
        QTest::keyClick(pn().sldVolume(), Qt::Key_Left);
        QCOMPARE(stored(3, {kVolume}) + u',' + stored(1, {kVolume}), u"-1,-1000"_s);
        clickRow(4); // the iteration keeps its tolerance
        QCOMPARE(stored(4, {kActionCue}), u"120"_s);
        clickRow(5);
        typeInto(pn().txtAction(), u"45000"_s);
        QCOMPARE(text(5, kAction), u"Delay: 45000ms"_s);
        clickRow(6); // a text longer than a text box holds by default is not cut
        QCOMPARE(pn().txtDescription()->text(), description);
        QCOMPARE(value(6, kDescription), StoredValue::text(description));
        QTest::keyClick(ed().ListView1(), Qt::Key_Up); // keys load a cue as a click does
        QCOMPARE(ed().SelectedCue.ActionCue, 45000);
    }

    // Each edit, and what the selected row then holds and shows; the other row keeps its own.
    void fieldsWriteTheSelectedRow() {
        insert();
        insert();
        PropertiesPanel& p = pn();
        auto type = [this](QLineEdit* box, QString t) { return [=, this] { typeInto(box, t); }; };
        auto key = [](QSlider* slider, Qt::Key k) { return [=] { QTest::keyClick(slider, k); }; };
        auto drag = [](QSlider* slider, int v) {
            return [=] {
                slider->setSliderDown(true);
                slider->setSliderPosition(v);
            };
        };
        auto press = [this](QAbstractButton* b) { return [=, this] { click(b); }; };
        auto choose = [this](QComboBox* box, int item) { return [=, this] { pick(box, item); }; };
        const std::tuple<std::function<void()>, int, const char*, const char*> edits[] = {
            {type(p.txtDescription(), u"Thunder"_s), kDescription, "Thunder", "Thunder"},
            {type(p.txtEndPos(), u"12.50"_s), kSelectionEnd, "12.5", "12.5"},
            {type(p.txtEndPos(), u"abc"_s), kSelectionEnd, "12.5", "12.5"}, // no number: kept
            {type(p.txtStartPos(), u"0.75"_s), kSelectionStart, "0.75", "0.75"},
            {type(p.txtPlayCount(), u"abc"_s), kPlayCount, "abc", "abc"},
            {type(p.txtFile(), u"/a/rain.wav"_s), kFile, "/a/rain.wav", "/a/rain.wav"},
            {press(p.optChannel(4)), kChannel, "4", "x"},
            {press(p.optBeginOn(0)), kBeginOn, "0", "Go"},
            {key(p.sldVolume(), Qt::Key_PageDown), kVolume, "-5", "99.9%"}, // keys: 1 and 5
            {drag(p.sldVolume(), 1111), kVolume, "-2889", "27.8%"},
            {drag(p.sldRate(), 25), kRate, "0.25", "0.25"},
            {drag(p.sldSpeed(), 10), kFadeSpeed, "10", "10"},
            {choose(p.cboWhen(), 2), kWhen, "2", "Completion"}};
        for (const auto& [act, k, storedText, shownText] : edits) {
            const StoredValue other = value(1, k);
            act();
            QCOMPARE(stored(2, {k}), QString::fromLatin1(storedText));
            QCOMPARE(text(2, k), QString::fromLatin1(shownText));
            QCOMPARE(value(1, k), other);
        }
        QCOMPARE(p.txtVolume()->text() + u' ' + p.txtRate()->text(), u"27.8 0.25"_s);
        typeInto(p.txtAction(), u"500"_s);
        pick(p.cboAction(), kActionIteration);
        QCOMPARE(stored(2, {kAction, kActionCue}) + p.lblAction1()->text(),
                 u"3,80Tolerance (ms):"_s);
        pick(p.cboAction(), kActionDelay);
        QCOMPARE(text(2, kAction) + p.lblAction1()->text(), u"Delay (80ms)Value:"_s);
        typeInto(p.txtAction(), u"300"_s);
        pick(p.cboAction(), kActionIteration);
        emit p.cboAction()->activated(kActionIteration);
        QCOMPARE(stored(2, {kActionCue}), u"80"_s);
        ed().SelectRow(0); // with no cue selected an edit writes no row
        typeInto(p.txtDescription(), u"Nowhere"_s);
        p.sldVolume()->setValue(2000);
        QCOMPARE(column(kDescription), QStringList({"New Action #1", "Thunder"}));
        QCOMPARE(column(kVolume), QStringList({"100%", ""}));
    }

    void eachActionShowsItsRowsWithoutGaps_data() {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("rows");
        const char* rows[] = {"1101111101", "1100001100", "1100001100", "1110001100", "1100101110",
                              "1110001000", "1100011100", "1101001100", "1110001000"};
        for (int action = 0; action < kActionCount; ++action)
            QTest::newRow(qPrintable(kActionItems[action])) << action << rows[action];
    }
    void eachActionShowsItsRowsWithoutGaps() {
        QFETCH(int, action);
        QFETCH(QString, rows);
        insert();
        for (int from = 0; from < kActionCount; ++from) {
            if (from == action) continue;
            pick(pn().cboAction(), from);
            pick(pn().cboAction(), action);
            for (int row = 0; row < 10; ++row)
                QVERIFY2(shown(row) == (rows[row] == u'1'),
                         qPrintable(u"row %1 from %2"_s.arg(row).arg(from)));
            int top = 2115;
            for (int row = 3; row <= 9; ++row) {
                if (!shown(row)) continue;
                QCOMPARE(TopTw(pn().pctProperty(row)), top);
                top += HeightTw(pn().pctProperty(row)) + 30;
            }
        }
    }

    // The box shows the cue's position, also in a show numbered otherwise, and jumps by it.
    void jumpBoxSelectsTheTypedCue() {
        load({Play("1"), Play("2"), Play("5"), Play("9"), Play("12")});
        clickRow(5);
        QLineEdit* box = pn().txtCueNumber();
        QCOMPARE(box->text(), u"5"_s);
        QTest::keyClick(box, Qt::Key_3);
        QCOMPARE(said(), u"Cue 5 Ready. #00ff00"_s);
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(ed().SelectedIndex(), 3);
        QCOMPARE(said(), u"Cue 3 Ready. #00ff00"_s);
        for (const QString& nowhere : {u"9"_s, u"0"_s, u"abc"_s, QString()}) {
            box->setText(nowhere);
            QTest::keyClick(box, Qt::Key_Return);
            QCOMPARE(box->text(), u"3"_s); // the selected cue was reloaded
            QCOMPARE(said(), u"Warning! - Cue Not Found #ffff00"_s);
        }
    }
};

QTEST_MAIN(CueListTest)
#include "test_cuelist.moc"
