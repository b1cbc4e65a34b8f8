#include "ShowFiles.h"

#include "Form3.h"
#include "JetShowReader.h"
#include "MediaGather.h"
#include "ShowFileFormat.h"
#include "core/Module1.h"
#include "core/Shell.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueListModel.h"
#include "platform/Dialogs.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <map>

namespace sorvane {

namespace {

const QString kReady = QStringLiteral("Sorvane 1.0 Ready.     rev.2");
// A show file is a few hundred bytes per cue; anything far beyond is not one.
constexpr qint64 kMaxShowFileBytes = 256LL * 1024 * 1024;
// How long a cancelled save waits for a copy in progress to stop and remove its partial file.
constexpr qint64 kCancelGraceMs = 2000;

// The stored File value of a row as text, or nothing when the row has no File sub-item.
std::optional<QString> StoredFile(const CueListModel& model, int index) {
    if (index < 0 || index >= model.count()) return std::nullopt;
    const CueRow& row = model.row(index);
    if (row.subCount < kFile) return std::nullopt;
    return row.at(kFile).value.toText();
}

// The folder of a show file, as a full path with its trailing separator.
QString FolderOfShow(const QString& file) {
    return GetFolder(QFileInfo(file).absoluteFilePath());
}

} // namespace

ShowFiles::ShowFiles(Shell& shell, CueListEditor& cues, QObject* parent)
    : QObject(parent), shell_(shell), cues_(cues) {
    const Frame& f = shell_.frame();
    if (f.cmdLoadShow)
        connect(f.cmdLoadShow, &QPushButton::clicked, this, &ShowFiles::cmdLoadShow_Click);
    if (f.cmdSave) connect(f.cmdSave, &QPushButton::clicked, this, &ShowFiles::cmdSave_Click);
    if (f.Command1) connect(f.Command1, &QPushButton::clicked, this, &ShowFiles::Command1_Click);
    if (f.Command7) connect(f.Command7, &QPushButton::clicked, this, &ShowFiles::Command7_Click);
}

Form3* ShowFiles::form3() const {
    return form3_;
}

FileDialogRequest ShowFiles::CMDialog1() const {
    FileDialogRequest r;
    r.title = QStringLiteral("Open Show");
    r.filter = QStringLiteral("Sorvane Show (*.cue)|*.cue");
    r.defaultExt = QStringLiteral("cue");
    r.fileName = CMDialog1FileName;
    return r;
}

void ShowFiles::SetCommandsEnabled(bool enabled) {
    const Frame& f = shell_.frame();
    for (QPushButton* b : {f.cmdLoadShow, f.cmdSave, f.Command1, f.Command7})
        if (b) b->setEnabled(enabled);
}

// --- commands ----------------------------------------------------------------------------

void ShowFiles::LoadCommand(bool old) {
    if (saving_) return; // the show is being written; it is not replaced meanwhile
    const FileDialogResult r = shell_.dialogs().openFile(shell_.frame().form, CMDialog1());
    if (r.accepted) CMDialog1FileName = r.fileName;
    if (CMDialog1FileName.isEmpty()) {
        shell_.FocusGo();
        return;
    }
    if (!r.accepted) return; // cancelled: the focus stays on the button
    AutoShowProperties = false;
    if (old)
        LoadShow_Old(CMDialog1FileName);
    else
        LoadShow(CMDialog1FileName);
    shell_.FocusGo();
}

void ShowFiles::cmdLoadShow_Click() {
    LoadCommand(false);
}
void ShowFiles::Command7_Click() {
    LoadCommand(true);
}
void ShowFiles::cmdSave_Click() {
    SaveShow();
}

void ShowFiles::Command1_Click() {
    if (saving_) return;
    cues_.model().clear();
    cues_.UpdateListView();
    shell_.ClearStatusHistory();
    shell_.ShowStatus(kReady, 3);
    shell_.FocusGo();
}

// --- loading -----------------------------------------------------------------------------

void ShowFiles::FinishLoad() {
    cues_.SelectRow(cues_.model().count() > 0 ? 1 : 0);
    cues_.ListView1Tag = QStringLiteral("-1");
    cues_.ListView1_Click();
    shell_.FocusGo();
}

void ShowFiles::LoadShow(const QString& strFilename) {
    ShowFolder = FolderOfShow(strFilename);
    ShowFilename = strFilename;
    cues_.model().clear();
    QByteArray bytes;
    QString error;
    // Only a regular file is read: a pipe or a device could block or never end.
    const bool read = ReadWholeFile(strFilename, kMaxShowFileBytes, &bytes, &error);
    // Each form of the text is let go once the next is made: a huge show is held at most
    // twice at a time.
    const qsizetype size = bytes.size();
    QString text = DecodeShowBytes(bytes);
    bytes = QByteArray();
    std::vector<CueRow> rows = ParseShowText(text);
    text = QString();
    cues_.model().setRows(std::move(rows));
    FinishLoad();
    // Never an empty list without a word: the operator would take it for the show.
    if (!read)
        shell_.ShowStatus(QStringLiteral("Show Not Loaded - ") + TrimFilename(strFilename) +
                              QStringLiteral(" - ") + error,
                          1);
    else if (size > 0 && cues_.model().count() == 0)
        shell_.ShowStatus(QStringLiteral("No Cues Found - ") + TrimFilename(strFilename), 1);
}

void ShowFiles::LoadShow_Old(const QString& strFilename) {
    JetShow show = ReadJetShow(strFilename);
    if (show.status != JetShow::Status::Ok) {
        // Not a database, or one without a cue table: the show on screen stays as it is.
        shell_.dialogs().messageBox(
            shell_.frame().form, QStringLiteral("Unable to open file.  Unrecognized Data Format."),
            QStringLiteral("Error!"), MsgButtons::OK, MsgIcon::Critical);
        return;
    }
    ShowFolder = FolderOfShow(strFilename);
    ShowFilename = strFilename;
    cues_.model().clear();
    cues_.model().setRows(std::move(show.rows));
    FinishLoad();
}

// --- saving ------------------------------------------------------------------------------

void ShowFiles::SaveShow() {
    if (saving_) return;
    CMDialog1FileName = ShowFilename;
    const FileDialogResult chosen = shell_.dialogs().saveFile(shell_.frame().form, CMDialog1());
    if (!chosen.accepted || chosen.fileName.isEmpty()) {
        shell_.FocusGo();
        return;
    }
    CMDialog1FileName = chosen.fileName;
    const QString F = chosen.fileName;

    QPointer<ShowFiles> alive(this);
    saving_ = true;
    SetCommandsEnabled(false);
    CueListModel& model = cues_.model();

    // The File values this save gives its cues: written into the show file, and into the cues
    // only once the file is written and `ShowFolder` names its folder, so that every cue finds
    // its media at every moment of the save. A cue edited meanwhile keeps its new value.
    struct Rewrite {
        int index;
        QString before;
        QString after;
    };
    std::vector<Rewrite> rewrites;
    // The next row of the media pass, and the row whose media is being copied.
    int cursor = 0;
    int inHand = -1;
    // Cues may be added or removed while the save lets events run: the positions recorded
    // here follow their cues, so that no cue is passed over or given another cue's path.
    QObject follower;
    connect(&model, &QAbstractItemModel::rowsInserted, &follower,
            [&](const QModelIndex&, int first, int last) {
                const int count = last - first + 1;
                for (Rewrite& r : rewrites)
                    if (r.index >= first) r.index += count;
                if (cursor > first) cursor += count;
                if (inHand >= first) inHand += count;
            });
    connect(&model, &QAbstractItemModel::rowsRemoved, &follower,
            [&](const QModelIndex&, int first, int last) {
                const int count = last - first + 1;
                std::erase_if(rewrites, [&](const Rewrite& r) {
                    return r.index >= first && r.index <= last;
                });
                for (Rewrite& r : rewrites)
                    if (r.index > last) r.index -= count;
                if (cursor > last)
                    cursor -= count;
                else if (cursor > first)
                    cursor = first;
                if (inHand > last)
                    inHand -= count;
                else if (inHand >= first)
                    inHand = -1;
            });
    connect(&model, &QAbstractItemModel::modelReset, &follower, [&] {
        rewrites.clear();
        cursor = model.count();
        inHand = -1;
    });

    auto finish = [&](bool focusGo) {
        if (!alive) return;
        if (form3_) form3_->close();
        form3_ = nullptr;
        saving_ = false;
        SetCommandsEnabled(true);
        if (focusGo) shell_.FocusGo();
    };
    // A Cancel pressed at any time once the saving window exists counts.
    SaveCanceled = false;
    // 2. the saving window
    const int n = model.count();
    form3_ = new Form3(shell_.frame().form);
    form3_->Form_Load();
    if (!alive) return;
    if (form3_) {
        form3_->ProgressBar1->setValue(0);
        if (n > 0) form3_->ProgressBar1->setMaximum(n);
    }
    // 3.
    const QString mediaFolder = GetFolder(F) + QStringLiteral("ShowFiles");
    // 4. a moment for the operator to see the window
    if (shell_.frame().form) shell_.frame().form->show();
    Wait(savePause);
    if (!alive) return;
    if (SaveCanceled) {
        finish(false);
        return;
    }
    if (form3_) form3_->show();
    // 5. A folder that cannot be made is said once, with its cause; no copy is tried then.
    QString folderError;
    const bool folderOk = MakeFolder(mediaFolder, &folderError);
    if (!folderOk)
        shell_.ShowStatus(QStringLiteral("Unable to create folder ") + mediaFolder +
                              QStringLiteral(" - ") + folderError,
                          2);

    // Names in the media folder that this save gives out: each name to one source file.
    // Media that already live in the media folder keep their own names.
    std::map<QString, QString> claimed; // name -> canonical source
    const QString mediaCanonical = CanonicalPath(mediaFolder);
    for (int i = 0; folderOk && i < model.count(); ++i) {
        const auto stored = StoredFile(model, i);
        if (!stored) continue;
        const QString source = FindMediaFile(*stored);
        if (source.isEmpty()) continue;
        const QString c = CanonicalPath(source);
        if (GetFolder(c) == mediaCanonical + PathSeparator) claimed.emplace(GetFileName(c), c);
    }

    // What this save did with each media file, by its canonical path.
    std::map<QString, GatherResult> gathered;
    // The claimed names a copy under `name` may run into: the name and its numbered forms.
    auto ClaimsOn = [&](const QString& name) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString stem = (dot <= 0 ? name : name.left(dot)) + QStringLiteral(" (");
        std::map<QString, QString> some;
        if (const auto it = claimed.find(name); it != claimed.end()) some.insert(*it);
        for (auto it = claimed.lower_bound(stem); it != claimed.end() && it->first.startsWith(stem);
             ++it)
            some.insert(*it);
        return some;
    };

