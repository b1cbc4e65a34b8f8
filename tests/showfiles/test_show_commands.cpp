// The show file commands through the real main window: saves byte for byte, round trips,
// the media gathering with its mended faults, the loaders and the dialog's file name.

#include "app/Form1.h"
#include "core/Module1.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueListModel.h"
#include "platform/Dialogs.h"
#include "showfiles/FileAssoc.h"
#include "showfiles/Form3.h"
#include "showfiles/ShowFileFormat.h"
#include "showfiles/ShowFiles.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "TestFiles.h"
#include <csignal>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace sorvane;

namespace {

CueRow Cue(int number, const QString& description, int when, int action, const QString& actionCue,
           const QString& file, int volume, const QString& rate, int beginOn, int channel,
           int speed, const QString& count, double start, double end) {
    CueRow r;
    r.text = QString::number(number);
    auto set = [&](int k, const StoredValue& v) { r.at(k) = {v, v.toText()}; };
    set(kDescription, StoredValue::text(description));
    set(kWhen, StoredValue::int32(when));
    set(kAction, StoredValue::int32(action));
    set(kActionCue, StoredValue::text(actionCue));
    set(kFile, StoredValue::text(file));
    set(kVolume, StoredValue::int32(volume));
    set(kRate, StoredValue::text(rate));
    set(kBeginOn, StoredValue::int16(static_cast<std::int16_t>(beginOn)));
    set(kChannel, StoredValue::int16(static_cast<std::int16_t>(channel)));
    set(kFadeSpeed, StoredValue::int32(speed));
    set(kPlayCount, StoredValue::text(count));
    set(kSelectionStart, StoredValue::number(start));
    set(kSelectionEnd, StoredValue::number(end));
    return r;
}

// Each row as its text, then every sub-item's stored value as text and display text.
QStringList Snapshot(const CueListModel& m) {
    QStringList out;
    for (int i = 0; i < m.count(); ++i) {
        const CueRow& r = m.row(i);
        QStringList fields{r.text};
        for (int k = 1; k <= r.subCount; ++k)
            fields << r.at(k).value.toText() + QLatin1Char('|') + r.at(k).text;
        out << fields.join(QLatin1Char(';'));
    }
    return out;
}

// Limits the size of any file this process writes, as a full disk would.
struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim = old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};

} // namespace

class ShowCommandsTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    ShowFiles& files() { return form->showFiles(); }
    CueListEditor& cues() { return form->cues(); }
    CueListModel& model() { return form->cues().model(); }
    QString path(const QString& rel) const { return tmp.filePath(rel); }

    void setShow(std::vector<CueRow> rows) {
        model().setRows(std::move(rows));
        cues().SelectRow(model().count() ? 1 : 0);
        cues().ListView1_Click();
    }

    // Saves through the dialog into `file`.
    void save(const QString& file) {
        dialogs.queueFile(file);
        files().SaveShow();
    }

    QList<StatusLine::Entry> history() { return form->status().history(); }
    bool historyHas(const QString& start, bool red) {
        for (const auto& e : history())
            if (e.text.startsWith(start) &&
                (!red || (e.colour.red() > 200 && e.colour.green() < 80)))
                return true;
        return false;
    }

    // Every action, with the panel's kinds of values.
    std::vector<CueRow> EveryAction(const QString& media) {
        return {
            Cue(1, QStringLiteral("Preshow \u2013 caf\u00e9"), 0, 0, QStringLiteral("0"), media,
                -800, QStringLiteral("1"), 0, 4, 5, QStringLiteral("0"), 1.5, 12.25),
            Cue(2, QStringLiteral("Pause"), 1, 1, QStringLiteral("0"), QStringLiteral("0"), 0,
                QStringLiteral("1"), 1, 0, 10, QStringLiteral("1"), 0, 0),
            Cue(3, QStringLiteral("\u0413\u0440\u043e\u043c"), 2, 2, QStringLiteral("0"),
                QStringLiteral("0"), 0, QStringLiteral("1"), 1, 1, 10, QStringLiteral("1"), 0, 0),
            Cue(4, QStringLiteral("\u96f7\u306e\u97f3"), 2, 3, QStringLiteral("120"),
                QStringLiteral("0"), 0, QStringLiteral("1"), 0, 2, 10, QStringLiteral("1"), 0, 0),
            Cue(5, QStringLiteral("Fade"), 0, 4, QStringLiteral("0"), QStringLiteral("0"), -2000,
                QStringLiteral("1"), 1, 3, 7, QStringLiteral("1"), 0, 0),
            Cue(6, QStringLiteral("Jump"), 1, 5, QStringLiteral("2"), QStringLiteral("0"), 0,
                QStringLiteral("1"), 0, 0, 10, QStringLiteral("1"), 0, 0),
            Cue(7, QStringLiteral("Slow"), 1, 6, QStringLiteral("0"), QStringLiteral("0"), 0,
                QStringLiteral("0.75"), 0, 2, 10, QStringLiteral("1"), 0, 0),
            Cue(8, QStringLiteral("Buffer"), 0, 7, QStringLiteral("0"), media, 0,
                QStringLiteral("1"), 1, 3, 10, QStringLiteral("1"), 0, 0),
            Cue(9, QStringLiteral("Hold"), 2, 8, QStringLiteral("500"), QStringLiteral("0"), 0,
                QStringLiteral("1"), 1, 0, 10, QStringLiteral("1"), 0, 0),
        };
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        std::signal(SIGXFSZ, SIG_IGN); // a write past the size limit fails instead
        qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("xdg/data"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(QStringLiteral("xdg/config"))));
    }

    void init() {
        ShowFolder.clear();
        ShowFilename.clear();
        SaveCanceled = false;
        dialogs.clearCalls();
        form = std::make_unique<Form1>(QString(), dialogs);
        form->Show();
        files().savePause = 0;
    }

    void cleanup() {
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    void startRegistersTheShowType() {
        // The window's load registered the type in the store of the (temporary) user folder.
        const QString root = ClassesRootText();
        QCOMPARE(RegGetString(root, QStringLiteral(".cue"), QString(), QString()),
                 QStringLiteral("sorvane"));
        QCOMPARE(RegGetString(root, QStringLiteral("sorvane\\shell\\open\\command"), QString(),
                              QString()),
                 QLatin1Char('"') + ApplicationFolder() + QStringLiteral("/sorvane\" %1"));
        QVERIFY(QFileInfo::exists(path(QStringLiteral("xdg/config/sorvane/registry.json"))));
    }

    void exampleLineByteForByte() {
        const QString media = path(QStringLiteral("Sounds/rain.wav"));
        WriteFile(media, Wav("rain"));
        CueRow r = Cue(2, QStringLiteral("Rain heavy"), 1, 0, QStringLiteral("0"), media, -800,
                       QStringLiteral("1"), 0, 4, 5, QStringLiteral("0"), 1.5, 12.25);
        setShow({r});
        ShowFilename = path(QStringLiteral("loaded.cue"));
        const QString show = path(QStringLiteral("Example/show.cue"));
        QDir().mkpath(path(QStringLiteral("Example")));
        save(show);
        QCOMPARE(ReadFile(show),
                 QByteArray("2,Rain heavy,1,0,0,rain.wav,-800,1,0,4,5,0,1.5,12.25,\r\n"));
        QCOMPARE(ReadFile(path(QStringLiteral("Example/ShowFiles/rain.wav"))), Wav("rain"));
        QCOMPARE(model().row(0).at(kFile).value.toText(), QStringLiteral("rain.wav"));
        QCOMPARE(ShowFolder, path(QStringLiteral("Example/")));
        QCOMPARE(ShowFilename, path(QStringLiteral("loaded.cue"))); // the save never changes it
        QCOMPARE(form->status().lblStatus->text(),
                 QStringLiteral("Show Saved Successfully - show.cue"));
        // The dialog proposed the show loaded last, with the show file settings.
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Save);
        QCOMPARE(dialogs.calls().last().text, path(QStringLiteral("loaded.cue")));
        QCOMPARE(dialogs.calls().last().title, QStringLiteral("Open Show"));
        QVERIFY(files().form3() == nullptr);
        QVERIFY(!files().isSaving());
        QVERIFY(form->frame().cmdSave->isEnabled());
        // No temporary file is left beside the show.
        QCOMPARE(QDir(path(QStringLiteral("Example"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("show.cue")});
    }

    void roundTripOfEveryAction() {
        const QString media = path(QStringLiteral("Round/media/thunder.wav"));
        WriteFile(media, Wav("thunder"));
        setShow(EveryAction(media));
        const QString show = path(QStringLiteral("Round/show.cue"));
        save(show);
        const QStringList before = Snapshot(model());
        QCOMPARE(before.size(), 9);
        // Characters beyond Windows-1252 make the file UTF-8.
        QVERIFY(QString::fromUtf8(ReadFile(show)).contains(QStringLiteral("\u96f7\u306e\u97f3")));
        files().Command1_Click();
        QCOMPARE(model().count(), 0);
        files().LoadShow(show);
        QCOMPARE(Snapshot(model()), before);
        for (int i = 0; i < model().count(); ++i)
            for (int k = 1; k <= kSubItemCount; ++k)
                if (i > 0) QCOMPARE(model().row(i).at(k).value.kind(), StoredValue::Kind::Text);
        QCOMPARE(model().row(8).at(kAction).text, QStringLiteral("Delay (500ms)"));
        QCOMPARE(model().row(0).at(kFile).text, QStringLiteral("thunder.wav"));
        // After a load: row 1 selected, no current cue, the show's folder and name.
        QCOMPARE(cues().SelectedIndex(), 1);
        QCOMPARE(cues().ListView1Tag, QStringLiteral("-1"));
        QCOMPARE(ShowFolder, path(QStringLiteral("Round/")));
        QCOMPARE(ShowFilename, show);
        // Saved again, the same bytes come out.
        const QByteArray first = ReadFile(show);
        save(path(QStringLiteral("Round/again.cue")));
        QCOMPARE(ReadFile(path(QStringLiteral("Round/again.cue"))), first);
    }

    void roundTripWhereTheSeparatorIsAComma() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::vector<CueRow> rows = EveryAction(QStringLiteral("0"));
        rows[6].at(kRate) = {StoredValue::text(QStringLiteral("1,5")), QStringLiteral("1,5")};
        rows[0].at(kSelectionStart) = {StoredValue::number(2.75), QStringLiteral("2,75")};
        setShow(rows);
        const QString show = path(QStringLiteral("Komma/show.cue"));
        QDir().mkpath(path(QStringLiteral("Komma")));
        save(show);
        const QStringList before = Snapshot(model());
        const QString text = QString::fromUtf8(ReadFile(show));
        QVERIFY(text.contains(QStringLiteral(",1.5,")));
        QVERIFY(text.contains(QStringLiteral(",2.75,12.25,\r\n")));
        files().LoadShow(show);
        QCOMPARE(Snapshot(model()), before);
        QCOMPARE(*model().row(6).at(kRate).value.toNumber(), 1.5);
        QCOMPARE(*model().row(0).at(kSelectionStart).value.toNumber(), 2.75);
    }

    void emptyListAndLineEnds() {
        WriteFile(path(QStringLiteral("Empty/show.cue")), "1,old,0,\r\n");
        files().Command1_Click();
        save(path(QStringLiteral("Empty/show.cue")));
        QVERIFY(QFileInfo::exists(path(QStringLiteral("Empty/show.cue"))));
        QCOMPARE(QFileInfo(path(QStringLiteral("Empty/show.cue"))).size(), 0);
        QVERIFY(historyHas(QStringLiteral("Show Saved Successfully - show.cue"), false));
        files().LoadShow(path(QStringLiteral("Empty/show.cue")));
        QCOMPARE(model().count(), 0);
        QCOMPARE(cues().SelectedIndex(), 0);

        // The last line without CR LF is not loaded; a file without any CR LF loads nothing.
        WriteFile(path(QStringLiteral("Ends/a.cue")),
                  "1,One,0,0,0,0,0,1,0,0,10,1,0,0,\r\n2,Two,0,0,0,0,0,1,0,0,10,1,0,0,");
        files().LoadShow(path(QStringLiteral("Ends/a.cue")));
        QCOMPARE(model().count(), 1);
        QCOMPARE(model().row(0).at(kDescription).text, QStringLiteral("One"));
        WriteFile(path(QStringLiteral("Ends/b.cue")), QByteArray(200000, 'x'));
        files().LoadShow(path(QStringLiteral("Ends/b.cue")));
        QCOMPARE(model().count(), 0);
        // Not readable as a file: a folder and a pipe (which would wait for a writer).
        files().LoadShow(path(QStringLiteral("Ends")));
        QCOMPARE(model().count(), 0);
        QCOMPARE(ShowFolder, tmp.path() + QLatin1Char('/'));
        const QString fifo = path(QStringLiteral("Ends/pipe.cue"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        files().LoadShow(fifo);
        QCOMPARE(model().count(), 0);
        QCOMPARE(ShowFilename, fifo);
        QCOMPARE(ShowFolder, path(QStringLiteral("Ends/")));
    }

    void savingElsewhereCopiesFromTheOldShowFiles() {
        WriteFile(path(QStringLiteral("E/Shows/ShowFiles/door.wav")), Wav("door"));
        WriteFile(path(QStringLiteral("E/Shows/ShowFiles/bell.wav")), Wav("bell"));
        WriteFile(
            path(QStringLiteral("E/Shows/a.cue")),
            "1,Door,0,0,0,door.wav,0,1,0,0,10,1,0,0,\r\n2,Bell,1,0,0,bell.wav,0,1,0,0,10,1,0,0,\r\n"
            "3,Gone,1,0,0,gone.wav,0,1,0,0,10,1,0,0,\r\n");
        files().LoadShow(path(QStringLiteral("E/Shows/a.cue")));
        QDir().mkpath(path(QStringLiteral("D/New")));
        save(path(QStringLiteral("D/New/b.cue")));
        QCOMPARE(ReadFile(path(QStringLiteral("D/New/ShowFiles/door.wav"))), Wav("door"));
        QCOMPARE(ReadFile(path(QStringLiteral("D/New/ShowFiles/bell.wav"))), Wav("bell"));
        QCOMPARE(ShowFolder, path(QStringLiteral("D/New/")));
        // Media found nowhere keep their value and nothing is said about them.
        QVERIFY(ReadFile(path(QStringLiteral("D/New/b.cue"))).contains(",gone.wav,"));
        QVERIFY(!historyHas(QStringLiteral("Unable to copy"), false));
        // Saving onto itself: the copies stay, the names stay.
        save(path(QStringLiteral("D/New/b.cue")));
        QCOMPARE(QDir(path(QStringLiteral("D/New/ShowFiles"))).entryList(QDir::Files),
                 (QStringList{QStringLiteral("bell.wav"), QStringLiteral("door.wav")}));
        QCOMPARE(model().row(0).at(kFile).value.toText(), QStringLiteral("door.wav"));
    }

    void sameNameFromDifferentFolders() {
        WriteFile(path(QStringLiteral("A/rain.wav")), Wav("AAAA"));
        WriteFile(path(QStringLiteral("B/rain.wav")), Wav("BBBB"));
        WriteFile(path(QStringLiteral("Same/ShowFiles/rain (2).wav")), "older copy");
        std::vector<CueRow> rows = EveryAction(path(QStringLiteral("A/rain.wav")));
        rows[1].at(kFile).value = StoredValue::text(path(QStringLiteral("B/rain.wav")));
        setShow(rows);
        save(path(QStringLiteral("Same/show.cue")));
        QCOMPARE(ReadFile(path(QStringLiteral("Same/ShowFiles/rain.wav"))), Wav("AAAA"));
        // A file of that name with other content is never replaced: the next free name.
        QCOMPARE(ReadFile(path(QStringLiteral("Same/ShowFiles/rain (2).wav"))),
                 QByteArray("older copy"));
        QCOMPARE(ReadFile(path(QStringLiteral("Same/ShowFiles/rain (3).wav"))), Wav("BBBB"));
        QCOMPARE(model().row(0).at(kFile).value.toText(), QStringLiteral("rain.wav"));
        QCOMPARE(model().row(1).at(kFile).value.toText(), QStringLiteral("rain (3).wav"));
        QCOMPARE(model().row(7).at(kFile).value.toText(), QStringLiteral("rain.wav"));
        // Saved again into the same folder, every cue keeps its own file.
        save(path(QStringLiteral("Same/show.cue")));
        QCOMPARE(QDir(path(QStringLiteral("Same/ShowFiles"))).entryList(QDir::Files).size(), 3);
        QCOMPARE(model().row(1).at(kFile).value.toText(), QStringLiteral("rain (3).wav"));
        QCOMPARE(ReadFile(path(QStringLiteral("Same/ShowFiles/rain (3).wav"))), Wav("BBBB"));
    }

    void failedWriteKeepsTheOldFile() {
        const QString show = path(QStringLiteral("Full/show.cue"));
        WriteFile(show, "1,Old show,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        const QString media = path(QStringLiteral("Full/media/tick.wav"));
        WriteFile(media, Wav("tick", 20));
        setShow(EveryAction(media));
        {
            FileSizeLimit limit(100); // room for the media, not for the new show
            save(show);
        }
        QCOMPARE(ReadFile(show), QByteArray("1,Old show,0,0,0,0,0,1,0,0,10,1,0,0,\r\n"));
        QVERIFY(historyHas(QStringLiteral("Show Not Saved - show.cue - "), true));
        QVERIFY(!historyHas(QStringLiteral("Show Saved Successfully"), false));
        QCOMPARE(QDir(path(QStringLiteral("Full"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("show.cue")});
        QVERIFY(ShowFolder.isEmpty());
        // The media were copied, but the cues keep the paths that still lead to them.
        QCOMPARE(ReadFile(path(QStringLiteral("Full/ShowFiles/tick.wav"))), Wav("tick", 20));
        QCOMPARE(model().row(0).at(kFile).value.toText(), media);
        QCOMPARE(model().row(7).at(kFile).value.toText(), media);
    }

    void failedCopyIsReportedAndTheSaveGoesOn() {
        const QString big = path(QStringLiteral("Big/long.wav"));
        WriteFile(big, Wav("w", 32 * 1024));
        const QString small = path(QStringLiteral("Big/short.wav"));
        WriteFile(small, Wav("short", 1000));
        std::vector<CueRow> rows = EveryAction(big);
        rows[7].at(kFile).value = StoredValue::text(small);
        setShow(rows);
        const QString show = path(QStringLiteral("Copy/show.cue"));
        QDir().mkpath(path(QStringLiteral("Copy")));
        {
            FileSizeLimit limit(8 * 1024); // room for the show, not for the long media
            save(show);
        }
        QVERIFY(historyHas(QStringLiteral("Unable to copy media file ") + big, true));
        QVERIFY(historyHas(QStringLiteral("Show Saved Successfully - show.cue"), false));
        // That cue keeps its full path; the other one got its copy and bare name.
        QCOMPARE(model().row(0).at(kFile).value.toText(), big);
        QCOMPARE(model().row(7).at(kFile).value.toText(), QStringLiteral("short.wav"));
        const QByteArray text = ReadFile(show);
        QVERIFY(text.contains(("," + big + ",").toUtf8()));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("Copy/ShowFiles/long.wav"))));
        QCOMPARE(QDir(path(QStringLiteral("Copy/ShowFiles"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("short.wav")});
    }

    // A cue of the show loaded before names its media by bare name; when its copy into the
    // new folder fails, the cue and the new file name where the media really is, so that it is
    // still found once the show's folder is the new one.
    void failedCopyOfABareName() {
        WriteFile(path(QStringLiteral("Was/ShowFiles/long.wav")), Wav("w", 32 * 1024));
        WriteFile(path(QStringLiteral("Was/show.cue")),
                  "1,Long,0,0,0,long.wav,0,1,0,0,10,1,0,0,\r\n");
        files().LoadShow(path(QStringLiteral("Was/show.cue")));
        const QString show = path(QStringLiteral("Now/show.cue"));
        QDir().mkpath(path(QStringLiteral("Now")));
        {
            FileSizeLimit limit(8 * 1024); // room for the show, not for the media
            save(show);
        }
        const QString where = path(QStringLiteral("Was/ShowFiles/long.wav"));
        QVERIFY(historyHas(QStringLiteral("Unable to copy media file ") + where, true));
        QVERIFY(historyHas(QStringLiteral("Show Saved Successfully - show.cue"), false));
        QCOMPARE(ShowFolder, path(QStringLiteral("Now/")));
        QCOMPARE(model().row(0).at(kFile).value.toText(), where);
        QVERIFY(ReadFile(show).contains(("," + where + ",").toUtf8()));
        // A save that does not complete gives the cue its bare name back.
        files().LoadShow(path(QStringLiteral("Was/show.cue")));
        {
            FileSizeLimit limit(8 * 1024);
            const QString blocked = path(QStringLiteral("Now/blocked.cue"));
            QDir().mkpath(blocked); // a folder where the show file should go
            save(blocked);
        }
        QVERIFY(historyHas(QStringLiteral("Show Not Saved - blocked.cue"), true));
        QCOMPARE(model().row(0).at(kFile).value.toText(), QStringLiteral("long.wav"));
        QCOMPARE(ShowFolder, path(QStringLiteral("Was/")));
    }

    void cancelInEachPhase() {
        const QString media = path(QStringLiteral("Cancel/media/hit.wav"));
        WriteFile(media, Wav("hit"));
        const QString show = path(QStringLiteral("Cancel/show.cue"));
        WriteFile(show, "1,Kept,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        const QByteArray old = ReadFile(show);

        // Presses Cancel once the save reaches the phase asked for: 0 the pause, 1 the media
        // pass, 2 the write pass (recognised by the progress starting again).
        auto cancelIn = [&](int phase) {
            setShow(EveryAction(media));
            int last = -1;
            bool pressed = false;
            QTimer t;
            t.setInterval(0);
            connect(&t, &QTimer::timeout, [&] {
                Form3* w = files().form3();
                if (!w || pressed) return;
                const int v = w->ProgressBar1->value();
                const bool inWrite = last > v;
                if (v > last) last = v;
                if (phase == 0 || (phase == 1 && v >= 2 && !inWrite) || (phase == 2 && inWrite)) {
                    pressed = true;
                    w->Command1->click();
                }
            });
            t.start();
            files().savePause = phase == 0 ? 0.3 : 0;
            const int before = form->status().history().size();
            save(show);
            t.stop();
            QVERIFY(pressed);
            QVERIFY(SaveCanceled);
            QCOMPARE(ReadFile(show), old);
            QCOMPARE(form->status().history().size(), before); // no message
            QVERIFY(ShowFolder.isEmpty());
            // No cue lost its media's path.
            QCOMPARE(model().row(0).at(kFile).value.toText(), media);
            QCOMPARE(model().row(7).at(kFile).value.toText(), media);
            QVERIFY(!files().isSaving());
            QVERIFY(files().form3() == nullptr || files().form3()->isHidden());
        };
        cancelIn(0);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("Cancel/ShowFiles/hit.wav"))));
        cancelIn(1);
        cancelIn(2);
        QVERIFY(QFileInfo::exists(path(QStringLiteral("Cancel/ShowFiles/hit.wav"))));
    }

    // Cues added or removed while the save lets events run: the file holds the show as it
    // stands when it is written, every cue once, and every cue's media is gathered.
    void editsWhileSaving() {
        const QString media = path(QStringLiteral("Edit/media/hit.wav"));
        WriteFile(media, Wav("hit"));
        const QString show = path(QStringLiteral("Edit/show.cue"));

        // Runs `edit` once the save's progress reaches `at` in the given pass (1 media, 2 write).
        auto saveWith = [&](int pass, int at, const std::function<void()>& edit) {
            setShow(EveryAction(media));
            int last = -1;
            bool done = false;
            QTimer t;
            t.setInterval(0);
            connect(&t, &QTimer::timeout, [&] {
                Form3* w = files().form3();
                if (!w || done) return;
                const int v = w->ProgressBar1->value();
                const bool inWrite = last > v;
                if (v > last) last = v;
                if ((pass == 1 && !inWrite && v >= at) || (pass == 2 && inWrite && v >= at)) {
                    done = true;
                    edit();
                }
            });
            t.start();
            save(show);
            t.stop();
            QVERIFY(done);
            QVERIFY(historyHas(QStringLiteral("Show Saved Successfully - show.cue"), false));
            QStringList expected;
            for (int i = 0; i < model().count(); ++i)
                expected << CueLine(model().row(i));
            QCOMPARE(QString::fromUtf8(ReadFile(show)).split(QStringLiteral("\r\n")),
                     expected << QString());
        };

        // Cue 1 deleted in the middle of the write pass.
        saveWith(2, 3, [&] {
            cues().SelectRow(1);
            cues().cmdDeleteCue_Click();
        });
        QCOMPARE(model().count(), 8);
        QCOMPARE(model().row(0).at(kDescription).text, QStringLiteral("Pause"));

        // A cue added at the top in the middle of the media pass: the last cue is still
        // written, and the media of cue 8 (now 9) is gathered.
        saveWith(1, 2, [&] {
            cues().SelectRow(0);
            cues().cmdAddCue_Click();
        });
        QCOMPARE(model().count(), 10);
        QCOMPARE(model().row(9).at(kDescription).text, QStringLiteral("Hold"));
        QCOMPARE(model().row(8).at(kFile).value.toText(), QStringLiteral("hit.wav"));

        // A cue deleted in the middle of the media pass: no cue is passed over.
        saveWith(1, 3, [&] {
            cues().SelectRow(1);
            cues().cmdDeleteCue_Click();
        });
        QCOMPARE(model().count(), 8);
        QCOMPARE(model().row(6).at(kFile).value.toText(), QStringLiteral("hit.wav"));
    }

    // A save that does not complete gives back the paths it rewrote to the cues it rewrote,
    // also when cues were removed meanwhile.
    void cancelAfterADeleteGivesBackTheRightCue() {
        WriteFile(path(QStringLiteral("Old/ShowFiles/a.wav")), Wav("old a"));
        WriteFile(path(QStringLiteral("Old/show.cue")), "");
        files().LoadShow(path(QStringLiteral("Old/show.cue")));
        const QString media = path(QStringLiteral("Back/media/a.wav"));
        WriteFile(media, Wav("new a"));
        std::vector<CueRow> rows = EveryAction(QStringLiteral("0"));
        rows[0].at(kFile).value = StoredValue::text(media);
        rows[1].at(kFile).value = StoredValue::text(QStringLiteral("a.wav")); // the old show's
        setShow(std::move(rows));
        bool done = false;
        QTimer t;
        t.setInterval(0);
        connect(&t, &QTimer::timeout, [&] {
            Form3* w = files().form3();
            if (!w || done || w->ProgressBar1->value() < 1) return;
            done = true;
            cues().SelectRow(1);
            cues().cmdDeleteCue_Click();
            w->Command1->click();
        });
        t.start();
        save(path(QStringLiteral("Back/show.cue")));
        t.stop();
        QVERIFY(done);
        QVERIFY(!files().isSaving());
        QCOMPARE(model().count(), 8);
        QCOMPARE(model().row(0).at(kDescription).text, QStringLiteral("Pause"));
        QCOMPARE(model().row(0).at(kFile).value.toText(), QStringLiteral("a.wav"));
    }

    void loadOldFixtures() {
        const QString data =
            qEnvironmentVariable("SORVANE_TEST_DATA") + QStringLiteral("/showfiles/");
        form->frame().Command7->show();
        AutoShowProperties = true;
        dialogs.queueFile(data + QStringLiteral("show-basic.mdb"));
        form->frame().Command7->click();
        QVERIFY(!AutoShowProperties);
        QCOMPARE(model().count(), 8);
        QStringList numbers;
        for (int i = 0; i < 8; ++i)
            numbers << model().row(i).text;
        QCOMPARE(numbers.join(QLatin1Char(',')), QStringLiteral("1,2,3,4,5,6,7,8"));
        QCOMPARE(model().row(1).at(kAction).text, QStringLiteral("Delay (500ms)"));
        QCOMPARE(model().row(4).at(kDescription).text, QString());
        QCOMPARE(model().row(4).at(kFile).text, QString());
        QCOMPARE(model().row(0).at(kFile).text, QStringLiteral("C:\\Shows\\Media\\preshow.mp3"));
        QCOMPARE(cues().SelectedIndex(), 1);
        QCOMPARE(cues().ListView1Tag, QStringLiteral("-1"));
        QCOMPARE(ShowFilename, data + QStringLiteral("show-basic.mdb"));
        QCOMPARE(ShowFolder, data);

        const QStringList shown = Snapshot(model());
        auto refused = [&](const QString& file) {
            dialogs.clearCalls();
            dialogs.queueFile(file);
            files().Command7_Click();
            QCOMPARE(dialogs.calls().size(), 2);
            const auto& msg = dialogs.calls().last();
            QCOMPARE(msg.kind, ScriptedDialogs::Call::Message);
            QCOMPARE(msg.text, QStringLiteral("Unable to open file.  Unrecognized Data Format."));
            QCOMPARE(msg.title, QStringLiteral("Error!"));
            QCOMPARE(msg.icon, MsgIcon::Critical);
            QCOMPARE(msg.buttons, MsgButtons::OK);
            QCOMPARE(Snapshot(model()), shown);
            QCOMPARE(ShowFilename, data + QStringLiteral("show-basic.mdb"));
        };
        refused(data + QStringLiteral("no-cuelist.mdb"));
        WriteFile(path(QStringLiteral("Old/text.cue")),
                  "1,Text show,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        refused(path(QStringLiteral("Old/text.cue")));
        refused(path(QStringLiteral("Old/missing.cue")));

        dialogs.clearCalls();
        dialogs.queueFile(data + QStringLiteral("show-empty.mdb"));
        files().Command7_Click();
        QCOMPARE(dialogs.calls().size(), 1); // no message
        QCOMPARE(model().count(), 0);
        QCOMPARE(ShowFilename, data + QStringLiteral("show-empty.mdb"));
    }

    void loadCommandAndTheDialogsFileName() {
        WriteFile(path(QStringLiteral("Cmd/one.cue")),
                  "1,One,0,0,0,0,0,1,0,0,10,1,0,0,\r\n2,Two,1,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QPushButton* load = form->frame().cmdLoadShow;

        // Cancel while the dialog never held a name: nothing happens, GO gets the focus.
        load->setFocus();
        load->click();
        QCOMPARE(dialogs.calls().size(), 1);
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Open);
        QCOMPARE(dialogs.calls().last().title, QStringLiteral("Open Show"));
        QCOMPARE(model().count(), 0);
        QCOMPARE(form->focusWidget(), form->frame().cmdGo);

        AutoShowProperties = true;
        dialogs.queueFile(path(QStringLiteral("Cmd/one.cue")));
        load->setFocus();
        load->click();
        QCOMPARE(model().count(), 2);
        QVERIFY(!AutoShowProperties);
        QCOMPARE(cues().SelectedIndex(), 1);
        QCOMPARE(form->focusWidget(), form->frame().cmdGo);
        QCOMPARE(files().CMDialog1FileName, path(QStringLiteral("Cmd/one.cue")));

        // Cancel after a load: the show stays, the dialog started from the last name, and
        // the focus stays on the button.
        load->setFocus();
        load->click();
        QCOMPARE(dialogs.calls().last().text, path(QStringLiteral("Cmd/one.cue")));
        QCOMPARE(model().count(), 2);
        QCOMPARE(form->focusWidget(), load);

        // Save proposes the show loaded last, also after a save under another name.
        save(path(QStringLiteral("Cmd/two.cue")));
        QCOMPARE(files().CMDialog1FileName, path(QStringLiteral("Cmd/two.cue")));
        dialogs.queueFile(QString()); // Cancel
        form->frame().cmdSave->click();
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Save);
        QCOMPARE(dialogs.calls().last().text, path(QStringLiteral("Cmd/one.cue")));
        QCOMPARE(form->focusWidget(), form->frame().cmdGo);
        QCOMPARE(ShowFolder, path(QStringLiteral("Cmd/")));
    }

    void createNew() {
        WriteFile(path(QStringLiteral("New/one.cue")), "1,One,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        files().LoadShow(path(QStringLiteral("New/one.cue")));
        form->status().ShowStatus(QStringLiteral("something else"), 2);
        form->frame().Command1->click();
        QCOMPARE(model().count(), 0);
        QCOMPARE(history().size(), 1);
        QCOMPARE(history().first().text, QStringLiteral("Sorvane 1.0 Ready.     rev.2"));
        QCOMPARE(history().first().colour, QColor(255, 255, 255));
        QVERIFY(!form->frame().cmdProperties->isEnabled());
        QVERIFY(cues().pctProperties()->isHidden());
        // The show's folder and name stay for the next save.
        QCOMPARE(ShowFilename, path(QStringLiteral("New/one.cue")));
        QCOMPARE(ShowFolder, path(QStringLiteral("New/")));
    }

    void commandsWaitWhileASaveRuns() {
        setShow(EveryAction(QStringLiteral("0")));
        bool tried = false;
        QTimer t;
        t.setInterval(0);
        connect(&t, &QTimer::timeout, [&] {
            Form3* w = files().form3();
            if (!files().isSaving() || tried || !w || w->ProgressBar1->value() < 1) return;
            tried = true;
            // The saving window in its media pass.
            QVERIFY(!w->isHidden());
            QCOMPARE(w->Label1->text(), QStringLiteral("Saving Show..."));
            QCOMPARE(w->Command1->text(), QStringLiteral("Cancel"));
            QCOMPARE(w->ProgressBar1->maximum(), 9);
            QVERIFY(!form->frame().Command1->isEnabled());
            const int calls = dialogs.calls().size();
            files().Command1_Click(); // Create New in the middle of the save
            files().Command7_Click(); // Load Old
            QCOMPARE(dialogs.calls().size(), calls);
        });
        t.start();
        files().savePause = 0.05;
        save(path(QStringLiteral("Busy/show.cue")));
        t.stop();
        QVERIFY(tried);
        QCOMPARE(model().count(), 9);
        QCOMPARE(QString::fromUtf8(ReadFile(path(QStringLiteral("Busy/show.cue"))))
                     .count(QStringLiteral("\r\n")),
                 9);
        QVERIFY(form->frame().Command1->isEnabled());
    }
};

QTEST_MAIN(ShowCommandsTest)
#include "test_show_commands.moc"
