#pragma once

// Drives the cue list and its properties panel through the real main window.

#include "../support/TextRow.h"
#include "app/Form1.h"
#include "core/Palette.h"
#include "core/StatusLine.h"
#include "core/Twips.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueWords.h"
#include "cuelist/PropertiesPanel.h"
#include "platform/Dialogs.h"

#include <QtTest>
#include <QtWidgets>
#include <memory>

namespace sorvane::testing {

using namespace Qt::StringLiterals;

// A cue as a show file line holds it: #, Description, When, Action, ActionCue, File, Volume,
// Rate, BeginOn, Ch, Spd, Count, SelectionStart, SelectionEnd.
inline QString Play(const QString& n, const QString& description = u"Intro"_s) {
    return n + ',' + description + u",0,0,0,/music/intro.wav,-1000,1,0,2,5,3,1.5,12"_s;
}
inline QString Cue(const QString& n, const QString& action, const QString& actionCue) {
    return n + u",Cue "_s + n + u",1,"_s + action + ',' + actionCue + u",0,0,1,1,0,0,1,0,0"_s;
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
    // The stored values of the fields ks, as texts joined by commas.
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
    // The newest message and its colour.
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
};

} // namespace sorvane::testing
