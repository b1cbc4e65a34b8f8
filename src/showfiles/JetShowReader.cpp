#include "JetShowReader.h"

#include "cuelist/CueWords.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <mdbtools.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sorvane {

namespace {

struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

template <typename T> T ReadLE(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return qFromLittleEndian(v);
}

// One column's value of the row just fetched, from the page bytes or the bound text.
StoredValue ColumnValue(MdbHandle* mdb, const MdbColumn* col, const QByteArray& bound,
                        int boundLen) {
    const int start = col->cur_value_start;
    const int len = col->cur_value_len;
    const bool inPage =
        start >= 0 && len > 0 && start + len <= static_cast<int>(sizeof mdb->pg_buf);
    const unsigned char* p = mdb->pg_buf + (inPage ? start : 0);
    switch (col->col_type) {
    case MDB_BOOL:
        if (boundLen <= 0) return StoredValue::text(QString());
        return StoredValue::int16(bound.startsWith('0') ? 0 : -1);
    case MDB_BYTE:
        if (!inPage || len < 1) break;
        return StoredValue::int16(p[0]);
    case MDB_INT:
        if (!inPage || len < 2) break;
        return StoredValue::int16(ReadLE<qint16>(p));
    case MDB_LONGINT:
        if (!inPage || len < 4) break;
        return StoredValue::int32(ReadLE<qint32>(p));
    case MDB_FLOAT: {
        if (!inPage || len < 4) break;
        const quint32 bits = ReadLE<quint32>(p);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return StoredValue::number(SingleValue(f));
    }
    case MDB_DOUBLE: {
        if (!inPage || len < 8) break;
        const quint64 bits = ReadLE<quint64>(p);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return StoredValue::number(d);
    }
    case MDB_MONEY:
        if (!inPage || len < 8) break;
        return StoredValue::number(static_cast<double>(ReadLE<qint64>(p)) / 10000.0);
    case MDB_NUMERIC: {
        if (boundLen <= 0) break;
        bool ok = false;
        const double d = QLocale::c().toDouble(QString::fromUtf8(bound.constData(), boundLen), &ok);
        if (ok) return StoredValue::number(d);
        break;
    }
    default:
        break;
    }
    if (boundLen <= 0) return StoredValue::text(QString()); // Null or empty
    return StoredValue::text(QString::fromUtf8(bound.constData(), boundLen));
}

QByteArray ReadHead(const QString& path, int n) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.read(n);
}

// Writes every byte to a descriptor.
bool WriteAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= n;
    }
    return true;
}

// Reads the child's answer (its size, then the bytes) within a time limit.
bool ReadChild(int fd, QByteArray* out) {
    constexpr qint64 kLimitMs = 30000;
    QElapsedTimer clock;
    clock.start();
    QByteArray buffer;
    quint64 expected = 0;
    bool haveSize = false;
    char chunk[65536];
    for (;;) {
        if (haveSize && static_cast<quint64>(buffer.size()) >= expected) break;
        const qint64 left = kLimitMs - clock.elapsed();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false; // the child ended before it answered in full
        buffer.append(chunk, n);
        if (!haveSize && buffer.size() >= static_cast<qsizetype>(sizeof expected)) {
            std::memcpy(&expected, buffer.constData(), sizeof expected);
            buffer.remove(0, sizeof expected);
            haveSize = true;
            if (expected > (quint64{1} << 32)) return false;
        }
    }
    *out = buffer;
    return true;
}

} // namespace

double SingleValue(float f) {
    // The shortest digits that give the same single back, read as a double.
    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, f);
    if (end.ec != std::errc()) return static_cast<double>(f);
    double d = 0;
    if (std::from_chars(digits, end.ptr, d).ec != std::errc()) return static_cast<double>(f);
    return d;
}

bool LooksLikeJetDatabase(const QString& path) {
    const QFileInfo fi(path);
    if (!fi.isFile() || fi.size() < 4096) return false;
    const QByteArray head = ReadHead(path, 20);
    return head.size() == 20 && head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) &&
           (head.mid(4, 16) == QByteArray("Standard Jet DB\0", 16) ||
            head.mid(4, 16) == QByteArray("Standard ACE DB\0", 16));
}

