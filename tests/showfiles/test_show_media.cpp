// Shows and their media through the real main window, with hostile and ordinary files: what
// a save writes loads back the same and still finds its media, a save takes no file from
// the current folder and replaces no other show's media, only media are gathered, starts
// and loads never wait on a pipe, a copy in progress can be cancelled, failures say their
// cause, and shows with any line ends load.

#include "ShowWindow.h"
#include "cuelist/PropertiesPanel.h"
#include "showfiles/ShowFileFormat.h"

#include <QLineEdit>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sorvane;
using namespace sorvane::testing;

namespace {

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

class ShowMediaTest : public QObject, ShowWindow {
    Q_OBJECT

private slots:
    void initTestCase() { prepare(); }
    void init() { start(); }
    void cleanup() { form.reset(); }

    void windows1252NamesComeBackAndFindTheirMedia() {
        const QString wind = u"\u00c4\u2013Wind.mp3"_s;
        write("Src/" + wind, Wav("wind"));
        setShow({PlayCue(1, u"CAF\u00c9\u2026"_s, path("Src/" + wind)),
                 PlayCue(2, u"\u00c2\u00a9 2024"_s, "0")});
        save("W/show.cue");
        QCOMPARE(fileOf(0), wind);
        files().Command1_Click();
        load("W/show.cue");
        QCOMPARE(model().count(), 2);
        QCOMPARE(description(0), u"CAF\u00c9\u2026"_s);
        QCOMPARE(description(1), u"\u00c2\u00a9 2024"_s);
        QCOMPARE(fileOf(0), wind);
        QCOMPARE(mediaOf(0), Wav("wind"));
        // Saved again, byte for byte the same.
        save("W/again.cue");
        QCOMPARE(read("W/again.cue"), read("W/show.cue"));

        // Every character of the code page that a value can hold, alone in a show (so the
        // file is Windows-1252, one byte a character) and beside the names above.
        QString every;
        for (int b = 0x20; b < 256; ++b)
            if (b != ',') every += FromWindows1252(QByteArray(1, static_cast<char>(b)));
        for (const QString& second : {u"0"_s, wind}) {
            setShow({PlayCue(1, every, "0"), PlayCue(2, second, "0")});
            save("W/every.cue");
            if (second == u"0"_s) QCOMPARE(read("W/every.cue").size(), every.size() + 61);
            load("W/every.cue");
            QCOMPARE(description(0), every);
            QCOMPARE(description(1), second);
        }
    }

    void aSaveTakesNothingFromTheCurrentFolder() {
        const QByteArray intro = Wav("intro", 80000); // the gathered media
        const QByteArray show = "1,Intro,0,0,0,intro.mp3,0,1,0,0,10,1,0,0,\r\n";
        write("Show/ShowFiles/intro.mp3", intro);
        write("Show/show.cue", show);
        write("Home/intro.mp3", Wav("decoy", 8)); // a small decoy
        write("Home/other.wav", Wav("other"));
        {
            InFolder home(path("Home"));
            files().LoadShow("../Show/show.cue");
            QCOMPARE(ShowFolder, path("Show/"));
            save("Show/show.cue");
            // A new show whose cue names a bare name that only the current folder holds.
            files().Command1_Click();
            ShowFolder = path("Empty/");
            setShow({PlayCue(1, "Other", "other.wav")});
            save("New/show.cue");
        }
        QCOMPARE(read("Show/ShowFiles/intro.mp3"), intro);
        QCOMPARE(filesIn("Show/ShowFiles"), QStringList{"intro.mp3"});
        QCOMPARE(read("Show/show.cue"), show);
        QVERIFY(!exists("New/ShowFiles/other.wav"));
        QCOMPARE(fileOf(0), u"other.wav"_s);
    }

    void twoShowsInOneFolderKeepTheirOwnMedia() {
        write("A/rain.wav", Wav("rain of A"));
        write("B/rain.wav", Wav("rain of B"));
        write("C/rain.wav", Wav("rain of A")); // same as A's
        setShow({PlayCue(1, "A", path("A/rain.wav"))});
        save("Shared/a.cue");
        setShow({PlayCue(1, "B", path("B/rain.wav")), PlayCue(2, "C", path("C/rain.wav"))});
        save("Shared/b.cue");
        QCOMPARE(fileOf(0), u"rain (2).wav"_s);
        QCOMPARE(fileOf(1), u"rain.wav"_s); // the same content is reused
        // B saved again in place: nothing new.
        save("Shared/b.cue");
        QCOMPARE(filesIn("Shared/ShowFiles").size(), 2);
        load("Shared/a.cue");
        QCOMPARE(mediaOf(0), Wav("rain of A"));
        load("Shared/b.cue");
        QCOMPARE(mediaOf(0), Wav("rain of B"));
        QCOMPARE(mediaOf(1), Wav("rain of A"));
    }