    // 6. media pass, over the cues as they stand
    while (cursor < model.count()) {
        QCoreApplication::processEvents();
        if (!alive) return;
        if (cursor >= model.count()) break;
        inHand = cursor;
        cursor = inHand + 1;
        const auto stored = StoredFile(model, inHand);
        const QString source = stored ? FindMediaFile(*stored) : QString();
        if (!source.isEmpty()) {
            const QString canonical = CanonicalPath(source);
            GatherResult got;
            if (const auto done = gathered.find(canonical); done != gathered.end()) {
                got = done->second; // a file that several cues name is handled once
            } else if (folderOk) {
                got = AwaitGather(GatherTask::start(
                    {source, mediaFolder, GetFileName(source), ClaimsOn(GetFileName(source))}));
                if (!alive) return;
                if (got.kind == GatherResult::Kind::Canceled) {
                    finish(false);
                    return;
                }
                gathered[canonical] = got;
            }
            // The cue may have gone while the copy ran.
            const bool present = inHand >= 0;
            if (got.kind == GatherResult::Kind::Copied || got.kind == GatherResult::Kind::Reused) {
                claimed[got.name] = canonical;
                if (present && *stored != got.name) rewrites.push_back({inHand, *stored, got.name});
            } else {
                // A bare name leads to the media only under the old show's folder: the cue
                // gets the full path, which still leads to it after this save.
                if (present && *stored != source) rewrites.push_back({inHand, *stored, source});
                if (folderOk)
                    shell_.ShowStatus(QStringLiteral("Unable to copy media file ") + source +
                                          QStringLiteral(" - ") + got.error,
                                      2);
            }
        } else if (stored && !stored->isEmpty() && *stored != QLatin1String("0")) {
            // Playback would not find it either: the operator learns it now, not in the show.
            shell_.ShowStatus(QStringLiteral("Unable to find media file ") + *stored, 2);
        }
        if (form3_)
            form3_->ProgressBar1->setValue(std::min(cursor, form3_->ProgressBar1->maximum()));
        if (SaveCanceled) {
            finish(false);
            return;
        }
    }

