#pragma once

// The main window with a show, for the tests of the show file commands: shows are set and
// saved through the dialog into a temporary folder, and what the status line said is read.

#include "app/Form1.h"
#include "core/Module1.h"
#include "core/Palette.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueListModel.h"
#include "platform/Dialogs.h"
#include "showfiles/Form3.h"
#include "showfiles/ShowFiles.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "TestFiles.h"
#include <csignal>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace sorvane::testing {

// A cue from the fields of its show file line, every value a text as a load gives them.
inline CueRow Row(const QStringList& f) {
    CueRow r;
    r.text = f.value(0);
    for (int k = 1; k <= kSubItemCount; ++k)
        r.at(k) = {StoredValue::text(f.value(k)), f.value(k)};
    return r;
}

inline CueRow Line(const QString& line) {
    return Row(line.split(QLatin1Char(',')));
}

// A cue that plays `file`.
inline CueRow PlayCue(int n, const QString& description, const QString& file) {
    return Row({QString::number(n), description, "0", "0", "0", file, "0", "1", "0", "0", "10", "1",
                "0", "0"});
}

// Every action, with the panel's kinds of values; cues 1 and 8 name `media`.
inline std::vector<CueRow> EveryAction(const QString& media) {
    const char* lines[] = {"1,Preshow \u2013 caf\u00e9,0,0,0,%1,-800,1,0,4,5,0,1.5,12.25",
                           "2,Pause,1,1,0,0,0,1,1,0,10,1,0,0",
                           "3,\u0413\u0440\u043e\u043c,2,2,0,0,0,1,1,1,10,1,0,0",
                           "4,\u96f7\u306e\u97f3,2,3,120,0,0,1,0,2,10,1,0,0",
                           "5,Fade,0,4,0,0,-2000,1,1,3,7,1,0,0",
                           "6,Jump,1,5,2,0,0,1,0,0,10,1,0,0",
                           "7,Slow,1,6,0,0,0,0.75,0,2,10,1,0,0",
                           "8,Buffer,0,7,0,%1,0,1,1,3,10,1,0,0",
                           "9,Hold,2,8,500,0,0,1,1,0,10,1,0,0"};
    std::vector<CueRow> rows;
    for (const char* line : lines)
        rows.push_back(Line(QString::fromUtf8(line).replace("%1", media)));
    return rows;
}

class ShowWindow {
protected:
    QTemporaryDir tmp;
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    // Once for the program: the user's folders are temporary ones.
    void prepare() {
        QVERIFY(tmp.isValid());
        std::signal(SIGXFSZ, SIG_IGN); // a write past the size limit fails instead
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("xdg/data")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("xdg/config")));
    }
    // A fresh window, started with `commandLine`.
    void start(const QString& commandLine = QString()) {
        form.reset();
        ShowFolder.clear();
        ShowFilename.clear();
        SaveCanceled = false;
        dialogs.clearCalls();
        form = std::make_unique<Form1>(commandLine, dialogs);
        form->Show();
        files().savePause = 0;
    }

    ShowFiles& files() { return form->showFiles(); }
    CueListEditor& cues() { return form->cues(); }
    CueListModel& model() { return form->cues().model(); }
    QString path(const QString& rel) const { return tmp.filePath(rel); }
    QByteArray read(const QString& rel) const { return ReadFile(path(rel)); }
    void write(const QString& rel, const QByteArray& bytes) { WriteFile(path(rel), bytes); }
    bool exists(const QString& rel) const { return QFileInfo::exists(path(rel)); }
    QStringList filesIn(const QString& rel) const {
        return QDir(path(rel)).entryList(QDir::Files | QDir::Hidden);
    }
    QString fileOf(int row) { return model().row(row).at(kFile).value.toText(); }
    QString description(int row) { return model().row(row).at(kDescription).text; }

    void setShow(std::vector<CueRow> rows) {
        model().setRows(std::move(rows));
        cues().SelectRow(model().count() ? 1 : 0);
        cues().ListView1_Click();
    }
    void load(const QString& rel) { files().LoadShow(path(rel)); }
    // Saves through the dialog into `rel`.
    void save(const QString& rel) {
        dialogs.queueFile(path(rel));
        files().SaveShow();
    }
    // Saves into `rel` and runs `act` once, on the first turn of the event loop where `when`
    // holds for the save's progress and whether its write pass has begun (the progress
    // starts again). Gives whether `act` ran.
    bool saveAnd(const QString& rel, const std::function<bool(int, bool)>& when,
                 const std::function<void(Form3&)>& act) {
        int last = -1;
        bool done = false;
        QTimer t;
        t.setInterval(0);
        QObject::connect(&t, &QTimer::timeout, [&] {
            Form3* w = files().form3();
            if (!w || done) return;
            const int v = w->ProgressBar1->value();
            const bool writing = last > v;
            last = std::max(last, v);
            if (!when(v, writing)) return;
            done = true;
            act(*w);
        });
        t.start();
        save(rel);
        return done;
    }

    // The status line's entries that start with `start` in `colour` (in any colour without).
    int entries(const QString& start, const QColor& colour = QColor()) {
        int n = 0;
        for (const auto& e : form->status().history())
            if (e.text.startsWith(start) && (!colour.isValid() || e.colour == colour)) ++n;
        return n;
    }
    bool saved(const QString& name) {
        return entries("Show Saved Successfully - " + name, kBrightGreen) > 0;
    }
    // The content of the media a loaded cue names, found as playback finds it.
    QByteArray mediaOf(int row) {
        const QString f = fileOf(row);
        return ReadFile(f.startsWith(QLatin1Char('/')) ? f : ShowFolder + "ShowFiles/" + f);
    }
};

} // namespace sorvane::testing
