#include "MediaGather.h"

#include "core/Module1.h"
#include "platform/engine/MediaSource.h"

#include <QAbstractEventDispatcher>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace sorvane {

namespace {

constexpr qsizetype kBlock = 1 << 20; // bytes per read of a copy or a comparison

// Closes a file descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    // Closes now; false (errno set) when the close reports a failed write.
    bool close() {
        const int f = fd;
        fd = -1;
        return f < 0 || ::close(f) == 0;
    }
};

int OpenRead(const QString& path) {
    return ::open(EncodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// Reads up to `size` bytes, going on after a short read; -1 on an error.
qsizetype ReadSome(int fd, char* buf, qsizetype size) {
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buf + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += n;
    }
    return done;
}

// Writes every byte, going on after a short write; false (errno set) at a failed write.
bool WriteAll(int fd, const char* buf, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, buf, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        buf += n;
        size -= n;
    }
    return true;
}

// Text, not media: the head of the file holds no control byte besides the white space.
bool LooksLikeText(const QByteArray& head) {
    for (char ch : head) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == '\t' || b == '\n' || b == '\r' || b == '\f' || b == 0x1B) continue;
        if (b < 0x20 || b == 0x7F) return false;
    }
    return true;
}

enum class Same { Yes, No, Canceled };

// Whether two regular files hold the same bytes.
Same SameContent(const QString& a, const QString& b, const std::atomic<bool>& cancel) {
    struct stat sa {
    }, sb{};
    if (::stat(EncodeFileName(a).constData(), &sa) != 0 ||
        ::stat(EncodeFileName(b).constData(), &sb) != 0)
        return Same::No;
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size) return Same::No;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) return Same::Yes;
    Fd fa(OpenRead(a)), fb(OpenRead(b));
    if (fa.fd < 0 || fb.fd < 0) return Same::No;
    std::vector<char> ba(kBlock), bb(kBlock);
    for (;;) {
        if (cancel.load(std::memory_order_relaxed)) return Same::Canceled;
        const qsizetype na = ReadSome(fa.fd, ba.data(), kBlock);
        const qsizetype nb = ReadSome(fb.fd, bb.data(), kBlock);
        if (na < 0 || nb < 0 || na != nb) return Same::No;
        if (na == 0) return Same::Yes;
        if (std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) != 0) return Same::No;
    }
}

// Copies `source` to `dest` through a partial file. The copy gets the permissions of a new
// file, not the source's.
GatherResult Copy(const QString& source, const QString& dest, const std::atomic<bool>& cancel) {
    GatherResult r;
    const QString partial =
        GetFolder(dest) + QLatin1Char('.') + GetFileName(dest) + QStringLiteral(".sorvane-copy");
    const QByteArray partialNative = EncodeFileName(partial);
    Fd in(OpenRead(source));
    if (in.fd < 0) {
        r.error = FileErrorText(errno);
        return r;
    }
    ::unlink(partialNative.constData());
    Fd out(::open(partialNative.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.fd < 0) {
        r.error = FileErrorText(errno);
        return r;
    }
    auto fail = [&](int error) {
        out.close();
        ::unlink(partialNative.constData());
        r.kind = GatherResult::Kind::Failed;
        r.error = FileErrorText(error);
        return r;
    };
    std::vector<char> buf(kBlock);
    for (;;) {
        if (cancel.load(std::memory_order_relaxed)) {
            out.close();
            ::unlink(partialNative.constData());
            r.kind = GatherResult::Kind::Canceled;
            return r;
        }
        const qsizetype n = ReadSome(in.fd, buf.data(), kBlock);
        if (n < 0) return fail(errno);
        if (n == 0) break;
        if (!WriteAll(out.fd, buf.data(), n)) return fail(errno);
    }
    if (::fsync(out.fd) != 0 && errno != EINVAL) return fail(errno);
    if (!out.close()) return fail(errno);
    if (::rename(partialNative.constData(), EncodeFileName(dest).constData()) != 0) {
        const int error = errno;
        ::unlink(partialNative.constData());
        r.error = FileErrorText(error);
        return r;
    }
    r.kind = GatherResult::Kind::Copied;
    return r;
}

} // namespace

QString FileErrorText(int error) {
    const QString cause = QString::fromLocal8Bit(std::strerror(error));
    if (error == ENOSPC || error == EDQUOT || error == EFBIG)
        return QStringLiteral("The disk is full (") + cause + QLatin1Char(')');
    return cause;
}

