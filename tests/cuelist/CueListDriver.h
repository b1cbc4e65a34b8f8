#pragma once

// Drives the cue list and its properties panel through the real main window: buttons are
// clicked, text is typed, sliders are moved, and the rows' stored values and display texts
// are read back.

#include "app/Form1.h"
#include "core/Palette.h"
#include "core/StatusLine.h"
#include "core/Twips.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueWords.h"
#include "cuelist/PropertiesPanel.h"
#include "platform/Dialogs.h"
#include "../support/TextRow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTreeView>
#include <QtTest>
#include <memory>

namespace sorvane::testing {


// Fields: #, Description, When, Action, ActionCue, File, Volume, Rate, BeginOn, Ch, Spd,
// Count, SelectionStart, SelectionEnd.
inline QStringList Play(const QString& n, const QString& description = QStringLiteral("Intro")) {
    return {n,   description, "0", "0",   "0", "/music/intro.wav", "-1000", "1", "0",
            "2", "5",         "3", "1.5", "12"};
}

inline QStringList Cue(const QString& n, const QString& action, const QString& actionCue) {
    return {n, "Cue " + n, "1", action, actionCue, "0", "0", "1", "1", "0", "0", "1", "0", "0"};
}

// The centre of a slider's handle.
inline QPoint HandleCentre(QSlider* slider) {
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

class CueListDriver {
protected:
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    void open() {
        QLocale::setDefault(QLocale::c());
        form = std::make_unique<Form1>(QString(), dialogs);
        form->Show();
        QApplication::setActiveWindow(form.get());
    }

    CueListEditor& ed() { return form->cues(); }
    PropertiesPanel& pn() { return form->cues().panel(); }
    CueListModel& m() { return ed().model(); }
    Frame& frame() { return form->frame(); }

    const StoredValue& value(int position, int k) { return m().row(position - 1).at(k).value; }
    QString text(int position, int k) { return m().row(position - 1).at(k).text; }
    QStringList numbers() {
        QStringList out;
        for (int i = 0; i < m().count(); ++i)
            out << m().row(i).text;
        return out;
    }
    // Each row's mark: g green (the current cue), y yellow (the selected one), w white; a
    // capital where the row is bold.
    QString marks() {
        QString out;
        for (int i = 0; i < m().count(); ++i) {
            const CueRow& r = m().row(i);
            const QChar c = r.colour == kGreen    ? u'g'
                            : r.colour == kYellow ? u'y'
                            : r.colour == kWhite  ? u'w'
                                                  : u'?';
            out += r.bold ? c.toUpper() : c;
        }
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
    void clickRow(int position, Qt::KeyboardModifiers modifiers = {}) {
        QTreeView* list = ed().ListView1();
        const QRect r = list->visualRect(m().index(position - 1, 0));
        QVERIFY(r.isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, r.center());
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
    // Picks an item with the keys as the operator does.
    void pick(QComboBox* box, int item) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Home);
        for (int i = 0; i < item; ++i)
            QTest::keyClick(box, Qt::Key_Down);
    }
    int topTw(int row) { return TopTw(pn().pctProperty(row)); }
    bool shown(int row) { return !pn().pctProperty(row)->isHidden(); }
    bool panelShown() { return !ed().pctProperties()->isHidden(); }
};

} // namespace sorvane::testing