    void onlyMediaAreGathered() {
        write("Src/notes.txt", "Act 1: rain, then thunder\n");
        write("Src/key.wav", QByteArray(600, '\x01') + "KEY");
        write("Src/locked.wav", Wav("locked"));
        write("Src/run.wav", Wav("run"));
        QVERIFY(::chmod(QFile::encodeName(path("Src/locked.wav")), 0) == 0);
        QVERIFY(::chmod(QFile::encodeName(path("Src/run.wav")), 0750) == 0);
        // Each refused file with the cause said.
        const QStringList refused{path("Src/notes.txt"), "/etc/passwd", path("Src/key.wav"),
                                  path("Src/locked.wav")};
        const QStringList causes{" - not a sound or video file", "", "", " - Permission denied"};
        std::vector<CueRow> rows;
        for (const QString& f : refused)
            rows.push_back(PlayCue(static_cast<int>(rows.size()) + 1, "x", f));
        rows.push_back(PlayCue(5, "Run", path("Src/run.wav")));
        setShow(rows);
        {
            NoReadOverride noOverride;
            save("Only/show.cue");
        }
        QVERIFY(::chmod(QFile::encodeName(path("Src/locked.wav")), 0600) == 0);
        for (int i = 0; i < refused.size(); ++i) {
            QCOMPARE(entries("Unable to copy media file " + refused[i] + causes[i], kRed), 1);
            QCOMPARE(fileOf(i), refused[i]); // the cue keeps its path
        }
        QCOMPARE(filesIn("Only/ShowFiles"), QStringList{"run.wav"});
        QCOMPARE(fileOf(4), u"run.wav"_s);
        QCOMPARE(entries("Show Saved Successfully - show.cue", kBrightGreen), 1);
        // A copy gets the permissions of a new file, not its source's.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        QCOMPARE(Mode(path("Only/ShowFiles/run.wav")), 0666 & ~mask);
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
        QCOMPARE(ShowFolder, path("Pipe/"));
        // A media file that is a pipe is not gathered.
        setShow({PlayCue(1, "Pipe", fifo)});
        save("Pipe/saved.cue");
        QCOMPARE(fileOf(0), fifo);
        QVERIFY(filesIn("Pipe/ShowFiles").isEmpty());
    }

    void cancelStopsACopyInProgress() {
        // A WAV of 600 MB of silence whose data is a hole in the file, so that it takes no
        // room on the disk until it is copied.
        const qint64 size = 600LL * 1024 * 1024;
        QByteArray head = Wav(QByteArray(), 0);
        for (int i = 0; i < 4; ++i) {
            head[40 + i] = static_cast<char>(((size - 44) >> (8 * i)) & 0xFF);
            head[4 + i] = static_cast<char>(((size - 8) >> (8 * i)) & 0xFF);
        }
        const QString big = path("Large/long.wav");
        write("Large/long.wav", head);
        QVERIFY(::truncate(QFile::encodeName(big).constData(), size) == 0);
        setShow({PlayCue(1, "Long", big)});
        // Pressed while the copy is in progress: events run meanwhile.
        const QString partial = "Cut/ShowFiles/.long.wav.sorvane-copy";
        QVERIFY(saveAnd(
            "Cut/show.cue", [&](int, bool) { return exists(partial); },
            [](Form3& w) { w.Command1->click(); }));
        QVERIFY(SaveCanceled);
        QVERIFY(!files().isSaving());
        QVERIFY(!exists(partial));
        QVERIFY(!exists("Cut/ShowFiles/long.wav"));
        QVERIFY(!exists("Cut/show.cue"));
        QCOMPARE(fileOf(0), big);
    }

