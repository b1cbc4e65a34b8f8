// The show file commands through the real main window, with hostile and ordinary files: a
// show loads back as it was saved and still finds its media in any locale; a save takes no
// file from the current folder and replaces no other show's media; failures, Cancel and
// edits while a save runs lose nothing; nothing waits on a pipe; the database loader.

#include "../support/TextRow.h"
#include "TestFiles.h"
#include "app/Form1.h"
#include "core/Module1.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/PropertiesPanel.h"
#include "platform/Dialogs.h"
#include "showfiles/FileAssoc.h"
#include "showfiles/Form3.h"
#include "showfiles/ShowFileFormat.h"
#include "showfiles/ShowFiles.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sorvane;
using namespace sorvane::testing;
using namespace Qt::StringLiterals;

namespace {

CueRow PlayCue(const QString& description, const QString& file) {
    return TextRow(
        {"1", description, "0", "0", "0", file, "0", "1", "0", "0", "10", "1", "0", "0"});
}

// Every action, with the panel's kinds of values; cues 1 and 8 name `media`.
std::vector<CueRow> EveryAction(const QString& media) {
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
        rows.push_back(TextRow(QString::fromUtf8(line).replace("%1", media).split(',')));
    return rows;
}

// Each row as its text, then every sub-item's stored value as text and display text.
QStringList Snapshot(const CueListModel& m) {
    QStringList out;
    for (int i = 0; i < m.count(); ++i) {
        QStringList fields{m.row(i).text};
        for (int k = 1; k <= m.row(i).subCount; ++k)
            fields << m.row(i).at(k).value.toText() + '|' + m.row(i).at(k).text;
        out << fields.join(';');
    }
    return out;
}

// Without the capabilities that let a superuser read any file, so that a file without read
// permission cannot be read by this process either.
struct NoReadOverride {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2]{};
    bool changed = false;
    NoReadOverride() {
        if (geteuid() != 0 || syscall(SYS_capget, &header, saved) != 0) return;
        __user_cap_data_struct less[2] = {saved[0], saved[1]};
        less[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        changed = syscall(SYS_capset, &header, less) == 0;
    }
    ~NoReadOverride() {
        if (changed) syscall(SYS_capset, &header, saved);
    }
};

// Runs in the current folder `dir` while it lives.
struct InFolder {
    QString old = QDir::currentPath();
    explicit InFolder(const QString& dir) { QDir::setCurrent(dir); }
    ~InFolder() { QDir::setCurrent(old); }
};

mode_t Mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 07777;
}

} // namespace

class ShowFilesTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    // A fresh window, started with `commandLine`.
    void start(const QString& commandLine = QString()) {
        form.reset();
        ShowFolder.clear();
        ShowFilename.clear();
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
    // The content of the media a loaded cue names, found as playback finds it.
    QByteArray mediaOf(int row) {
        const QString f = fileOf(row);
        return ReadFile(f.startsWith('/') ? f : ShowFolder + "ShowFiles/" + f);
    }

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
        t.start(0);
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

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        std::signal(SIGXFSZ, SIG_IGN); // a write past the size limit fails instead
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("xdg/data")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("xdg/config")));
    }
    void init() { start(); }
    void cleanup() {
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    void startRegistersTheShowType() {
        QVERIFY(exists("xdg/config/sorvane/registry.json"));
        QCOMPARE(RegGetString(ClassesRootText(), "sorvane\\shell\\open\\command", {}, {}),
                 '"' + ApplicationFolder() + "/sorvane\" %1");
    }

    void roundTripOfEveryAction_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("decimal point") << "C";
        QTest::newRow("decimal comma") << "de_DE";
    }
    void roundTripOfEveryAction() {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        const QString dir = locale + '/';
        write("Media/thunder.wav", Wav("thunder"));
        std::vector<CueRow> rows = EveryAction(path("Media/thunder.wav"));
        // A rate typed in this locale, markers the panel stored as numbers, and a description
        // that reads as a number but is none.
        const QString rate = QLocale().toString(1.5);
        rows[6].at(kRate) = {StoredValue::text(rate), rate};
        rows[0].at(kSelectionStart) = {StoredValue::number(2.75), QLocale().toString(2.75)};
        rows[0].at(kSelectionEnd) = {StoredValue::number(12.25), QLocale().toString(12.25)};
        rows[1].at(kDescription) = {StoredValue::text("1.5"), "1.5"};
        setShow(rows);
        ShowFilename = path("loaded.cue");
        save(dir + "show.cue");
        // The dialog proposed the show loaded last; the media is gathered beside the show and
        // named by its bare name; no temporary file is left.
        QCOMPARE(dialogs.calls().last().text, path("loaded.cue"));
        QCOMPARE(ShowFilename, path("loaded.cue"));
        QCOMPARE(ShowFolder, path(dir));
        QCOMPARE(read(dir + "ShowFiles/thunder.wav"), Wav("thunder"));
        QCOMPARE(fileOf(0), "thunder.wav");
        QCOMPARE(fileOf(7), "thunder.wav");
        QCOMPARE(filesIn(dir), QStringList{"show.cue"});
        QCOMPARE(form->status().lblStatus->text(), "Show Saved Successfully - show.cue");
        QCOMPARE(files().form3(), nullptr);
        // Characters beyond Windows-1252 make the file UTF-8; numbers keep a point.
        const QString text = QString::fromUtf8(read(dir + "show.cue"));
        QVERIFY(text.contains(u"4,\u96f7\u306e\u97f3,2,3,120,"_s));
        QVERIFY(text.contains("7,Slow,1,6,0,0,0,1.5,0,"));
        QVERIFY(text.contains(",-800,1,0,4,5,0,2.75,12.25,\r\n"));
        const QStringList before = Snapshot(model());
        files().Command1_Click();
        load(dir + "show.cue");
        QCOMPARE(Snapshot(model()), before);
        for (int k = 1; k <= kSubItemCount; ++k)
            QCOMPARE(model().row(1).at(k).value.kind(), StoredValue::Kind::Text);
        QCOMPARE(model().row(8).at(kAction).text, "Delay (500ms)");
        // After a load: row 1 selected, no current cue, the show's folder and name.
        QCOMPARE(cues().SelectedIndex(), 1);
        QCOMPARE(cues().ListView1Tag, "-1");
        QCOMPARE(ShowFolder, path(dir));
        QCOMPARE(ShowFilename, path(dir + "show.cue"));
        // Saved again, the same bytes come out.
        save(dir + "again.cue");
        QCOMPARE(read(dir + "again.cue"), read(dir + "show.cue"));
    }

    void windows1252NamesComeBackAndFindTheirMedia() {
        const QString wind = u"\u00c4\u2013Wind.mp3"_s;
        QString every; // every character of the code page that a value can hold
        for (int b = 0x20; b < 256; ++b)
            if (b != ',') every += FromWindows1252(QByteArray(1, static_cast<char>(b)));
        write("Src/" + wind, Wav("wind"));
        setShow({PlayCue(u"CAF\u00c9\u2026"_s, path("Src/" + wind)),
                 PlayCue(u"\u00c2\u00a9 2024"_s, "0"), PlayCue(every, "0")});
        save("W/show.cue");
        files().Command1_Click();
        load("W/show.cue");
        QCOMPARE(model().count(), 3);
        QCOMPARE(description(0), u"CAF\u00c9\u2026"_s);
        QCOMPARE(description(1), u"\u00c2\u00a9 2024"_s);
        QCOMPARE(description(2), every);
        QCOMPARE(fileOf(0), wind);
        QCOMPARE(mediaOf(0), Wav("wind"));
        save("W/again.cue");
        QCOMPARE(read("W/again.cue"), read("W/show.cue"));
    }

    // A bare name means the file in the ShowFiles folder of the show loaded or saved before,
    // never one of the current folder; media found nowhere keep their name, unreported.
    void aSaveTakesNothingFromTheCurrentFolder() {
        const QByteArray intro = Wav("intro", 80000);
        const QByteArray show = "1,Intro,0,0,0,intro.mp3,0,1,0,0,10,1,0,0,\r\n"
                                "2,Gone,1,0,0,gone.wav,0,1,0,0,10,1,0,0,\r\n";
        write("Show/ShowFiles/intro.mp3", intro);
        write("Show/show.cue", show);
        write("Home/intro.mp3", Wav("decoy", 8));
        write("Home/gone.wav", Wav("gone"));
        {
            InFolder home(path("Home"));
            files().LoadShow("../Show/show.cue");
            QCOMPARE(ShowFolder, path("Show/"));
            save("Show/show.cue");
            save("Elsewhere/show.cue");
        }
        QCOMPARE(read("Show/show.cue"), show);
        QCOMPARE(read("Elsewhere/show.cue"), show);
        for (const QString dir : {"Show/ShowFiles", "Elsewhere/ShowFiles"}) {
            QCOMPARE(filesIn(dir), QStringList{"intro.mp3"});
            QCOMPARE(read(dir + "/intro.mp3"), intro);
        }
        QCOMPARE(entries("Unable to copy"), 0);
    }

    // A file of that name with other content in ShowFiles is never replaced: the copy takes
    // the next free name; the same content is used as it is.
    void twoShowsInOneFolderKeepTheirOwnMedia_data() {
        QTest::addColumn<QStringList>("first");  // sources of a show saved before, if any
        QTest::addColumn<QStringList>("second"); // sources of the show saved next
        QTest::addColumn<QStringList>("names");  // the names its cues get
        QTest::newRow("sameNameFromDifferentFolders")
            << QStringList() << QStringList{"A", "B", "A"}
            << QStringList{"rain.wav", "rain (3).wav", "rain.wav"};
        QTest::newRow("twoShowsInOneFolderKeepTheirOwnMedia")
            << QStringList{"A"} << QStringList{"B", "C"} << QStringList{"rain (3).wav", "rain.wav"};
    }
    void twoShowsInOneFolderKeepTheirOwnMedia() {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(QStringList, names);
        const QString dir = QString::fromLatin1(QTest::currentDataTag()) + '/';
        write("A/rain.wav", Wav("rain of A"));
        write("B/rain.wav", Wav("rain of B"));
        write("C/rain.wav", Wav("rain of A"));
        write(dir + "ShowFiles/rain (2).wav", "older copy");
        auto saveShow = [&](const QStringList& sources, const QString& name) {
            std::vector<CueRow> rows;
            for (const QString& s : sources)
                rows.push_back(PlayCue(s, path(s + "/rain.wav")));
            setShow(rows);
            save(dir + name);
        };
        if (!first.isEmpty()) saveShow(first, "a.cue");
        saveShow(second, "b.cue");
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(fileOf(i), names[i]);
        // Saved again in place: nothing new.
        const QStringList media = filesIn(dir + "ShowFiles");
        save(dir + "b.cue");
        QCOMPARE(filesIn(dir + "ShowFiles"), media);
        QCOMPARE(read(dir + "ShowFiles/rain (2).wav"), "older copy");
        // Loaded again, each show plays its own media.
        for (const auto& [show, sources] : {std::pair{"a.cue", first}, {"b.cue", second}}) {
            if (sources.isEmpty()) continue;
            load(dir + show);
            for (int i = 0; i < sources.size(); ++i)
                QCOMPARE(mediaOf(i), read(sources[i] + "/rain.wav"));
        }
    }

    void onlyMediaAreGathered() {
        write("Src/notes.txt", "Act 1: rain, then thunder\n");
        write("Src/key.wav", QByteArray(600, '\x01') + "KEY");
        write("Src/locked.wav", Wav("locked"));
        write("Src/run.wav", Wav("run"));
        QCOMPARE(::chmod(QFile::encodeName(path("Src/locked.wav")), 0), 0);
        QCOMPARE(::chmod(QFile::encodeName(path("Src/run.wav")), 0750), 0);
        // Each refused file is said with its cause, and its cue keeps its path.
        const std::pair<QString, QString> refused[] = {
            {path("Src/notes.txt"), " - not a sound or video file"},
            {"/etc/passwd", " - not a sound or video file"},
            {path("Src/key.wav"), " - not a sound or video file"},
            {path("Src/locked.wav"), " - Permission denied"}};
        std::vector<CueRow> rows{PlayCue("Run", path("Src/run.wav"))};
        for (const auto& [file, cause] : refused)
            rows.push_back(PlayCue("x", file));
        setShow(rows);
        {
            NoReadOverride noOverride;
            save("Only/show.cue");
        }
        QCOMPARE(::chmod(QFile::encodeName(path("Src/locked.wav")), 0600), 0);
        for (int i = 0; i < 4; ++i) {
            const auto& [file, cause] = refused[i];
            QCOMPARE(entries("Unable to copy media file " + file + cause, kRed), 1);
            QCOMPARE(fileOf(i + 1), file);
        }
        QCOMPARE(filesIn("Only/ShowFiles"), QStringList{"run.wav"});
        QCOMPARE(fileOf(0), "run.wav");
        QCOMPARE(entries("Show Saved Successfully - show.cue", kBrightGreen), 1);
        // A copy gets the permissions of a new file, not its source's.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        QCOMPARE(Mode(path("Only/ShowFiles/run.wav")), 0666 & ~mask);
    }

    // A media file whose copy fails is said with its cause and the save goes on; its cue
    // keeps a path that still finds it: the bare name of the show loaded before becomes the
    // full path. A save that does not complete leaves the old show whole and nothing half
    // written, and gives the cues their paths back.
    void failuresSayTheirCause() {
        const QString was = path("Was/ShowFiles/long.wav"), tick = path("Src/tick.wav");
        const QByteArray old = "1,Old show,0,0,0,0,0,1,0,0,10,1,0,0,\r\n";
        write("Was/ShowFiles/long.wav", Wav("w", 32 * 1024));
        write("Src/tick.wav", Wav("tick", 20));
        write("Was/show.cue", "1,Long,0,0,0,long.wav,0,1,0,0,10,1,0,0,\r\n2,Tick,0,0,0," +
                                  QFile::encodeName(tick) + ",0,1,0,0,10,1,0,0,\r\n");
        write("Full/show.cue", old);
        load("Was/show.cue");
        {
            FileSizeLimit limit(8 * 1024); // room for the show and the short media only
            save("Now/show.cue");
        }
        QCOMPARE(entries("Unable to copy media file " + was + " - The disk is full", kRed), 1);
        QCOMPARE(entries("Show Saved Successfully - show.cue", kBrightGreen), 1);
        QCOMPARE(fileOf(0), was);
        QCOMPARE(fileOf(1), "tick.wav");
        QVERIFY(read("Now/show.cue").startsWith("1,Long,0,0,0," + QFile::encodeName(was) + ','));
        QCOMPARE(filesIn("Now/ShowFiles"), QStringList{"tick.wav"});
        // No room for the show file either.
        load("Was/show.cue");
        {
            FileSizeLimit limit(100);
            save("Full/show.cue");
        }
        QCOMPARE(entries("Show Not Saved - show.cue - The disk is full", kRed), 1);
        QCOMPARE(entries("Show Saved Successfully"), 1);
        QCOMPARE(read("Full/show.cue"), old);
        QCOMPARE(filesIn("Full"), QStringList{"show.cue"});
        QCOMPARE(read("Full/ShowFiles/tick.wav"), Wav("tick", 20));
        QCOMPARE(fileOf(0), "long.wav");
        QCOMPARE(fileOf(1), tick);
        QCOMPARE(ShowFolder, path("Was/"));
        // A media folder that cannot be made is said once, with its reason; no copy is tried.
        write("Blocked/ShowFiles", "a file in the way");
        save("Blocked/show.cue");
        QCOMPARE(
            entries("Unable to create folder " + path("Blocked/ShowFiles - Not a directory"), kRed),
            1);
        QCOMPARE(entries("Unable to copy media file", kRed), 2);
        QCOMPARE(entries("Show Saved Successfully - show.cue", kBrightGreen), 2);
        QCOMPARE(fileOf(0), was);
    }

    void cancelInEachPhase_data() {
        QTest::addColumn<int>("phase");
        QTest::newRow("pause") << 0;
        QTest::newRow("media pass") << 1;
        QTest::newRow("write pass") << 2;
        QTest::newRow("cancelStopsACopyInProgress") << 3;
    }
    // Cancel at any time: the old show stays, nothing is said, no cue loses its media's path,
    // and a copy in progress stops and leaves no partial file.
    void cancelInEachPhase() {
        QFETCH(int, phase);
        // A WAV of silence whose data is a hole in the file: it takes no room until copied.
        const qint64 size = phase == 3 ? 600LL << 20 : 64 << 10;
        const QString media = path("Cancel/media/hit.wav");
        write("Cancel/media/hit.wav", WavHeader(kWavPcm, 1, 44100, 16, quint32(size - 44)));
        QCOMPARE(::truncate(QFile::encodeName(media).constData(), size), 0);
        const QByteArray old = "1,Kept,0,0,0,0,0,1,0,0,10,1,0,0,\r\n";
        write("Cancel/show.cue", old);
        QDir(path("Cancel/ShowFiles")).removeRecursively();
        setShow(EveryAction(media));
        files().savePause = phase == 0 ? 0.3 : 0;
        const int before = form->status().history().size();
        QVERIFY(saveAnd(
            "Cancel/show.cue",
            [&](int v, bool writing) {
                return phase == 0 || (phase == 1 && v >= 2 && !writing) ||
                       (phase == 2 && writing) ||
                       (phase == 3 && exists("Cancel/ShowFiles/.hit.wav.sorvane-copy"));
            },
            [](Form3& w) { w.Command1->click(); }));
        QVERIFY(SaveCanceled);
        QVERIFY(!files().isSaving());
        QCOMPARE(read("Cancel/show.cue"), old);
        QCOMPARE(form->status().history().size(), before);
        QVERIFY(ShowFolder.isEmpty());
        QCOMPARE(fileOf(0), media);
        QCOMPARE(fileOf(7), media);
        QCOMPARE(filesIn("Cancel/ShowFiles"),
                 phase == 1 || phase == 2 ? QStringList{"hit.wav"} : QStringList());
    }

    // Cues added or removed while the save lets events run: the file holds the show as it
    // stands when it is written, every cue once, and every cue's media is gathered.
    void editsWhileSaving() {
        write("Edit/media/hit.wav", Wav("hit"));
        // Selects `row` and runs `edit` once the save's progress reaches `at` in the media
        // pass (1) or the write pass (2).
        auto saveWith = [&](int pass, int at, int row, void (CueListEditor::*edit)()) {
            setShow(EveryAction(path("Edit/media/hit.wav")));
            QVERIFY(saveAnd(
                "Edit/show.cue",
                [&](int v, bool writing) { return v >= at && writing == (pass == 2); },
                [&](Form3&) {
                    cues().SelectRow(row);
                    (cues().*edit)();
                }));
            QString expected;
            for (int i = 0; i < model().count(); ++i)
                expected += CueLine(model().row(i)) + "\r\n";
            QCOMPARE(QString::fromUtf8(read("Edit/show.cue")), expected);
        };
        // Cue 1 deleted in the middle of the write pass.
        saveWith(2, 3, 1, &CueListEditor::cmdDeleteCue_Click);
        QCOMPARE(model().count(), 8);
        QCOMPARE(description(0), "Pause");
        // A cue added at the top in the middle of the media pass: the last cue is still
        // written, and the media of cue 8 (now 9) is gathered.
        saveWith(1, 2, 0, &CueListEditor::cmdAddCue_Click);
        QCOMPARE(model().count(), 10);
        QCOMPARE(description(9), "Hold");
        QCOMPARE(fileOf(8), "hit.wav");
        // A cue deleted in the middle of the media pass: no cue is passed over.
        saveWith(1, 3, 1, &CueListEditor::cmdDeleteCue_Click);
        QCOMPARE(model().count(), 8);
        QCOMPARE(fileOf(6), "hit.wav");
    }

    // A save that does not complete gives back the paths it rewrote to the cues it rewrote,
    // also when cues were removed meanwhile.
    void cancelAfterADeleteGivesBackTheRightCue() {
        write("Old/ShowFiles/a.wav", Wav("old a"));
        write("Old/show.cue", "");
        load("Old/show.cue");
        write("Back/media/a.wav", Wav("new a"));
        std::vector<CueRow> rows = EveryAction("0");
        rows[0].at(kFile).value = StoredValue::text(path("Back/media/a.wav"));
        rows[1].at(kFile).value = StoredValue::text("a.wav"); // the old show's
        setShow(std::move(rows));
        QVERIFY(saveAnd(
            "Back/show.cue", [](int v, bool) { return v >= 1; },
            [&](Form3& w) {
                cues().SelectRow(1);
                cues().cmdDeleteCue_Click();
                w.Command1->click();
            }));
        QCOMPARE(description(0), "Pause");
        QCOMPARE(fileOf(0), "a.wav");
    }

    void loadOldFixtures() {
        const QString data = qEnvironmentVariable("SORVANE_TEST_DATA") + "/showfiles/";
        AutoShowProperties = true;
        dialogs.queueFile(data + "show-basic.mdb");
        form->frame().Command7->click();
        QVERIFY(!AutoShowProperties);
        QCOMPARE(model().count(), 8);
        QCOMPARE(model().row(1).at(kAction).text, "Delay (500ms)");
        QCOMPARE(fileOf(0), "C:\\Shows\\Media\\preshow.mp3");
        QCOMPARE(cues().SelectedIndex(), 1);
        QCOMPARE(cues().ListView1Tag, "-1");
        QCOMPARE(ShowFolder, data);
        // What is no such database is refused with a message, and the show stays.
        const QStringList shown = Snapshot(model());
        write("Old/text.cue", "1,Text show,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        for (const QString& file :
             {data + "no-cuelist.mdb", path("Old/text.cue"), path("Old/missing.cue")}) {
            dialogs.queueFile(file);
            files().Command7_Click();
            const auto& msg = dialogs.calls().last();
            QCOMPARE(msg.kind, ScriptedDialogs::Call::Message);
            QCOMPARE(msg.text, "Unable to open file.  Unrecognized Data Format.");
            QCOMPARE(msg.icon, MsgIcon::Critical);
            QCOMPARE(Snapshot(model()), shown);
            QCOMPARE(ShowFilename, data + "show-basic.mdb");
        }
        // An empty cue table is an empty show, without a message.
        dialogs.clearCalls();
        dialogs.queueFile(data + "show-empty.mdb");
        files().Command7_Click();
        QCOMPARE(dialogs.calls().size(), 1);
        QCOMPARE(model().count(), 0);
    }

    void loadCommandAndTheDialogsFileName() {
        write("Cmd/one.cue",
              "1,One,0,0,0,0,0,1,0,0,10,1,0,0,\r\n2,Two,1,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QPushButton* load = form->frame().cmdLoadShow;
        // Cancel while the dialog never held a name: nothing happens, GO gets the focus.
        load->setFocus();
        load->click();
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Open);
        QCOMPARE(form->focusWidget(), form->frame().cmdGo);
        AutoShowProperties = true;
        dialogs.queueFile(path("Cmd/one.cue"));
        load->setFocus();
        load->click();
        QCOMPARE(model().count(), 2);
        QVERIFY(!AutoShowProperties);
        QCOMPARE(form->focusWidget(), form->frame().cmdGo);
        // Cancel after a load: the show stays, the dialog started from the last name, and
        // the focus stays on the button.
        load->setFocus();
        load->click();
        QCOMPARE(dialogs.calls().last().text, path("Cmd/one.cue"));
        QCOMPARE(model().count(), 2);
        QCOMPARE(form->focusWidget(), load);
        // Save proposes the show loaded last, also after a save under another name.
        save("Cmd/two.cue");
        dialogs.queueFile(QString()); // Cancel
        form->frame().cmdSave->click();
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Save);
        QCOMPARE(dialogs.calls().last().text, path("Cmd/one.cue"));
        QCOMPARE(form->focusWidget(), form->frame().cmdGo);
        // Create New empties the show and the status history; folder and name stay.
        form->frame().Command1->click();
        QCOMPARE(model().count(), 0);
        QCOMPARE(form->status().history().size(), 1);
        QVERIFY(cues().pctProperties()->isHidden());
        QCOMPARE(ShowFilename, path("Cmd/one.cue"));
        QCOMPARE(ShowFolder, path("Cmd/"));
    }

    void commandsWaitWhileASaveRuns() {
        setShow(EveryAction("0"));
        files().savePause = 0.05;
        QVERIFY(saveAnd(
            "Busy/show.cue", [&](int v, bool) { return files().isSaving() && v >= 1; },
            [&](Form3& w) {
                QCOMPARE(w.ProgressBar1->maximum(), 9);
                QVERIFY(!form->frame().Command1->isEnabled());
                const int calls = dialogs.calls().size();
                files().Command1_Click(); // Create New in the middle of the save
                files().Command7_Click(); // Load Old
                QCOMPARE(dialogs.calls().size(), calls);
            }));
        QCOMPARE(model().count(), 9);
        QCOMPARE(QString::fromUtf8(read("Busy/show.cue")).count("\r\n"), 9);
        QVERIFY(form->frame().Command1->isEnabled());
    }

    void pipesAndDevicesNeverBlock() {
        const QString fifo = path("Pipe/show.cue");
        QDir().mkpath(path("Pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        // Named on the command line, the window comes up with an empty show.
        start('"' + fifo + '"');
        QVERIFY(form->isVisible());
        QCOMPARE(model().count(), 0);
        // Chosen with Load Old, it is refused without being opened.
        dialogs.queueFile(fifo);
        files().Command7_Click();
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Message);
        // Loaded as a show, it is an empty one.
        load("Pipe/show.cue");
        QCOMPARE(model().count(), 0);
        QCOMPARE(ShowFilename, fifo);
        // A media file that is a pipe is not gathered.
        setShow({PlayCue("Pipe", fifo)});
        save("Pipe/saved.cue");
        QCOMPARE(fileOf(0), fifo);
        QVERIFY(filesIn("Pipe/ShowFiles").isEmpty());
    }

    void aPathThatIsNotUtf8Loads() {
        const QByteArray name = QFile::encodeName(tmp.path()) + "/show-\xff\xfe caf\xe9.cue";
        // UTF-8 names are their ordinary text; stray, overlong, surrogate and cut sequences
        // are bytes of their own.
        for (const QByteArray& b :
             {name, QByteArray("\xc3\x28\xe2\x82\xf0\x9f\x98\x80\xed\xa0\x80"), QByteArray("\xff")})
            QCOMPARE(EncodeFileName(DecodeFileName(b)), b);
        QCOMPARE(DecodeFileName("caf\xc3\xa9 \xf0\x9f\x8e\xb5.wav"), u"caf\u00e9 \U0001F3B5.wav"_s);
        QCOMPARE(DecodeFileName("a\xc0\x80\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82").size(), 12);
        const QByteArray line = "1,Odd name,0,0,0,0,0,1,0,0,10,1,0,0,\r\n";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, line.constData(), line.size()), ssize_t(line.size()));
        ::close(fd);
        start(DecodeFileName(name));
        QCOMPARE(model().count(), 1);
        QCOMPARE(description(0), "Odd name");
        QCOMPARE(ShowFilename, DecodeFileName(name));
        QCOMPARE(::unlink(name.constData()), 0); // a name the temporary folder cannot remove
    }

    // A description far longer than a text box shows: the panel shows its start, read only,
    // and the cue keeps it whole through the panel's writes, a save and a load.
    void aHugeDescriptionStaysWhole() {
        QString huge;
        for (int i = 0; i < 300000; ++i)
            huge += QChar(i % 97 == 0 ? ' ' : 'a' + i % 26);
        setShow({PlayCue(huge + "THE END", "0"), PlayCue("Short", "0")});
        save("Huge/show.cue");
        load("Huge/show.cue");
        QLineEdit* box = cues().panel().txtDescription();
        QVERIFY(box->isReadOnly());
        QVERIFY(huge.startsWith(box->text()));
        QVERIFY(box->text().size() < huge.size());
        // The panel writes its other fields into the cue; the description stays whole.
        cues().panel().txtPlayCount()->setText("3");
        QCOMPARE(model().row(0).at(kPlayCount).value.toText(), "3");
        QCOMPARE(model().row(0).at(kDescription).value.toText(), huge + "THE END");
        QCOMPARE(description(0), huge + "THE END");
        // A short description makes the box an ordinary, editable one again.
        cues().SelectRow(2);
        cues().ListView1_Click();
        QVERIFY(!box->isReadOnly());
        box->setText("Shorter");
        QCOMPARE(model().row(1).at(kDescription).value.toText(), "Shorter");
    }

    // Saving over a show file replaces it whole, keeping its permissions and any link to it.
    void aSaveOverAShowKeepsItsLinkAndPermissions() {
        write("Real/show.cue", "1,Old,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        QCOMPARE(::chmod(QFile::encodeName(path("Real/show.cue")).constData(), 0640), 0);
        QDir().mkpath(path("Linked"));
        QVERIFY(QFile::link(path("Real/show.cue"), path("Linked/show.cue")));
        setShow({PlayCue("New", "0")});
        save("Linked/show.cue");
        QVERIFY(QFileInfo(path("Linked/show.cue")).isSymLink());
        QCOMPARE(read("Real/show.cue"), "1,New,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        QCOMPARE(Mode(path("Real/show.cue")), 0640u);
        QCOMPARE(filesIn("Real"), QStringList{"show.cue"});
    }

    void anyLineEndLoads() {
        // LF, CR and CR LF mixed; the last piece without a line end stays unloaded; the file
        // is written back with CR LF.
        write("Ends/show.cue", "1,One,0,0,0,0,0,1,0,0,10,1,0,0,\n2,Two,1,0,0,0,0,1,0,0,10,1,0,0,\r"
                               "3,Three,1,0,0,0,0,1,0,0,10,1,0,0,\r\n4,unended");
        load("Ends/show.cue");
        QCOMPARE(model().count(), 3);
        save("Ends/saved.cue");
        QCOMPARE(read("Ends/saved.cue"), "1,One,0,0,0,0,0,1,0,0,10,1,0,0,\r\n"
                                         "2,Two,1,0,0,0,0,1,0,0,10,1,0,0,\r\n"
                                         "3,Three,1,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        QCOMPARE(entries("No Cues Found"), 0);
        // A file that holds something but no cue says so, and so does a missing one.
        write("Ends/none.cue", "just one line without an end");
        load("Ends/none.cue");
        QCOMPARE(model().count(), 0);
        QCOMPARE(entries("No Cues Found - none.cue", kYellow), 1);
        load("Ends/missing.cue");
        QCOMPARE(entries("Show Not Loaded - missing.cue - No such file", kYellow), 1);
        load("Ends");
        QCOMPARE(entries("Show Not Loaded - Ends - Is a directory", kYellow), 1);
        // An empty show saves as an empty file over the old one, and loads as an empty show.
        files().Command1_Click(); // clears the status history too
        save("Ends/show.cue");
        QCOMPARE(entries("Show Saved Successfully - show.cue", kBrightGreen), 1);
        QCOMPARE(read("Ends/show.cue"), "");
        QVERIFY(exists("Ends/show.cue"));
        load("Ends/show.cue");
        QCOMPARE(cues().SelectedIndex(), 0);
        QCOMPARE(entries("No Cues Found"), 0); // an empty show is no fault
    }
};

QTEST_MAIN(ShowFilesTest)
#include "test_show_files.moc"
