// The show file commands through the real main window, with hostile and ordinary files.

#include "../support/TextRow.h"
#include "TestFiles.h"
#include "app/Form1.h"
#include "core/Module1.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/PropertiesPanel.h"
#include "media/Form5.h"
#include "media/MediaCommands.h"
#include "platform/Dialogs.h"
#include "playback/Mixer.h"
#include "showfiles/FileAssoc.h"
#include "showfiles/Form3.h"
#include "showfiles/ShowFileFormat.h"
#include "showfiles/ShowFiles.h"

#include <QtWidgets>
#include <csignal>
#include <fstream>
#include <linux/capability.h>
#include <sys/resource.h>
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

QByteArray CueText(const QByteArray& description, const QByteArray& file = "0") {
    return "1," + description + ",0,0,0," + file + ",0,1,0,0,10,1,0,0,\r\n";
}

// Every action, with the panel's kinds of values; cues 1 and 8 name `media`.
std::vector<CueRow> EveryAction(const QString& media) {
    std::vector<CueRow> rows;
    for (const char* line :
         {"1,Preshow \u2013 caf\u00e9,0,0,0,%1,-800,1,0,4,5,0,1.5,12.25",
          "2,Pause,1,1,0,0,0,1,1,0,10,1,0,0", "3,\u0413\u0440\u043e\u043c,2,2,0,0,0,1,1,1,10,1,0,0",
          "4,\u96f7\u306e\u97f3,2,3,120,0,0,1,0,2,10,1,0,0", "5,Fade,0,4,0,0,-2000,1,1,3,7,1,0,0",
          "6,Jump,1,5,2,0,0,1,0,0,10,1,0,0", "7,Slow,1,6,0,0,0,0.75,0,2,10,1,0,0",
          "8,Buffer,0,7,0,%1,0,1,1,3,10,1,0,0", "9,Hold,2,8,500,0,0,1,1,0,10,1,0,0"})
        rows.push_back(TextRow(QString::fromUtf8(line).replace("%1", media).split(',')));
    return rows;
}

QStringList Snapshot(const CueListModel& m) {
    QStringList out;
    for (int i = 0; i < m.count(); ++i) {
        QString row = m.row(i).text;
        for (int k = 1; k <= m.row(i).subCount; ++k)
            row += ';' + m.row(i).at(k).value.toText() + '|' + m.row(i).at(k).text;
        out << row;
    }
    return out;
}

// Drops the superuser's right to read any file: an unreadable file is unreadable here too.
void DropReadOverride() {
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    syscall(SYS_capget, &head, caps);
    caps[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    syscall(SYS_capset, &head, caps);
}

} // namespace

class ShowFilesTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    void start(const QString& commandLine = QString()) {
        form.reset();
        QLocale::setDefault(QLocale::c());
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
    QStringList filesIn(const QString& rel) const {
        return QDir(path(rel)).entryList(QDir::Files | QDir::Hidden);
    }
    QString fileOf(int row) { return model().row(row).at(kFile).value.toText(); }
    QStringList filesOf() {
        QStringList out;
        for (int i = 0; i < model().count(); ++i)
            out << fileOf(i);
        return out;
    }
    QByteArray mediaOf(int row) {
        const QString f = fileOf(row);
        return ReadFile(f.startsWith('/') ? f : ShowFolder + "ShowFiles/" + f);
    }
    void pick(int row) { cues().SelectRow(row), cues().ListView1_Click(); }
    void setShow(std::vector<CueRow> rows) {
        model().setRows(std::move(rows));
        pick(1);
    }
    void load(const QString& rel) { files().LoadShow(path(rel)); }
    void save(const QString& rel) {
        dialogs.queueFile(path(rel));
        files().SaveShow();
    }
    // Saves while no file this process writes may grow beyond `bytes`, as on a full disk.
    void saveWithin(rlim_t bytes, const QString& rel) {
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit lim{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lim);
        save(rel);
        setrlimit(RLIMIT_FSIZE, &old);
    }
    // Saves and runs `act` once `when` holds for the progress and whether the write pass runs.
    bool saveAnd(const QString& rel, const std::function<bool(int, bool)>& when,
                 const std::function<void(Form3&)>& act) {
        int last = -1;
        bool done = false;
        QTimer t;
        QObject::connect(&t, &QTimer::timeout, [&] {
            Form3* w = files().form3();
            if (!w || done) return;
            const int v = w->ProgressBar1->value();
            done = when(v, std::exchange(last, std::max(last, v)) > v); // the bar fell: writing
            if (done) act(*w);
        });
        t.start(0);
        save(rel);
        return done;
    }
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
        DropReadOverride();
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("xdg/data")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("xdg/config")));
    }
    void init() { start(); }

    // Saved and loaded again, a show is the same and finds its media, in any locale.
    void roundTrip_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("media");
        QTest::newRow("decimal point") << u"C"_s << u"thunder.wav"_s;
        QTest::newRow("decimal comma") << u"de_DE"_s << u"thunder.wav"_s;
        QTest::newRow("windows1252NamesComeBackAndFindTheirMedia") << "C" << u"\u00c4\u2013W.mp3"_s;
    }
    void roundTrip() {
        QFETCH(QString, locale);
        QFETCH(QString, media);
        QLocale::setDefault(QLocale(locale));
        const QString dir = QString::fromLatin1(QTest::currentDataTag()) + '/';
        write("Src/" + media, Wav(media.toUtf8()));
        std::vector<CueRow> rows = EveryAction(path("Src/" + media));
        const QLocale l;
        rows[6].at(kRate) = {StoredValue::text(l.toString(1.5)), l.toString(1.5)};
        rows[0].at(kSelectionStart) = {StoredValue::number(2.75), l.toString(2.75)};
        rows[0].at(kSelectionEnd) = {StoredValue::number(12.25), l.toString(12.25)};
        rows[1].at(kDescription) = {StoredValue::text("1.5"), "1.5"};
        const QString odd = u"CAF\u00c9\u2026 \u00c2\u00a9 2024"_s;
        for (int i : {0, 2, 3}) // only Windows-1252 characters, whose bytes read as UTF-8
            if (media != "thunder.wav") rows[i].at(kDescription) = {StoredValue::text(odd), odd};
        setShow(rows);
        save(dir + "show.cue");
        QCOMPARE(fileOf(0), media);
        QCOMPARE(files().form3(), nullptr);
        const QStringList before = Snapshot(model());
        files().Command1_Click();
        load(dir + "show.cue");
        QCOMPARE(Snapshot(model()), before);
        QCOMPARE(mediaOf(0), Wav(media.toUtf8()));
        QCOMPARE(cues().ListView1Tag, "-1"); // no current cue after a load
        save(dir + "again.cue");
        QCOMPARE(read(dir + "again.cue"), read(dir + "show.cue"));
        if (locale != "C") QCOMPARE(read(dir + "show.cue"), read("decimal point/show.cue"));
    }

    void playbackEditAndSaveFindTheSameMedia() {
        const QByteArray show = CueText("Intro", "intro.mp3") + CueText("Here", "here.wav") +
                                CueText("Lost", "lost.wav") + CueText("None");
        write("Show/ShowFiles/intro.mp3", Wav("intro", 80000));
        write("Show/show.cue", show);
        write("Home/intro.mp3", Wav("decoy", 8));
        write("Home/here.wav", Wav("here"));
        write("Home/0", Wav("no media")); // "0" is a cue without media, never this file
        const auto back = qScopeGuard([home = QDir::currentPath()] { QDir::setCurrent(home); });
        QDir::setCurrent(path("Home"));
        files().LoadShow("../Show/show.cue");
        QByteArray edited;
        form->media().onEditorShown = [&](Form5& editor) {
            edited = ReadFile(editor.MediaPlayer1->FileName());
            editor.Command3->click();
        };
        QPushButton* go = form->frame().cmdGo;
        for (const auto& [row, media] : {std::pair(1, Wav("intro", 80000)), {2, Wav("here")}}) {
            pick(row);
            form->media().Command6_Click();
            QCOMPARE(edited, media);
            QTRY_VERIFY(go->isEnabled());
            QTest::mouseClick(go, Qt::LeftButton);
            QTRY_COMPARE(ReadFile(form->mixer().MediaPlayer1[0]->FileName()), media);
        }
        QTRY_VERIFY(go->isEnabled());
        for (const QString& file : {QString(), path("Elsewhere/show.cue")}) { // Cancel, then save
            form->frame().cmdSave->setFocus();
            dialogs.queueFile(file);
            form->frame().cmdSave->click();
            QCOMPARE(dialogs.calls().last().title, "Open Show");
            QCOMPARE(form->focusWidget(), go);
        }
        for (const Form3* w : form->findChildren<Form3*>())
            QVERIFY(!w->isVisible());
        QCOMPARE(read("Elsewhere/show.cue"), show);
        QCOMPARE(filesIn("Elsewhere/ShowFiles"), QStringList({"here.wav", "intro.mp3"}));
        QCOMPARE(read("Elsewhere/ShowFiles/intro.mp3"), Wav("intro", 80000));
        QCOMPARE(entries("Unable to find media file lost.wav", kRed), 1);
        QCOMPARE(entries("Unable to"), 1);
    }

    // A GO while a save gathers or writes plays the cue's media, wherever the save stands.
    void goDuringASavePlays() {
        write("Src/a.wav", Wav("a", 441000));
        write("Src/b.wav", Wav("b"));
        QPushButton* go = form->frame().cmdGo;
        for (const int channel : {0, 1}) { // in the media pass, in the write pass
            std::vector<CueRow> rows{PlayCue("A", path("Src/a.wav")),
                                     PlayCue("B", path("Src/b.wav")),
                                     PlayCue("A again", path("Src/a.wav"))};
            rows[0].at(kChannel).value = StoredValue::text(QString::number(channel));
            setShow(rows);
            const QString dir = QString::number(channel) + '/';
            MediaPlayer* player = form->mixer().MediaPlayer1[channel];
            QVERIFY(saveAnd(
                dir + "show.cue", [&](int v, bool w) { return v >= 1 && w == (channel == 1); },
                [&](Form3& w) {
                    QCOMPARE(w.Label1->text() + '|' + w.Command1->text() + '|' +
                                 QString::number(w.ProgressBar1->maximum()),
                             "Saving Show...|Cancel|3");
                    cues().SelectRow(1);
                    QTRY_VERIFY(go->isEnabled());
                    QTest::mouseClick(go, Qt::LeftButton);
                    QTRY_VERIFY(!player->FileName().isEmpty() || entries("Warning:") > 0);
                    QCOMPARE(entries("Warning:"), 0);
                    QCOMPARE(ReadFile(player->FileName()), Wav("a", 441000));
                    QVERIFY(files().isSaving() && !QApplication::activeModalWidget());
                    pick(1); // GO moved on to cue 2
                    cues().panel().txtFile()->setText(path("Src/b.wav"));
                }));
            QCOMPARE(filesOf(), QStringList({path("Src/b.wav"), "b.wav", "a.wav"}));
            QVERIFY(read(dir + "show.cue").startsWith("1,A,0,0,0," + path("Src/b.wav").toUtf8()));
            QCOMPARE(mediaOf(2), Wav("a", 441000));
        }
    }

    // Another show's or folder's file of that name is never replaced.
    void twoShowsInOneFolderKeepTheirOwnMedia() {
        for (const QString s : {"A", "B", "C", "D"})
            write(s + "/rain.wav", Wav(s == "C" ? "A" : s.toLatin1()));
        write("Shared/ShowFiles/rain (2).wav", "older copy");
        const QStringList shows[] = {{"A", "B", "A"}, {"C", "D"}};
        const QStringList names[] = {{"rain.wav", "rain (3).wav", "rain.wav"},
                                     {"rain.wav", "rain (4).wav"}};
        for (int s : {0, 1}) {
            std::vector<CueRow> rows;
            for (const QString& source : shows[s])
                rows.push_back(PlayCue(source, path(source + "/rain.wav")));
            setShow(rows);
            save("Shared/" + QString::number(s) + ".cue");
            QCOMPARE(filesOf(), names[s]);
        }
        save("Shared/1.cue"); // again in place: nothing new
        QCOMPARE(filesIn("Shared/ShowFiles").size(), 4);
        QCOMPARE(read("Shared/ShowFiles/rain (2).wav"), "older copy");
        for (int s : {0, 1}) {
            load("Shared/" + QString::number(s) + ".cue");
            for (int i = 0; i < shows[s].size(); ++i)
                QCOMPARE(mediaOf(i), read(shows[s][i] + "/rain.wav"));
        }
    }

    void onlyMediaAreGathered() {
        write("Src/notes.txt", "Act 1: rain, then thunder\n");
        write("Src/key.wav", QByteArray(600, '\x01') + "KEY");
        write("Src/locked.wav", Wav("locked"));
        write("Src/run.wav", Wav("run"));
        QCOMPARE(::chmod(QFile::encodeName(path("Src/locked.wav")), 0), 0);
        QCOMPARE(::chmod(QFile::encodeName(path("Src/run.wav")), 0750), 0);
        QCOMPARE(::mkfifo(QFile::encodeName(path("Src/pipe.wav")), 0600), 0);
        const QString notMedia = " - not a sound or video file",
                      copy = "Unable to copy media file ";
        const std::pair<QString, QString> refused[] = {
            {path("Src/notes.txt"), copy + path("Src/notes.txt") + notMedia},
            {"/etc/passwd", copy + "/etc/passwd" + notMedia},
            {path("Src/key.wav"), copy + path("Src/key.wav") + notMedia},
            {path("Src/locked.wav"), "Unable to find media file " + path("Src/locked.wav")},
            {path("Src/pipe.wav"), "Unable to find media file " + path("Src/pipe.wav")}};
        std::vector<CueRow> rows{PlayCue("Run", path("Src/run.wav"))};
        QStringList kept{"run.wav"};
        for (const auto& [file, said] : refused)
            kept << file, rows.push_back(PlayCue("x", file));
        setShow(rows);
        save("Only/show.cue");
        for (const auto& [file, said] : refused)
            QCOMPARE(entries(said, kRed), 1);
        QCOMPARE(filesOf(), kept);
        QCOMPARE(entries("Unable to"), 5);
        QCOMPARE(filesIn("Only/ShowFiles"), QStringList{"run.wav"});
        write("Only/new", "");
        QCOMPARE(QFile::permissions(path("Only/ShowFiles/run.wav")),
                 QFile::permissions(path("Only/new")));
    }

    void failuresSayTheirCause() {
        const QString was = path("Was/ShowFiles/long.wav"), tick = path("Src/tick.wav");
        write("Was/ShowFiles/long.wav", Wav("w", 32 * 1024));
        write("Src/tick.wav", Wav("tick", 20));
        write("Was/show.cue",
              CueText("Long", "long.wav") + CueText("Tick", QFile::encodeName(tick)));
        write("Full/show.cue", CueText("Old show"));
        load("Was/show.cue");
        saveWithin(8 * 1024, "Now/show.cue"); // room for the show and the short media only
        QCOMPARE(entries("Unable to copy media file " + was + " - The disk is full", kRed), 1);
        QCOMPARE(entries("Show Saved Successfully - show.cue", kBrightGreen), 1);
        QCOMPARE(filesOf(), QStringList({was, "tick.wav"}));
        QVERIFY(read("Now/show.cue").startsWith("1,Long,0,0,0," + QFile::encodeName(was) + ','));
        QCOMPARE(filesIn("Now/ShowFiles"), QStringList{"tick.wav"});
        load("Was/show.cue");
        saveWithin(100, "Full/show.cue");
        QCOMPARE(entries("Show Not Saved - show.cue - The disk is full", kRed), 1);
        QCOMPARE(read("Full/show.cue"), CueText("Old show"));
        QCOMPARE(filesIn("Full"), QStringList{"show.cue"});
        QCOMPARE(read("Full/ShowFiles/tick.wav"), Wav("tick", 20));
        QCOMPARE(filesOf(), QStringList({"long.wav", tick}));
        QCOMPARE(ShowFolder, path("Was/"));
        write("Blocked/ShowFiles", "a file in the way");
        save("Blocked/show.cue");
        const QString blocked = "Unable to create folder " + path("Blocked/ShowFiles");
        QCOMPARE(entries(blocked + " - Not a directory", kRed), 1);
        QCOMPARE(entries("Unable to copy media file", kRed), 2);
        QCOMPARE(entries("Show Saved Successfully - show.cue", kBrightGreen), 2);
    }

    void cancelInEachPhase_data() {
        QTest::addColumn<int>("phase");
        int phase = 0;
        for (const char* row : {"pause", "media pass", "write pass", "cancelStopsACopyInProgress"})
            QTest::newRow(row) << phase++;
    }
    void cancelInEachPhase() {
        QFETCH(int, phase);
        const qint64 size = phase == 3 ? 600LL << 20 : 64 << 10;
        const QString media = path("Cancel/media/hit.wav");
        write("Cancel/media/hit.wav", WavHeader(kWavPcm, 1, 44100, 16, quint32(size - 44)));
        QCOMPARE(::truncate(QFile::encodeName(media).constData(), size), 0);
        write("Cancel/show.cue", CueText("Kept"));
        QDir(path("Cancel/ShowFiles")).removeRecursively();
        setShow(EveryAction(media));
        files().savePause = phase == 0 ? 0.3 : 0;
        const int said = form->status().history().size();
        QVERIFY(saveAnd(
            "Cancel/show.cue",
            [&](int v, bool writing) {
                return phase == 0 || (phase == 1 && v >= 2 && !writing) ||
                       (phase == 2 && writing) ||
                       (phase == 3 && filesIn("Cancel/ShowFiles").value(0).startsWith('.'));
            },
            [&](Form3& w) {
                QVERIFY(!form->frame().Command1->isEnabled());
                files().Command1_Click();
                files().Command7_Click();
                w.Command1->click();
                QVERIFY(!w.isVisible());
            }));
        QCOMPARE(read("Cancel/show.cue"), CueText("Kept"));
        QCOMPARE(form->status().history().size(), said);
        QCOMPARE(dialogs.calls().size(), 1);
        QVERIFY(ShowFolder.isEmpty());
        QCOMPARE(model().count(), 9);
        QCOMPARE(QStringList({fileOf(0), fileOf(7)}), QStringList({media, media}));
        QCOMPARE(filesIn("Cancel/ShowFiles"),
                 phase == 1 || phase == 2 ? QStringList{"hit.wav"} : QStringList());
        QVERIFY(form->frame().Command1->isEnabled());
    }

    // Edits while a save runs: the file holds the show as it then stands; Cancel gives paths back.
    void editsWhileSaving() {
        write("Edit/media/hit.wav", Wav("hit"));
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
        saveWith(2, 3, 1, &CueListEditor::cmdDeleteCue_Click);
        QCOMPARE(model().row(0).at(kDescription).text, "Pause");
        saveWith(1, 2, 0, &CueListEditor::cmdAddCue_Click);
        QCOMPARE(fileOf(8), "hit.wav");
        saveWith(1, 3, 1, &CueListEditor::cmdDeleteCue_Click);
        QCOMPARE(fileOf(6), "hit.wav");
        write("Back/media/hit.wav", Wav("new hit"));
        std::vector<CueRow> rows = EveryAction(path("Back/media/hit.wav"));
        rows[1].at(kFile).value = StoredValue::text("hit.wav");
        setShow(std::move(rows));
        QVERIFY(saveAnd(
            "Back/show.cue", [](int v, bool) { return v >= 2; },
            [&](Form3& w) {
                cues().cmdDeleteCue_Click();
                w.Command1->click();
            }));
        QCOMPARE(fileOf(0), "hit.wav");
    }

    void loadOldFixtures() {
        const QString data = qEnvironmentVariable("SORVANE_TEST_DATA") + "/showfiles/";
        AutoShowProperties = true;
        dialogs.queueFile(data + "show-basic.mdb");
        form->frame().Command7->click();
        QVERIFY(!AutoShowProperties);
        QCOMPARE(model().count(), 8);
        QCOMPARE(cues().ListView1Tag, "-1"); // no current cue after a load
        QCOMPARE(ShowFolder, data);
        QVERIFY(model().row(2).at(kVolume).value == StoredValue::int32(-800));
        QVERIFY(model().row(2).at(kSelectionStart).value == StoredValue::number(1.5));
        QVERIFY(model().row(2).at(kChannel).value == StoredValue::int16(1));
        QVERIFY(model().row(4).at(kFile).value == StoredValue::text(""));
        QVERIFY(model().row(4).at(kDescription).value == StoredValue::text(""));
        const QStringList shown = Snapshot(model());
        write("Old/text.cue", CueText("Text show"));
        write("Old/fake.mdb",
              QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(8192, '\xA5'));
        QCOMPARE(::mkfifo(QFile::encodeName(path("Old/pipe.mdb")), 0600), 0);
        write("Old/empty.mdb", "");
        for (const QString file : {"no-cuelist.mdb", "text.cue", "missing.cue", "fake.mdb",
                                   "pipe.mdb", "empty.mdb", ""}) {
            dialogs.queueFile(file.endsWith("cuelist.mdb") ? data + file : path("Old/" + file));
            files().Command7_Click();
            const auto& said = dialogs.calls().last();
            QCOMPARE(said.title + ": " + said.text,
                     "Error!: Unable to open file.  Unrecognized Data Format.");
            QCOMPARE(said.icon, MsgIcon::Critical);
            QCOMPARE(Snapshot(model()), shown);
            QCOMPARE(ShowFilename, data + "show-basic.mdb");
        }
        QByteArray bytes = ReadFile(data + "show-basic.mdb");
        for (int i = 4096; i < 12288; ++i)
            bytes[i] = static_cast<char>((i * 37) & 0xFF);
        for (int cut : {4096, 8192, 20480, 61440, 100000, int(bytes.size())}) {
            write("Old/damaged.mdb", bytes.left(cut));
            dialogs.queueFile(path("Old/damaged.mdb"));
            files().Command7_Click();
            QVERIFY(model().count() <= 8);
        }
        dialogs.clearCalls();
        dialogs.queueFile(data + "show-empty.mdb");
        files().Command7_Click();
        QCOMPARE(dialogs.calls().size(), 1);
        QCOMPARE(model().count(), 0);
    }

    void loadCommandAndTheDialogsFileName() {
        QCOMPARE(RegGetString(ClassesRootText(), "sorvane\\shell\\open\\command", {}, {}),
                 '"' + ApplicationFolder() + "/sorvane\" %1");
        write("Cmd/one.cue", CueText("One") + CueText("Two"));
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QPushButton* load = form->frame().cmdLoadShow;
        for (const QString& file : {QString(), path("Cmd/one.cue")}) {
            dialogs.queueFile(file);
            load->setFocus();
            load->click();
            QCOMPARE(form->focusWidget(), form->frame().cmdGo);
        }
        QCOMPARE(model().count(), 2);
        load->setFocus();
        load->click();
        QCOMPARE(dialogs.calls().last().text, path("Cmd/one.cue"));
        QCOMPARE(model().count(), 2);
        QCOMPARE(form->focusWidget(), load);
        save("Cmd/two.cue");
        dialogs.queueFile(QString()); // Cancel
        form->frame().cmdSave->click();
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Save);
        QCOMPARE(dialogs.calls().last().text, path("Cmd/one.cue"));
        form->frame().Command1->click();
        QCOMPARE(model().count(), 0);
        QCOMPARE(ShowFilename, path("Cmd/one.cue"));
        QVERIFY(!form->frame().cmdProperties->isEnabled());
        QCOMPARE(entries(""), 1); // Create New leaves only the ready message
        QCOMPARE(entries("Sorvane 1.0 Ready.     rev.2", kWhite), 1);
    }

    void aPathThatIsNotUtf8Loads() {
        const QByteArray name = QFile::encodeName(tmp.path()) + "/show-\xff\xfe caf\xe9.cue";
        const QByteArray odd("\xc3\x28\xe2\x82\xf0\x9f\x98\x80\xed\xa0\x80\xc0\x80");
        QCOMPARE(EncodeFileName(DecodeFileName(odd)), odd);
        QCOMPARE(DecodeFileName("caf\xc3\xa9 \xf0\x9f\x8e\xb5.wav"), u"caf\u00e9 \U0001F3B5.wav"_s);
        std::ofstream(name.constData()) << "1,Odd name,\r\n";
        start(DecodeFileName(name));
        QCOMPARE(model().row(0).at(kDescription).text, "Odd name");
        QCOMPARE(ShowFilename, DecodeFileName(name));
        QCOMPARE(::unlink(name.constData()), 0); // a name the temporary folder cannot remove
    }

    void aHugeDescriptionStaysWhole() {
        const QString huge = u"abcdefghijklmnopqrstuvwxy "_s.repeated(12000);
        setShow({PlayCue(huge, "0"), PlayCue("Short", "0")});
        save("Huge/show.cue");
        load("Huge/show.cue");
        QLineEdit* box = cues().panel().txtDescription();
        QVERIFY(box->isReadOnly());
        QVERIFY(huge.startsWith(box->text()) && box->text().size() < huge.size());
        cues().panel().txtPlayCount()->setText("3");
        QCOMPARE(model().row(0).at(kPlayCount).value.toText(), "3");
        QCOMPARE(model().row(0).at(kDescription).value.toText(), huge);
        pick(2);
        box->setText("Shorter");
        QCOMPARE(model().row(1).at(kDescription).value.toText(), "Shorter");
    }

    void aSaveOverAShowKeepsItsLinkAndPermissions() {
        write("Real/show.cue", CueText("Old"));
        QCOMPARE(::chmod(QFile::encodeName(path("Real/show.cue")).constData(), 0640), 0);
        const QFile::Permissions perms = QFile::permissions(path("Real/show.cue"));
        QVERIFY(QFile::link(path("Real/show.cue"), path("linked.cue")));
        setShow({PlayCue("New", "0")});
        save("linked.cue");
        QVERIFY(QFileInfo(path("linked.cue")).isSymLink());
        QCOMPARE(read("Real/show.cue"), CueText("New"));
        QCOMPARE(QFile::permissions(path("Real/show.cue")), perms);
        QCOMPARE(filesIn("Real"), QStringList{"show.cue"});
    }

    void anyLineEndLoadsAndPipesNeverBlock() {
        QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.cue")).constData(), 0600), 0);
        start('"' + path("pipe.cue") + '"');
        write("Ends/show.cue",
              "\r\n1,One\nheavy,0,\r\n\r\n2,Two,1\r,\r\n3,Three,1,,,,,1.50\r\n4,unended");
        load("Ends/show.cue");
        save("Ends/saved.cue");
        QCOMPARE(read("Ends/saved.cue"), "1,One heavy,0,,,,,,,,,,,,\r\n2,Two,1 ,,,,,,,,,,,,\r\n"
                                         "3,Three,1,,,,,1.50,,,,,,,\r\n");
        write("Ends/none.cue", "just one line without an end");
        for (const QString file : {"Ends/none.cue", "Ends/missing.cue", "Ends", "pipe.cue"})
            load(file);
        QCOMPARE(entries("Show Not Loaded - pipe.cue - not a file", kYellow), 1);
        QCOMPARE(entries("No Cues Found - none.cue", kYellow), 1);
        QCOMPARE(entries("Show Not Loaded - missing.cue - No such file", kYellow), 1);
        QCOMPARE(entries("Show Not Loaded - Ends - Is a directory", kYellow), 1);
        files().Command1_Click(); // clears the status history too
        save("Ends/show.cue");
        QCOMPARE(read("Ends/show.cue"), ""); // it held cues before
        load("Ends/show.cue");
        QCOMPARE(entries("No Cues Found"), 0);
    }
};

QTEST_MAIN(ShowFilesTest)
#include "test_show_files.moc"