    void failuresSayTheirCause() {
        write("Full/show.cue", "1,Old show,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        write("Src/a.wav", Wav("a", 2000));
        write("Src/tick.wav", Wav("tick", 20));
        setShow({PlayCue(1, "A", path("Src/a.wav")), PlayCue(2, "Tick", path("Src/tick.wav"))});
        // A full disk: room for the short media, not for the other one nor the new show.
        {
            FileSizeLimit limit(100);
            save("Full/show.cue");
        }
        QCOMPARE(entries("Show Not Saved - show.cue - The disk is full", kRed), 1);
        QCOMPARE(entries("Unable to copy media file " + path("Src/a.wav - The disk is full"), kRed),
                 1);
        QCOMPARE(entries("Show Saved Successfully"), 0);
        // The old show stays whole, nothing half written is left, and the cues keep the
        // paths that still lead to their media.
        QCOMPARE(read("Full/show.cue"), QByteArray("1,Old show,0,0,0,0,0,1,0,0,10,1,0,0,\r\n"));
        QCOMPARE(filesIn("Full"), QStringList{"show.cue"});
        QCOMPARE(filesIn("Full/ShowFiles"), QStringList{"tick.wav"});
        QCOMPARE(read("Full/ShowFiles/tick.wav"), Wav("tick", 20));
        QVERIFY(ShowFolder.isEmpty());
        QCOMPARE(fileOf(0), path("Src/a.wav"));
        QCOMPARE(fileOf(1), path("Src/tick.wav"));
        // A media folder that cannot be made is said once, with its reason.
        write("Blocked/ShowFiles", "a file in the way");
        save("Blocked/show.cue");
        QCOMPARE(
            entries("Unable to create folder " + path("Blocked/ShowFiles - Not a directory"), kRed),
            1);
        QCOMPARE(entries("Unable to copy media file", kRed), 1); // a.wav's on the full disk
        QCOMPARE(fileOf(0), path("Src/a.wav"));
        QCOMPARE(entries("Show Saved Successfully - show.cue", kBrightGreen), 1);
    }

    void aPathThatIsNotUtf8Loads() {
        const QByteArray name = QFile::encodeName(tmp.path()) + "/show-\xff\xfe caf\xe9.cue";
        for (const QByteArray& b :
             {name, QByteArray("\xc3\x28\xe2\x82\xf0\x9f\x98\x80\xed\xa0\x80"),
              QByteArray("plain \xc3\xa9")})
            QCOMPARE(EncodeFileName(DecodeFileName(b)), b);
        // UTF-8 names are their ordinary text; stray, overlong, surrogate and cut sequences
        // are bytes of their own.
        QCOMPARE(DecodeFileName("caf\xc3\xa9 \xf0\x9f\x8e\xb5.wav"), u"caf\u00e9 \U0001F3B5.wav"_s);
        QCOMPARE(DecodeFileName("a\xc0\x80\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82").size(), 12);
        QCOMPARE(DecodeFileName("\xff").at(0).unicode(), 0xDCFF);
        const QByteArray line = "1,Odd name,0,0,0,0,0,1,0,0,10,1,0,0,\r\n";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, line.constData(), line.size()), static_cast<ssize_t>(line.size()));
        ::close(fd);
        const QString decoded = DecodeFileName(name);
        QVERIFY(FileExists(decoded));
        start(decoded);
        QCOMPARE(model().count(), 1);
        QCOMPARE(description(0), u"Odd name"_s);
        QCOMPARE(ShowFilename, decoded);
        QCOMPARE(::unlink(name.constData()), 0); // a name the temporary folder cannot remove
    }

