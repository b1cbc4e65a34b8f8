#include "SinkRig.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace bench {

std::int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

namespace {
void sleepUs(int us) {
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}
} // namespace

// --- the daemon ---------------------------------------------------------------------------

SoundServer::SoundServer() = default;

SoundServer::~SoundServer() {
    stop();
}

bool SoundServer::start(int rate, const QStringList& moreSinks) {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    const QString socket = dir_.filePath(QStringLiteral("native"));
    const QString config = dir_.filePath(QStringLiteral("daemon.pa"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        error_ = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    file.write(QStringLiteral("load-module module-native-protocol-unix auth-anonymous=1 "
                              "socket=%1\n"
                              "load-module module-null-sink sink_name=bench rate=%2 channels=2\n"
                              "set-default-sink bench\n")
                   .arg(socket)
                   .arg(rate)
                   .toUtf8());
    for (const QString& sink : moreSinks)
        file.write(QStringLiteral("load-module module-null-sink sink_name=%1 rate=%2 channels=2\n")
                       .arg(sink)
                       .arg(rate)
                       .toUtf8());
    file.close();

    process_ = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The daemon keeps its runtime and state files in our folder, not the user's.
    env.insert(QStringLiteral("HOME"), dir_.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.path());
    env.remove(QStringLiteral("PULSE_SERVER"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    process_->setProcessEnvironment(env);
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->setStandardOutputFile(QProcess::nullDevice());
    process_->start(QStringLiteral("pulseaudio"),
                    {QStringLiteral("--system=false"), QStringLiteral("-n"), QStringLiteral("-F"),
                     config, QStringLiteral("--exit-idle-time=-1"),
                     QStringLiteral("--daemonize=no"), QStringLiteral("--use-pid-file=false"),
                     QStringLiteral("--log-target=stderr"), QStringLiteral("--log-level=error")});
    if (!process_->waitForStarted(5000)) {
        error_ = QStringLiteral("pulseaudio does not start: %1").arg(process_->errorString());
        stop();
        return false;
    }
    const std::int64_t deadline = nowNs() + 10'000'000'000LL;
    while (!QFile::exists(socket)) {
        if (process_->state() != QProcess::Running || nowNs() > deadline) {
            error_ = QStringLiteral("pulseaudio did not open its socket");
            stop();
            return false;
        }
        sleepUs(5000);
    }
    server_ = QStringLiteral("unix:") + socket;
    qputenv("PULSE_SERVER", server_.toUtf8());
    return true;
}

qint64 SoundServer::pid() const {
    return process_ && process_->state() == QProcess::Running ? process_->processId() : 0;
}

void SoundServer::stop() {
    if (!process_) return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(2000);
        }
    }
    delete process_;
    process_ = nullptr;
}

// --- the listener -------------------------------------------------------------------------

SinkCapture::SinkCapture(const SoundServer& server, const QString& sink)
    : server_(server), sink_(sink) {
    levels_.assign(static_cast<std::size_t>(kKeep), 0);
    lefts_.assign(static_cast<std::size_t>(kKeep), 0);
    stamps_.assign(static_cast<std::size_t>(kKeep / kBlock), 0);
}

SinkCapture::~SinkCapture() {
    stop();
}

QString SinkCapture::error() const {
    std::lock_guard<std::mutex> lock(errorLock_);
    return error_;
}

bool SinkCapture::start() {
    quit_ = false;
    ready_ = false;
    failed_ = false;
    thread_ = std::thread([this] { run(); });
    const std::int64_t deadline = nowNs() + 5'000'000'000LL;
    while (!ready_ && !failed_ && nowNs() < deadline)
        sleepUs(1000);
    // The first blocks come while the stream settles; wait for a steady flow.
    if (ready_ && !failed_) {
        const std::int64_t want = frames() + kRate / 4;
        waitForFrames(want, nowNs() + 3'000'000'000LL);
    }
    if (!ready_ || failed_) {
        if (!failed_) {
            std::lock_guard<std::mutex> lock(errorLock_);
            error_ = QStringLiteral("the monitor stream does not deliver");
        }
        stop();
        return false;
    }
    return true;
}

void SinkCapture::stop() {
    quit_ = true;
    if (thread_.joinable()) thread_.join();
}

void SinkCapture::run() {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = kRate;
    spec.channels = 2;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = kBlock * 4;
    int err = 0;
    const QByteArray serverName = server_.serverString().toUtf8();
    const QByteArray device = SoundServer::monitorName(sink_).toUtf8();
    pa_simple* s = pa_simple_new(serverName.constData(), "sorvane-bench-listener", PA_STREAM_RECORD,
                                 device.constData(), "sink monitor", &spec, nullptr, &attr, &err);
    if (!s) {
        std::lock_guard<std::mutex> lock(errorLock_);
        error_ = QStringLiteral("cannot read the sink's monitor: %1")
                     .arg(QString::fromUtf8(pa_strerror(err)));
        failed_ = true;
        return;
    }
    // Stamps are only as good as the listener's wake-ups: ask for a high priority (allowed
    // to root; elsewhere the thread keeps its own).
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -20);
    ready_ = true;
    std::int16_t buf[kBlock * 2];
    while (!quit_) {
        if (pa_simple_read(s, buf, sizeof buf, &err) < 0) {
            std::lock_guard<std::mutex> lock(errorLock_);
            error_ =
                QStringLiteral("monitor read failed: %1").arg(QString::fromUtf8(pa_strerror(err)));
            failed_ = true;
            break;
        }
        const std::int64_t stamp = nowNs();
        const std::int64_t first = written_.load(std::memory_order_relaxed);
        for (int i = 0; i < kBlock; ++i) {
            const int l = std::abs(static_cast<int>(buf[2 * i]));
            const int r = std::abs(static_cast<int>(buf[2 * i + 1]));
            levels_[static_cast<std::size_t>((first + i) % kKeep)] =
                static_cast<std::uint16_t>(std::max(l, r));
            lefts_[static_cast<std::size_t>((first + i) % kKeep)] = buf[2 * i];
        }
        stamps_[static_cast<std::size_t>((first / kBlock) % (kKeep / kBlock))] = stamp;
        written_.store(first + kBlock, std::memory_order_release);
    }
    pa_simple_free(s);
}

std::int64_t SinkCapture::frameTimeNs(std::int64_t index) const {
    const std::int64_t block = index / kBlock;
    const std::int64_t behind = kBlock - 1 - index % kBlock;
    return stamps_[static_cast<std::size_t>(block % (kKeep / kBlock))] -
           behind * 1'000'000'000LL / kRate;
}

int SinkCapture::level(std::int64_t index) const {
    return levels_[static_cast<std::size_t>(index % kKeep)];
}

int SinkCapture::left(std::int64_t index) const {
    return lefts_[static_cast<std::size_t>(index % kKeep)];
}

std::int64_t SinkCapture::waitForSound(std::int64_t from, std::int64_t deadlineNs) const {
    std::int64_t i = std::max<std::int64_t>(from, frames() - kKeep + kBlock);
    for (;;) {
        const std::int64_t end = frames();
        for (; i < end; ++i)
            if (level(i) > kLoud) return i;
        if (nowNs() > deadlineNs || failed_) return -1;
        sleepUs(200);
    }
}

std::int64_t SinkCapture::firstFrameAfter(std::int64_t afterNs) const {
    const std::int64_t end = frames();
    std::int64_t block = end / kBlock - 1;
    const std::int64_t oldest = std::max<std::int64_t>(0, (end - kKeep) / kBlock + 1);
    if (block < oldest) return end;
    // Walk back to the first block that arrived after the moment.
    while (block > oldest &&
           stamps_[static_cast<std::size_t>((block - 1) % (kKeep / kBlock))] > afterNs)
        --block;
    if (stamps_[static_cast<std::size_t>(block % (kKeep / kBlock))] <= afterNs) return end;
    return block * kBlock;
}

bool SinkCapture::waitForFrames(std::int64_t index, std::int64_t deadlineNs) const {
    while (frames() < index) {
        if (nowNs() > deadlineNs || failed_) return false;
        sleepUs(500);
    }
    return true;
}

std::int64_t SinkCapture::longestSilence(std::int64_t from, std::int64_t to) const {
    std::int64_t best = 0, run = 0;
    for (std::int64_t i = from; i < to; ++i) {
        if (level(i) > kLoud) {
            run = 0;
        } else {
            best = std::max(best, ++run);
        }
    }
    return best;
}

std::int64_t SinkCapture::lastSound(std::int64_t from, std::int64_t to) const {
    for (std::int64_t i = to - 1; i >= from; --i)
        if (level(i) > kLoud) return i;
    return -1;
}

int SinkCapture::peak(std::int64_t from, std::int64_t to) const {
    int p = 0;
    for (std::int64_t i = from; i < to; ++i)
        p = std::max(p, level(i));
    return p;
}

double SinkCapture::blockSpacingMs(int blocks) const {
    const std::int64_t last = frames() / kBlock - 1;
    std::vector<double> gaps;
    for (std::int64_t b = std::max<std::int64_t>(1, last - blocks); b <= last; ++b)
        gaps.push_back((stamps_[static_cast<std::size_t>(b % (kKeep / kBlock))] -
                        stamps_[static_cast<std::size_t>((b - 1) % (kKeep / kBlock))]) /
                       1e6);
    if (gaps.empty()) return 0;
    std::sort(gaps.begin(), gaps.end());
    return gaps[gaps.size() / 2];
}

} // namespace bench
