// Shows and their media through the real main window, with hostile and ordinary files: what
// a save writes loads back the same and still finds its media, a save takes no file from
// the current folder and replaces no other show's media, only media are gathered, starts
// and loads never wait on a pipe, a copy in progress can be cancelled, failures say their
// cause, and shows with any line ends load.

#include "app/Form1.h"
#include "core/Module1.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueListModel.h"
#include "cuelist/PropertiesPanel.h"
#include "platform/Dialogs.h"
#include "showfiles/Form3.h"
#include "showfiles/MediaGather.h"
#include "showfiles/ShowFileFormat.h"
#include "showfiles/ShowFiles.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "TestFiles.h"
#include <csignal>
#include <fcntl.h>
#include <linux/capability.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace sorvane;

namespace {

// A cue that plays `file`, described by `description`.
CueRow PlayCue(int number, const QString& description, const QString& file) {
    CueRow r;
    r.text = QString::number(number);
    auto set = [&](int k, const QString& v) { r.at(k) = {StoredValue::text(v), v}; };
    set(kDescription, description);
    set(kWhen, QStringLiteral("0"));
    set(kAction, QStringLiteral("0"));
    set(kActionCue, QStringLiteral("0"));
    set(kFile, file);
    set(kVolume, QStringLiteral("0"));
    set(kRate, QStringLiteral("1"));
    set(kBeginOn, QStringLiteral("0"));
    set(kChannel, QStringLiteral("0"));
    set(kFadeSpeed, QStringLiteral("10"));
    set(kPlayCount, QStringLiteral("1"));
    set(kSelectionStart, QStringLiteral("0"));
    set(kSelectionEnd, QStringLiteral("0"));
    return r;
}

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

// A WAV of `bytes` bytes of silence whose data is a hole in the file, so that it takes no
// room on the disk until it is copied.
void WriteSparseWav(const QString& path, qint64 bytes) {
    QByteArray head = Wav(QByteArray(), 0);
    const quint32 dataSize = static_cast<quint32>(bytes - head.size());
    for (int i = 0; i < 4; ++i) {
        head[40 + i] = static_cast<char>((dataSize >> (8 * i)) & 0xFF);
        head[4 + i] = static_cast<char>(((dataSize + 36) >> (8 * i)) & 0xFF);
    }
    WriteFile(path, head);
    QVERIFY(::truncate(QFile::encodeName(path).constData(), bytes) == 0);
}

} // namespace

class ShowMediaTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    ShowFiles& files() { return form->showFiles(); }
    CueListModel& model() { return form->cues().model(); }
    QString path(const QString& rel) const { return tmp.filePath(rel); }
    QString fileOf(int row) { return model().row(row).at(kFile).value.toText(); }

    void setShow(std::vector<CueRow> rows) {
        model().setRows(std::move(rows));
        form->cues().SelectRow(model().count() ? 1 : 0);
        form->cues().ListView1_Click();
    }
    void save(const QString& file) {
        dialogs.queueFile(file);
        files().SaveShow();
    }
    // The history entries that start with `start` in the given colour.
    int entries(const QString& start, const QColor& colour) {
        int n = 0;
        for (const auto& e : form->status().history())
            if (e.text.startsWith(start) && e.colour == colour) ++n;
        return n;
    }
    // The content of the media a loaded cue names, found as playback finds it.
    QByteArray mediaOf(int row) {
        const QString f = fileOf(row);
        return ReadFile(
            f.startsWith(QLatin1Char('/')) ? f : ShowFolder + QStringLiteral("ShowFiles/") + f);
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        std::signal(SIGXFSZ, SIG_IGN); // a write past the size limit fails instead
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
    void cleanup() { form.reset(); }

    void windows1252NamesComeBackAndFindTheirMedia() {
        const QString wind = QStringLiteral("\u00c4\u2013Wind.mp3");
        WriteFile(path(QStringLiteral("Src/") + wind), Wav("wind"));
        setShow({PlayCue(1, QStringLiteral("CAF\u00c9\u2026"), path(QStringLiteral("Src/") + wind)),
                 PlayCue(2, QStringLiteral("\u00c2\u00a9 2024"), QStringLiteral("0"))});
        const QString show = path(QStringLiteral("W/show.cue"));
        save(show);
        QCOMPARE(fileOf(0), wind);
        const QByteArray bytes = ReadFile(show);
        QVERIFY(bytes.contains(",\xc3\x84\xe2\x80\x93Wind.mp3,"));
        QVERIFY(bytes.contains(",CAF\xc3\x89\xe2\x80\xa6,"));
        QVERIFY(bytes.contains(",\xc3\x82\xc2\xa9 2024,"));
        files().Command1_Click();
        files().LoadShow(show);
        QCOMPARE(model().count(), 2);
        QCOMPARE(model().row(0).at(kDescription).text, QStringLiteral("CAF\u00c9\u2026"));
        QCOMPARE(model().row(1).at(kDescription).text, QStringLiteral("\u00c2\u00a9 2024"));
        QCOMPARE(fileOf(0), wind);
        QVERIFY(FileExists(ShowFolder + QStringLiteral("ShowFiles/") + wind));
        QCOMPARE(mediaOf(0), Wav("wind"));
        // Saved again, byte for byte the same.
        save(path(QStringLiteral("W/again.cue")));
        QCOMPARE(ReadFile(path(QStringLiteral("W/again.cue"))), bytes);

        // Every character of the code page that a value can hold, alone in a show (so the
        // file is Windows-1252, one byte a character) and beside the names above.
        QString every;
        for (int b = 0x20; b < 256; ++b)
            if (b != ',') every += FromWindows1252(QByteArray(1, static_cast<char>(b)));
        for (const QString& second : {QStringLiteral("0"), wind}) {
            setShow(
                {PlayCue(1, every, QStringLiteral("0")), PlayCue(2, second, QStringLiteral("0"))});
            save(path(QStringLiteral("W/every.cue")));
            if (second == QStringLiteral("0"))
                QCOMPARE(ReadFile(path(QStringLiteral("W/every.cue"))).size(), every.size() + 61);
            files().LoadShow(path(QStringLiteral("W/every.cue")));
            QCOMPARE(model().row(0).at(kDescription).text, every);
            QCOMPARE(model().row(1).at(kDescription).text, second);
        }
    }

    void aSaveTakesNothingFromTheCurrentFolder() {
        const QByteArray intro = Wav("intro", 80000); // the gathered media
        WriteFile(path(QStringLiteral("Show/ShowFiles/intro.mp3")), intro);
        WriteFile(path(QStringLiteral("Show/show.cue")),
                  "1,Intro,0,0,0,intro.mp3,0,1,0,0,10,1,0,0,\r\n");
        WriteFile(path(QStringLiteral("Home/intro.mp3")), Wav("decoy", 8)); // a small decoy
        WriteFile(path(QStringLiteral("Home/other.wav")), Wav("other"));
        {
            InFolder home(path(QStringLiteral("Home")));
            files().LoadShow(QStringLiteral("../Show/show.cue"));
            QCOMPARE(ShowFolder, path(QStringLiteral("Show/")));
            save(path(QStringLiteral("Show/show.cue")));
            // A new show whose cue names a bare name that only the current folder holds.
            files().Command1_Click();
            ShowFolder = path(QStringLiteral("Empty/"));
            setShow({PlayCue(1, QStringLiteral("Other"), QStringLiteral("other.wav"))});
            save(path(QStringLiteral("New/show.cue")));
        }
        QCOMPARE(ReadFile(path(QStringLiteral("Show/ShowFiles/intro.mp3"))), intro);
        QCOMPARE(QDir(path(QStringLiteral("Show/ShowFiles"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("intro.mp3")});
        QCOMPARE(ReadFile(path(QStringLiteral("Show/show.cue"))),
                 QByteArray("1,Intro,0,0,0,intro.mp3,0,1,0,0,10,1,0,0,\r\n"));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("New/ShowFiles/other.wav"))));
        QCOMPARE(fileOf(0), QStringLiteral("other.wav"));
    }

    void twoShowsInOneFolderKeepTheirOwnMedia() {
        WriteFile(path(QStringLiteral("A/rain.wav")), Wav("rain of A"));
        WriteFile(path(QStringLiteral("B/rain.wav")), Wav("rain of B"));
        WriteFile(path(QStringLiteral("C/rain.wav")), Wav("rain of A")); // same as A's
        setShow({PlayCue(1, QStringLiteral("A"), path(QStringLiteral("A/rain.wav")))});
        save(path(QStringLiteral("Shared/a.cue")));
        setShow({PlayCue(1, QStringLiteral("B"), path(QStringLiteral("B/rain.wav"))),
                 PlayCue(2, QStringLiteral("C"), path(QStringLiteral("C/rain.wav")))});
        save(path(QStringLiteral("Shared/b.cue")));
        QCOMPARE(fileOf(0), QStringLiteral("rain (2).wav"));
        QCOMPARE(fileOf(1), QStringLiteral("rain.wav")); // the same content is reused
        // B saved again in place: nothing new.
        save(path(QStringLiteral("Shared/b.cue")));
        QCOMPARE(QDir(path(QStringLiteral("Shared/ShowFiles"))).entryList(QDir::Files).size(), 2);
        files().LoadShow(path(QStringLiteral("Shared/a.cue")));
        QCOMPARE(mediaOf(0), Wav("rain of A"));
        files().LoadShow(path(QStringLiteral("Shared/b.cue")));
        QCOMPARE(mediaOf(0), Wav("rain of B"));
        QCOMPARE(mediaOf(1), Wav("rain of A"));
    }

    void onlyMediaAreGathered() {
        const QColor red(255, 0, 0);
        WriteFile(path(QStringLiteral("Src/notes.txt")), "Act 1: rain, then thunder\n");
        WriteFile(path(QStringLiteral("Src/key.wav")), QByteArray(600, '\x01') + "KEY");
        WriteFile(path(QStringLiteral("Src/locked.wav")), Wav("locked"));
        WriteFile(path(QStringLiteral("Src/run.wav")), Wav("run"));
        QVERIFY(::chmod(QFile::encodeName(path(QStringLiteral("Src/locked.wav"))), 0) == 0);
        QVERIFY(::chmod(QFile::encodeName(path(QStringLiteral("Src/run.wav"))), 0750) == 0);
        const QStringList refused{
            path(QStringLiteral("Src/notes.txt")), QStringLiteral("/etc/passwd"),
            path(QStringLiteral("Src/key.wav")), path(QStringLiteral("Src/locked.wav"))};
        std::vector<CueRow> rows;
        for (const QString& f : refused)
            rows.push_back(PlayCue(static_cast<int>(rows.size()) + 1, QStringLiteral("x"), f));
        rows.push_back(PlayCue(5, QStringLiteral("Run"), path(QStringLiteral("Src/run.wav"))));
        setShow(rows);
        {
            NoReadOverride noOverride;
            save(path(QStringLiteral("Only/show.cue")));
        }
        for (int i = 0; i < refused.size(); ++i) {
            QCOMPARE(entries(QStringLiteral("Unable to copy media file ") + refused[i], red), 1);
            QCOMPARE(fileOf(i), refused[i]); // the cue keeps its path
        }
        QCOMPARE(entries(QStringLiteral("Unable to copy media file ") + refused[3] +
                             QStringLiteral(" - Permission denied"),
                         red),
                 1);
        QCOMPARE(entries(QStringLiteral("Unable to copy media file ") + refused[0] +
                             QStringLiteral(" - not a sound or video file"),
                         red),
                 1);
        QCOMPARE(QDir(path(QStringLiteral("Only/ShowFiles"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("run.wav")});
        QCOMPARE(fileOf(4), QStringLiteral("run.wav"));
        QVERIFY(::chmod(QFile::encodeName(path(QStringLiteral("Src/locked.wav"))), 0600) == 0);
        // A copy gets the permissions of a new file, not its source's.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(path(QStringLiteral("Only/ShowFiles/run.wav"))), &st) ==
                0);
        QCOMPARE(st.st_mode & 0777, 0666 & ~mask);
        QVERIFY(entries(QStringLiteral("Show Saved Successfully - show.cue"), QColor(0, 255, 0)) ==
                1);
    }

    void pipesAndDevicesNeverBlock() {
        const QString fifo = path(QStringLiteral("Pipe/show.cue"));
        QDir().mkpath(path(QStringLiteral("Pipe")));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!FileExists(fifo));
        QVERIFY(!FileExists(QStringLiteral("/dev/null")));
        QVERIFY(!FileExists(path(QStringLiteral("Pipe"))));
        QVERIFY(!FileExists(QString()));
        WriteFile(path(QStringLiteral("Pipe/empty.cue")), QByteArray());
        QVERIFY(FileExists(path(QStringLiteral("Pipe/empty.cue"))));
        // Named on the command line, the window comes up with an empty show.
        form.reset();
        form = std::make_unique<Form1>(QLatin1Char('"') + fifo + QLatin1Char('"'), dialogs);
        form->Show();
        QVERIFY(form->isVisible());
        QCOMPARE(model().count(), 0);
        // Chosen with Load Old, it is refused without being opened.
        dialogs.queueFile(fifo);
        files().Command7_Click();
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Message);
        // A media file that is a pipe is not gathered.
        setShow({PlayCue(1, QStringLiteral("Pipe"), fifo)});
        save(path(QStringLiteral("Pipe/saved.cue")));
        QCOMPARE(fileOf(0), fifo);
        QVERIFY(QDir(path(QStringLiteral("Pipe/ShowFiles"))).entryList(QDir::Files).isEmpty());
    }

    void cancelStopsACopyInProgress() {
        const QString big = path(QStringLiteral("Large/long.wav"));
        WriteSparseWav(big, 600LL * 1024 * 1024);
        setShow({PlayCue(1, QStringLiteral("Long"), big)});
        const QString partial = path(QStringLiteral("Cut/ShowFiles/.long.wav.sorvane-copy"));
        bool pressed = false;
        int ticks = 0;
        QTimer t;
        t.setInterval(1);
        connect(&t, &QTimer::timeout, [&] {
            ++ticks;
            if (pressed || !files().form3() || !QFileInfo::exists(partial)) return;
            pressed = true; // the copy is in progress, and events run meanwhile
            files().form3()->Command1->click();
        });
        t.start();
        save(path(QStringLiteral("Cut/show.cue")));
        t.stop();
        QVERIFY(pressed);
        QVERIFY(SaveCanceled);
        QVERIFY(!files().isSaving());
        QVERIFY(!QFileInfo::exists(partial));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("Cut/ShowFiles/long.wav"))));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("Cut/show.cue"))));
        QCOMPARE(fileOf(0), big);
        QVERIFY(ticks > 1);
    }

    void failuresSayTheirCause() {
        const QColor red(255, 0, 0);
        WriteFile(path(QStringLiteral("Src/a.wav")), Wav("a", 2000));
        WriteFile(path(QStringLiteral("Src/b.wav")), Wav("b", 2000));
        setShow({PlayCue(1, QStringLiteral("A"), path(QStringLiteral("Src/a.wav"))),
                 PlayCue(2, QStringLiteral("B"), path(QStringLiteral("Src/b.wav")))});
        // A full disk.
        {
            FileSizeLimit limit(100);
            save(path(QStringLiteral("Full/show.cue")));
        }
        QCOMPARE(entries(QStringLiteral("Show Not Saved - show.cue - The disk is full"), red), 1);
        QCOMPARE(entries(QStringLiteral("Unable to copy media file ") +
                             path(QStringLiteral("Src/a.wav - The disk is full")),
                         red),
                 1);
        QVERIFY(QDir(path(QStringLiteral("Full/ShowFiles")))
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
        // A media folder that cannot be made is said once, with its reason.
        WriteFile(path(QStringLiteral("Blocked/ShowFiles")), "a file in the way");
        save(path(QStringLiteral("Blocked/show.cue")));
        QCOMPARE(entries(QStringLiteral("Unable to create folder ") +
                             path(QStringLiteral("Blocked/ShowFiles - Not a directory")),
                         red),
                 1);
        QCOMPARE(entries(QStringLiteral("Unable to copy media file"), red), 2); // the two above
        QCOMPARE(fileOf(0), path(QStringLiteral("Src/a.wav")));
        QVERIFY(entries(QStringLiteral("Show Saved Successfully - show.cue"), QColor(0, 255, 0)) ==
                1);
    }

    void aPathThatIsNotUtf8Loads() {
        const QByteArray folder = QFile::encodeName(tmp.path());
        const QByteArray name = folder + "/show-\xff\xfe caf\xe9.cue";
        for (const QByteArray& b :
             {name, QByteArray("\xc3\x28\xe2\x82\xf0\x9f\x98\x80\xed\xa0\x80"),
              QByteArray("plain \xc3\xa9")})
            QCOMPARE(EncodeFileName(DecodeFileName(b)), b);
        // UTF-8 names are their ordinary text; stray, overlong, surrogate and cut sequences
        // are bytes of their own.
        QCOMPARE(DecodeFileName("caf\xc3\xa9 \xf0\x9f\x8e\xb5.wav"),
                 QStringLiteral("caf\u00e9 \U0001F3B5.wav"));
        QCOMPARE(DecodeFileName("a\xc0\x80\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82").size(), 12);
        QCOMPARE(DecodeFileName("\xff").at(0).unicode(), 0xDCFF);
        const QByteArray line = "1,Odd name,0,0,0,0,0,1,0,0,10,1,0,0,\r\n";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, line.constData(), line.size()), static_cast<ssize_t>(line.size()));
        ::close(fd);
        const QString decoded = DecodeFileName(name);
        QVERIFY(FileExists(decoded));
        form.reset();
        form = std::make_unique<Form1>(decoded, dialogs);
        form->Show();
        QCOMPARE(model().count(), 1);
        QCOMPARE(model().row(0).at(kDescription).text, QStringLiteral("Odd name"));
        QCOMPARE(ShowFilename, decoded);
        QCOMPARE(::unlink(name.constData()), 0); // a name the temporary folder cannot remove
    }

    // A description far longer than a text box shows: the panel shows its start, read only,
    // and the cue keeps it whole through the panel's writes, a save and a load.
    void aHugeDescriptionStaysWhole() {
        QString huge;
        for (int i = 0; i < 300000; ++i)
            huge += QChar(i % 97 == 0 ? ' ' : 'a' + i % 26);
        huge += QStringLiteral("THE END");
        const QString show = path(QStringLiteral("Huge/show.cue"));
        WriteFile(show, EncodeShowText(QStringLiteral("1,") + huge +
                                       QStringLiteral(",0,0,0,0,0,1,0,0,10,1,0,0,\r\n"
                                                      "2,Short,0,0,0,0,0,1,0,0,10,1,0,0,\r\n")));
        files().LoadShow(show);
        QCOMPARE(model().count(), 2);
        QLineEdit* box = form->cues().panel().txtDescription();
        QVERIFY(box->isReadOnly());
        QVERIFY(box->text().size() < huge.size());
        QVERIFY(huge.startsWith(box->text()));
        QCOMPARE(model().row(0).at(kDescription).value.toText(), huge);
        QCOMPARE(model().row(0).at(kDescription).text, huge);
        // The panel writes its other fields into the cue; the description stays whole.
        form->cues().panel().txtPlayCount()->setText(QStringLiteral("3"));
        QCOMPARE(model().row(0).at(kPlayCount).value.toText(), QStringLiteral("3"));
        QCOMPARE(model().row(0).at(kDescription).value.toText(), huge);
        save(path(QStringLiteral("Huge/again.cue")));
        files().LoadShow(path(QStringLiteral("Huge/again.cue")));
        QCOMPARE(model().row(0).at(kDescription).value.toText(), huge);
        // A short description makes the box an ordinary, editable one again.
        form->cues().SelectRow(2);
        form->cues().ListView1_Click();
        QVERIFY(!box->isReadOnly());
        QCOMPARE(box->text(), QStringLiteral("Short"));
        box->setText(QStringLiteral("Shorter"));
        QCOMPARE(model().row(1).at(kDescription).value.toText(), QStringLiteral("Shorter"));
    }

    // Saving over a show file replaces it whole, keeping its permissions and any link to it.
    void aSaveOverAShowKeepsItsLinkAndPermissions() {
        const QString real = path(QStringLiteral("Real/show.cue"));
        WriteFile(real, "1,Old,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        QVERIFY(::chmod(QFile::encodeName(real).constData(), 0640) == 0);
        QDir().mkpath(path(QStringLiteral("Linked")));
        const QString link = path(QStringLiteral("Linked/show.cue"));
        QVERIFY(QFile::link(real, link));
        setShow({PlayCue(1, QStringLiteral("New"), QStringLiteral("0"))});
        save(link);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadFile(real), QByteArray("1,New,0,0,0,0,0,1,0,0,10,1,0,0,\r\n"));
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(real).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0640u);
        QCOMPARE(QDir(path(QStringLiteral("Real"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("show.cue")});
    }

    void anyLineEndLoads() {
        const QColor yellow(255, 255, 0);
        const QByteArray cue1 = "1,One,0,0,0,0,0,1,0,0,10,1,0,0,";
        const QByteArray cue2 = "2,Two,1,0,0,0,0,1,0,0,10,1,0,0,";
        const QByteArray cue3 = "3,Three,1,0,0,0,0,1,0,0,10,1,0,0,";
        const QByteArray files3[] = {cue1 + "\n" + cue2 + "\n" + cue3 + "\n",
                                     cue1 + "\r" + cue2 + "\r" + cue3 + "\r" + "4,unended",
                                     cue1 + "\r\n" + cue2 + "\n" + cue3 + "\r"};
        for (const QByteArray& bytes : files3) {
            WriteFile(path(QStringLiteral("Ends/show.cue")), bytes);
            files().LoadShow(path(QStringLiteral("Ends/show.cue")));
            QCOMPARE(model().count(), 3);
            QCOMPARE(model().row(2).at(kDescription).text, QStringLiteral("Three"));
            save(path(QStringLiteral("Ends/saved.cue")));
            QCOMPARE(ReadFile(path(QStringLiteral("Ends/saved.cue"))),
                     cue1 + "\r\n" + cue2 + "\r\n" + cue3 + "\r\n");
        }
        QCOMPARE(entries(QStringLiteral("No Cues Found"), yellow), 0);
        // A file that holds something but no cue says so; an empty file is an empty show.
        WriteFile(path(QStringLiteral("Ends/none.cue")), "just one line without an end");
        files().LoadShow(path(QStringLiteral("Ends/none.cue")));
        QCOMPARE(model().count(), 0);
        QCOMPARE(entries(QStringLiteral("No Cues Found - none.cue"), yellow), 1);
        WriteFile(path(QStringLiteral("Ends/empty.cue")), QByteArray());
        files().LoadShow(path(QStringLiteral("Ends/empty.cue")));
        QCOMPARE(entries(QStringLiteral("No Cues Found"), yellow), 1);
        files().LoadShow(path(QStringLiteral("Ends/missing.cue")));
        QCOMPARE(entries(QStringLiteral("Show Not Loaded - missing.cue - No such file"), yellow),
                 1);
    }
};

QTEST_MAIN(ShowMediaTest)
#include "test_show_media.moc"