bool IsRegularFile(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(EncodeFileName(path).constData(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

QString CanonicalPath(const QString& path) {
    char buf[PATH_MAX];
    if (!::realpath(EncodeFileName(path).constData(), buf)) return path;
    return DecodeFileName(QByteArray(buf));
}

bool IsPlayableMedia(const QString& path, QString* why) {
    if (!IsRegularFile(path)) {
        *why = QStringLiteral("not a file");
        return false;
    }
    QByteArray head(4096, Qt::Uninitialized);
    {
        Fd fd(OpenRead(path));
        if (fd.fd < 0) {
            *why = FileErrorText(errno);
            return false;
        }
        const qsizetype n = ReadSome(fd.fd, head.data(), head.size());
        if (n < 0) {
            *why = FileErrorText(errno);
            return false;
        }
        head.truncate(n);
    }
    const QString notMedia = QStringLiteral("not a sound or video file");
    if (head.isEmpty() || LooksLikeText(head)) {
        *why = notMedia;
        return false;
    }
    engine::MediaProbe probe;
    const auto source =
        engine::MediaSource::open(EncodeFileName(path).toStdString(), nullptr, probe);
    if (source) {
        source->abandon();
        return true;
    }
    if (probe.hasVideo) return true;
    *why = notMedia;
    return false;
}

QString NumberedName(const QString& name, int n) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = QStringLiteral(" (%1)").arg(n);
    if (dot <= 0) return name + suffix;
    return name.left(dot) + suffix + name.mid(dot);
}

GatherResult GatherTask::run(const GatherJob& job, const std::atomic<bool>& cancel) {
    GatherResult r;
    QString why;
    if (!IsPlayableMedia(job.source, &why)) {
        r.kind = GatherResult::Kind::NotMedia;
        r.error = why;
        return r;
    }
    const QString canonical = CanonicalPath(job.source);
    for (int k = 1; k < 100000; ++k) {
        const QString name = k == 1 ? job.name : NumberedName(job.name, k);
        const auto owner = job.claimed.find(name);
        if (owner != job.claimed.end() && owner->second != canonical) continue;
        const QString dest = job.folder + PathSeparator + name;
        struct stat st {};
        if (::lstat(EncodeFileName(dest).constData(), &st) != 0) {
            r = Copy(job.source, dest, cancel);
            r.name = name;
            return r;
        }
        // A file of this name is there: the same content is used as it is; other content
        // belongs to another show, and the next free name is tried.
        switch (SameContent(job.source, dest, cancel)) {
        case Same::Yes:
            r.kind = GatherResult::Kind::Reused;
            r.name = name;
            return r;
        case Same::Canceled:
            r.kind = GatherResult::Kind::Canceled;
            return r;
        case Same::No:
            break;
        }
    }
    r.error = QStringLiteral("no free name in the media folder");
    return r;
}

std::shared_ptr<GatherTask> GatherTask::start(GatherJob job) {
    std::shared_ptr<GatherTask> task(new GatherTask);
    std::thread([task, job = std::move(job)] {
        // A copy in the background gives way to the window, the sound and the cues.
        (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        GatherResult r = run(job, task->cancel_);
        std::lock_guard lock(task->mutex_);
        task->result_ = std::move(r);
        task->done_ = true;
        if (task->wake_) task->wake_->wakeUp();
    }).detach();
    return task;
}

bool GatherTask::done() const {
    std::lock_guard lock(mutex_);
    return done_;
}

GatherResult GatherTask::result() const {
    std::lock_guard lock(mutex_);
    return result_;
}

void GatherTask::setWake(QAbstractEventDispatcher* dispatcher) {
    std::lock_guard lock(mutex_);
    wake_ = dispatcher;
    if (wake_ && done_) wake_->wakeUp();
}

bool WriteWholeFile(const QString& given, const QByteArray& bytes, QString* error) {
    // A link to a show file is kept: the file it leads to is replaced.
    QString path = given;
    struct stat link {};
    if (::lstat(EncodeFileName(given).constData(), &link) == 0 && S_ISLNK(link.st_mode))
        path = CanonicalPath(given);
    const QByteArray native = EncodeFileName(path);
    const QByteArray temp = EncodeFileName(GetFolder(path) + QLatin1Char('.') + GetFileName(path) +
                                           QStringLiteral(".sorvane-save"));
    struct stat old {};
    const bool hadFile = ::stat(native.constData(), &old) == 0;
    if (hadFile && S_ISDIR(old.st_mode)) {
        *error = FileErrorText(EISDIR);
        return false;
    }
    Fd out(::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.fd < 0) {
        *error = FileErrorText(errno);
        return false;
    }
    auto fail = [&](int e) {
        out.close();
        ::unlink(temp.constData());
        *error = FileErrorText(e);
        return false;
    };
    if (hadFile && S_ISREG(old.st_mode)) (void)::fchmod(out.fd, old.st_mode & 07777);
    if (!WriteAll(out.fd, bytes.constData(), bytes.size())) return fail(errno);
    if (::fsync(out.fd) != 0 && errno != EINVAL) return fail(errno);
    if (!out.close()) return fail(errno);
    if (::rename(temp.constData(), native.constData()) != 0) {
        const int e = errno;
        ::unlink(temp.constData());
        *error = FileErrorText(e);
        return false;
    }
    return true;
}

bool ReadWholeFile(const QString& path, qint64 limit, QByteArray* bytes, QString* error) {
    bytes->clear();
    struct stat st {};
    if (::stat(EncodeFileName(path).constData(), &st) != 0) {
        *error = FileErrorText(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = S_ISDIR(st.st_mode) ? FileErrorText(EISDIR) : QStringLiteral("not a file");
        return false;
    }
    if (st.st_size > limit) {
        *error = QStringLiteral("too large for a show file");
        return false;
    }
    Fd fd(OpenRead(path));
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = fd.fd < 0 ? FileErrorText(errno) : QStringLiteral("not a file");
        return false;
    }
    bytes->resize(static_cast<qsizetype>(st.st_size));
    const qsizetype n = ReadSome(fd.fd, bytes->data(), bytes->size());
    if (n < 0) {
        *error = FileErrorText(errno);
        bytes->clear();
        return false;
    }
    bytes->truncate(n);
    return true;
}

bool MakeFolder(const QString& path, QString* error) {
    const QByteArray native = EncodeFileName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        *error = FileErrorText(ENOTDIR);
        return false;
    }
    // A missing parent is made first.
    const qsizetype cut = path.lastIndexOf(PathSeparator);
    if (cut > 0 && ::stat(EncodeFileName(path.left(cut)).constData(), &st) != 0 &&
        !MakeFolder(path.left(cut), error))
        return false;
    if (::mkdir(native.constData(), 0777) == 0) return true;
    const int e = errno;
    if (e == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    *error = FileErrorText(e);
    return false;
}

} // namespace sorvane