    // 7. write pass: a step per cue in which events run, then the file from the cues as they
    // stand, so that a cue added or removed meanwhile is neither lost nor written twice; the
    // old file is replaced only when the new one is written whole.
    for (int i = 0; i < model.count(); ++i) {
        QCoreApplication::processEvents();
        if (!alive) return;
        if (form3_)
            form3_->ProgressBar1->setValue(std::min(i + 1, form3_->ProgressBar1->maximum()));
        if (SaveCanceled) {
            finish(false);
            return;
        }
    }
    QString text;
    text.reserve(static_cast<qsizetype>(model.count()) * 80);
    std::map<int, QString> newFile; // row -> File, for the cues that still hold their old value
    for (const Rewrite& r : rewrites)
        if (StoredFile(model, r.index) == r.before) newFile[r.index] = r.after;
    for (int i = 0; i < model.count(); ++i) {
        if (const auto it = newFile.find(i); it != newFile.end()) {
            CueRow row = model.row(i);
            row.at(kFile).value = StoredValue::text(it->second);
            text += CueLine(row);
        } else {
            text += CueLine(model.row(i));
        }
        text += QStringLiteral("\r\n");
    }
    const QByteArray bytes = EncodeShowText(text);
    QString error;
    if (!WriteWholeFile(F, bytes, &error)) {
        shell_.ShowStatus(QStringLiteral("Show Not Saved - ") + TrimFilename(F) +
                              QStringLiteral(" - ") + error,
                          2);
        finish(true);
        return;
    }
    // 8 - 10: the folder and the cues' new values together, with no event between
    ShowFolder = FolderOfShow(F);
    for (const auto& [i, after] : newFile)
        model.setSubValue(i, kFile, StoredValue::text(after));
    shell_.ShowStatus(QStringLiteral("Show Saved Successfully - ") + TrimFilename(F), 0);
    finish(true);
}

GatherResult ShowFiles::AwaitGather(const std::shared_ptr<GatherTask>& task) {
    QPointer<ShowFiles> alive(this);
    // The worker wakes this thread's event loop when it ends; the hook is gone before the
    // wait returns, whatever ran inside it.
    struct Hook {
        const std::shared_ptr<GatherTask>& task;
        ~Hook() { task->setWake(nullptr); }
    } hook{task};
    task->setWake(QAbstractEventDispatcher::instance());
    QElapsedTimer sinceCancel;
    GatherResult canceled;
    canceled.kind = GatherResult::Kind::Canceled;
    while (!task->done()) {
        if (!alive) {
            task->cancel();
            return canceled;
        }
        if (SaveCanceled && !sinceCancel.isValid()) {
            task->cancel(); // the worker stops and removes its partial file
            sinceCancel.start();
        }
        // A worker stuck in a read (a stalled disk) is left to finish on its own.
        if (sinceCancel.isValid() && sinceCancel.elapsed() > kCancelGraceMs) return canceled;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (task->done()) break;
        QTimer tick; // ends the sleep below at the latest
        tick.setSingleShot(true);
        tick.start(50);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return task->result();
}

} // namespace sorvane
