#pragma once

// The file work of a save, done on the file system's own bytes (paths go through
// EncodeFileName): whether a file is media the player can take, the copy of a media file
// into the show's "ShowFiles" folder on a worker thread, and the show file's own write.
// Failures come back with their cause as text.

#include <QByteArray>
#include <QString>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

class QAbstractEventDispatcher;

namespace sorvane {

// The cause of a failed file operation for an errno value; a full disk (or a file larger
// than the system lets this process write) says so.
QString FileErrorText(int error);

// Whether `path` is a regular file (following links); nothing is opened.
bool IsRegularFile(const QString& path);
// The path with links and "." and ".." resolved, or the path itself when it cannot be.
QString CanonicalPath(const QString& path);

// Whether the player can take the file: it holds sound or pictures the engine can decode,
// and it is not text. `why` tells why not.
bool IsPlayableMedia(const QString& path, QString* why);

// "rain.wav" -> "rain (2).wav"
QString NumberedName(const QString& name, int n);

// One media file to gather.
struct GatherJob {
    QString source; // where the media is now
    QString folder; // the media folder, without a trailing separator
    QString name;   // the name the copy would like: the source's own
    // Names this save has given out, each to one source (canonical path).
    std::map<QString, QString> claimed;
};

struct GatherResult {
    enum class Kind { Copied, Reused, NotMedia, Failed, Canceled };
    Kind kind = Kind::Failed;
    QString name;  // the name in the media folder (Copied, Reused)
    QString error; // the cause (NotMedia, Failed)
};

// A gathering running on its own thread. The thread copies into a partial file beside the
// destination, renamed once complete, and removes the partial file when it fails or is
// cancelled. The task outlives whichever side lets go of it last.
class GatherTask {
public:
    // Starts the work on a new thread.
    static std::shared_ptr<GatherTask> start(GatherJob job);

    // Whether the work has ended; its result then.
    bool done() const;
    GatherResult result() const;
    // Asks the work to stop at its next check (at least once per megabyte copied).
    void cancel() { cancel_.store(true, std::memory_order_relaxed); }
    // The event dispatcher woken when the work ends (null: none).
    void setWake(QAbstractEventDispatcher* dispatcher);

    // The work itself, on the calling thread.
    static GatherResult run(const GatherJob& job, const std::atomic<bool>& cancel);

private:
    GatherTask() = default;

    mutable std::mutex mutex_;
    bool done_ = false;
    GatherResult result_;
    QAbstractEventDispatcher* wake_ = nullptr;
    std::atomic<bool> cancel_{false};
};

// Writes `bytes` as the file `path`: into a temporary file beside it, renamed over the old
// file only once everything is written, so that a failed write keeps the old file. An
// existing file's permissions are kept, and a link to it keeps leading to it. False, with
// the cause, when it fails.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error);

// Reads the regular file `path` whole, up to `limit` bytes. False, with the cause, when it is
// not a regular file, larger than the limit, or cannot be read.
bool ReadWholeFile(const QString& path, qint64 limit, QByteArray* bytes, QString* error);

// Creates the folder `path` and any missing parent. True when it exists as a folder now.
bool MakeFolder(const QString& path, QString* error);

} // namespace sorvane