    // A description far longer than a text box shows: the panel shows its start, read only,
    // and the cue keeps it whole through the panel's writes, a save and a load.
    void aHugeDescriptionStaysWhole() {
        QString huge;
        for (int i = 0; i < 300000; ++i)
            huge += QChar(i % 97 == 0 ? ' ' : 'a' + i % 26);
        huge += u"THE END"_s;
        write("Huge/show.cue", EncodeShowText("1," + huge +
                                              ",0,0,0,0,0,1,0,0,10,1,0,0,\r\n"
                                              "2,Short,0,0,0,0,0,1,0,0,10,1,0,0,\r\n"));
        load("Huge/show.cue");
        QCOMPARE(model().count(), 2);
        QLineEdit* box = cues().panel().txtDescription();
        QVERIFY(box->isReadOnly());
        QVERIFY(box->text().size() < huge.size());
        QVERIFY(huge.startsWith(box->text()));
        QCOMPARE(model().row(0).at(kDescription).value.toText(), huge);
        QCOMPARE(description(0), huge);
        // The panel writes its other fields into the cue; the description stays whole.
        cues().panel().txtPlayCount()->setText("3");
        QCOMPARE(model().row(0).at(kPlayCount).value.toText(), u"3"_s);
        QCOMPARE(model().row(0).at(kDescription).value.toText(), huge);
        save("Huge/again.cue");
        load("Huge/again.cue");
        QCOMPARE(model().row(0).at(kDescription).value.toText(), huge);
        // A short description makes the box an ordinary, editable one again.
        cues().SelectRow(2);
        cues().ListView1_Click();
        QVERIFY(!box->isReadOnly());
        QCOMPARE(box->text(), u"Short"_s);
        box->setText("Shorter");
        QCOMPARE(model().row(1).at(kDescription).value.toText(), u"Shorter"_s);
    }

    // Saving over a show file replaces it whole, keeping its permissions and any link to it.
    void aSaveOverAShowKeepsItsLinkAndPermissions() {
        write("Real/show.cue", "1,Old,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        QVERIFY(::chmod(QFile::encodeName(path("Real/show.cue")).constData(), 0640) == 0);
        QDir().mkpath(path("Linked"));
        QVERIFY(QFile::link(path("Real/show.cue"), path("Linked/show.cue")));
        setShow({PlayCue(1, "New", "0")});
        save("Linked/show.cue");
        QVERIFY(QFileInfo(path("Linked/show.cue")).isSymLink());
        QCOMPARE(read("Real/show.cue"), QByteArray("1,New,0,0,0,0,0,1,0,0,10,1,0,0,\r\n"));
        QCOMPARE(Mode(path("Real/show.cue")), 0640u);
        QCOMPARE(filesIn("Real"), QStringList{"show.cue"});
    }

    void anyLineEndLoads() {
        const QByteArray cue1 = "1,One,0,0,0,0,0,1,0,0,10,1,0,0,";
        const QByteArray cue2 = "2,Two,1,0,0,0,0,1,0,0,10,1,0,0,";
        const QByteArray cue3 = "3,Three,1,0,0,0,0,1,0,0,10,1,0,0,";
        for (const QByteArray& bytes : {cue1 + "\n" + cue2 + "\n" + cue3 + "\n",
                                        cue1 + "\r" + cue2 + "\r" + cue3 + "\r" + "4,unended",
                                        cue1 + "\r\n" + cue2 + "\n" + cue3 + "\r"}) {
            write("Ends/show.cue", bytes);
            load("Ends/show.cue");
            QCOMPARE(model().count(), 3);
            QCOMPARE(description(2), u"Three"_s);
            save("Ends/saved.cue");
            QCOMPARE(read("Ends/saved.cue"), cue1 + "\r\n" + cue2 + "\r\n" + cue3 + "\r\n");
        }
        QCOMPARE(entries("No Cues Found", kYellow), 0);
        // A file that holds something but no cue says so.
        write("Ends/none.cue", "just one line without an end");
        load("Ends/none.cue");
        QCOMPARE(model().count(), 0);
        QCOMPARE(entries("No Cues Found - none.cue", kYellow), 1);
        load("Ends/missing.cue");
        QCOMPARE(entries("Show Not Loaded - missing.cue - No such file", kYellow), 1);
        // A folder is no show file: nothing is loaded.
        load("Ends");
        QCOMPARE(model().count(), 0);
        QCOMPARE(ShowFolder, tmp.path() + '/');
        // An empty show saves as an empty file over the old one, and loads as an empty show.
        files().Command1_Click(); // clears the status history too
        save("Ends/show.cue");
        QVERIFY(saved("show.cue"));
        QCOMPARE(read("Ends/show.cue"), QByteArray(""));
        QVERIFY(exists("Ends/show.cue"));
        load("Ends/show.cue");
        QCOMPARE(model().count(), 0);
        QCOMPARE(cues().SelectedIndex(), 0);
        QCOMPARE(entries("No Cues Found"), 0); // an empty show is no fault
    }
};

QTEST_MAIN(ShowMediaTest)
#include "test_show_media.moc"