namespace {

JetShow ReadJetShowHere(const QString& path) {
    JetShow show;
    std::unique_ptr<MdbHandle, HandleCloser> mdb(
        mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb) return show;
    GPtrArray* catalog = mdb_read_catalog(mdb.get(), MDB_TABLE);
    if (!catalog) return show;

    show.status = JetShow::Status::NoCueTable;
    MdbCatalogEntry* entry = nullptr;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (e && e->object_type == MDB_TABLE &&
            QString::fromUtf8(e->object_name)
                    .compare(QStringLiteral("tblCueList"), Qt::CaseInsensitive) == 0) {
            entry = e;
            break;
        }
    }
    if (!entry) return show;
    std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
    if (!table) return show;
    if (!mdb_read_columns(table.get()) || !table->columns) return show;
    const int columns = static_cast<int>(table->num_cols);
    int cueNumberColumn = -1;
    for (int c = 0; c < columns; ++c) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
        if (QString::fromUtf8(col->name).compare(QStringLiteral("CueNumber"),
                                                 Qt::CaseInsensitive) == 0) {
            cueNumberColumn = c;
            break;
        }
    }
    if (cueNumberColumn < 0) return show;

    // Every column bound to a text buffer (texts, dates and the like are read from it).
    const size_t bindSize = mdb->bind_size > 0 ? mdb->bind_size : MDB_BIND_SIZE;
    std::vector<QByteArray> bound(static_cast<size_t>(columns),
                                  QByteArray(static_cast<qsizetype>(bindSize) + 1, '\0'));
    std::vector<int> boundLen(static_cast<size_t>(columns), 0);
    for (int c = 0; c < columns; ++c)
        mdb_bind_column(table.get(), c + 1, bound[static_cast<size_t>(c)].data(),
                        &boundLen[static_cast<size_t>(c)]);

    struct Keyed {
        std::optional<double> number;
        size_t order;
        CueRow row;
    };
    std::vector<Keyed> read;
    mdb_rewind_table(table.get());
    // A damaged table cannot make the reading run on without end.
    const size_t limit = static_cast<size_t>(table->num_rows) + 100000;
    while (read.size() < limit && mdb_fetch_row(table.get())) {
        Keyed k;
        k.order = read.size();
        auto value = [&](int c) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
            const int n =
                std::clamp(boundLen[static_cast<size_t>(c)], 0, static_cast<int>(bindSize));
            return ColumnValue(mdb.get(), col, bound[static_cast<size_t>(c)], n);
        };
        const StoredValue number = value(cueNumberColumn);
        k.number = number.isNumber() ? number.toNumber() : std::nullopt;
        k.row.text = number.toText();
        const int subs = std::clamp(columns - 2, 0, kSubItemCount);
        for (int s = 1; s <= subs; ++s) {
            const StoredValue v = value(s + 1);
            k.row.at(s).value = v;
            k.row.at(s).text = v.toText();
        }
        k.row.subCount = subs;
        if (subs >= kWhen) {
            const auto when = k.row.at(kWhen).value.toNumber();
            if (when && (*when == 0 || *when == 1 || *when == 2))
                k.row.at(kWhen).text = kWhenLoadedWords[static_cast<int>(*when)];
        }
        read.push_back(std::move(k));
    }
    std::stable_sort(read.begin(), read.end(), [](const Keyed& a, const Keyed& b) {
        if (!a.number || !b.number) return !a.number && b.number; // Null numbers first
        return *a.number < *b.number;
    });
    show.rows.reserve(read.size());
    for (auto& k : read)
        show.rows.push_back(std::move(k.row));
    show.status = JetShow::Status::Ok;
    return show;
}

} // namespace

QByteArray SerializeJetShow(const JetShow& show) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << static_cast<qint32>(show.status) << static_cast<quint32>(show.rows.size());
    for (const CueRow& r : show.rows) {
        out << r.text << static_cast<qint32>(r.subCount);
        for (int k = 1; k <= std::clamp(r.subCount, 0, kSubItemCount); ++k) {
            const StoredValue& v = r.at(k).value;
            out << static_cast<qint32>(v.kind());
            if (v.isNumber())
                out << *v.toNumber();
            else
                out << v.toText();
            out << r.at(k).text;
        }
    }
    return bytes;
}

std::optional<JetShow> DeserializeJetShow(const QByteArray& bytes) {
    QDataStream in(bytes);
    JetShow show;
    qint32 status = 0;
    quint32 count = 0;
    in >> status >> count;
    if (in.status() != QDataStream::Ok || status < 0 || status > 2) return std::nullopt;
    show.status = static_cast<JetShow::Status>(status);
    for (quint32 i = 0; i < count; ++i) {
        CueRow r;
        qint32 subs = 0;
        in >> r.text >> subs;
        if (in.status() != QDataStream::Ok || subs < 0 || subs > kSubItemCount) return std::nullopt;
        r.subCount = subs;
        for (int k = 1; k <= subs; ++k) {
            qint32 kind = 0;
            in >> kind;
            StoredValue v;
            switch (static_cast<StoredValue::Kind>(kind)) {
            case StoredValue::Kind::Int16:
            case StoredValue::Kind::Int32:
            case StoredValue::Kind::Double: {
                double d = 0;
                in >> d;
                v = kind == static_cast<qint32>(StoredValue::Kind::Int16)
                        ? StoredValue::int16(static_cast<qint16>(d))
                    : kind == static_cast<qint32>(StoredValue::Kind::Int32)
                        ? StoredValue::int32(static_cast<qint32>(d))
                        : StoredValue::number(d);
                break;
            }
            case StoredValue::Kind::Text: {
                QString t;
                in >> t;
                v = StoredValue::text(t);
                break;
            }
            default: {
                QString t;
                in >> t;
                break;
            }
            }
            r.at(k).value = v;
            in >> r.at(k).text;
        }
        if (in.status() != QDataStream::Ok) return std::nullopt;
        show.rows.push_back(std::move(r));
    }
    return show;
}

JetShow ReadJetShow(const QString& path) {
    if (!LooksLikeJetDatabase(path)) return {};
    // The database library is not hardened against damaged files: the file is read in a
    // child process, so that a file that crashes or stalls the reader costs only that
    // process, and the show on screen stays as it is.
    int fds[2];
    if (pipe(fds) != 0) return {};
    const QByteArray nativePath = QFile::encodeName(path);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return {};
    }
    if (pid == 0) {
        close(fds[0]);
        // The library's complaints about a damaged file are of no use to anyone here.
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) dup2(devNull, STDERR_FILENO);
        const QByteArray bytes = SerializeJetShow(ReadJetShowHere(QFile::decodeName(nativePath)));
        const quint64 size = static_cast<quint64>(bytes.size());
        bool ok = WriteAll(fds[1], reinterpret_cast<const char*>(&size), sizeof size) &&
                  WriteAll(fds[1], bytes.constData(), bytes.size());
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    QByteArray received;
    const bool complete = ReadChild(fds[0], &received);
    close(fds[0]);
    if (!complete) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return DeserializeJetShow(received).value_or(JetShow{});
}

} // namespace sorvane
