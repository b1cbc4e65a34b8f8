#pragma once

// A private sound server for the playback benchmarks, and a listener at its sink.
//
// SoundServer starts a PulseAudio daemon of its own (a null sink "bench" as the default sink,
// more null sinks when asked, a native socket in a temporary folder) and points PULSE_SERVER
// at it, so the program's output plays into it; PULSE_SINK sends a client to another sink.
// SinkCapture reads the sink's monitor in 48-frame blocks on a thread of its own, stamps each block
// with the monotonic clock when it arrives, and keeps the last few minutes of the loudness of every
// frame, so that onsets, gaps and fades can be found where a listener would hear them.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QProcess;

namespace bench {

// Nanoseconds of the monotonic clock (CLOCK_MONOTONIC, the one steady_clock reads).
std::int64_t nowNs();

class SoundServer {
public:
    SoundServer();
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // Starts the daemon and waits until it answers; false (and `error()`) when it cannot.
    bool start(int rate = 48000, const QStringList& moreSinks = {});
    void stop();
    QString error() const { return error_; }
    // "unix:/tmp/.../native", also exported as PULSE_SERVER by start().
    QString serverString() const { return server_; }
    static QString monitorName(const QString& sink = QStringLiteral("bench")) {
        return sink + QStringLiteral(".monitor");
    }
    // The daemon's process id; 0 when it does not run.
    qint64 pid() const;

private:
    QTemporaryDir dir_;
    QProcess* process_ = nullptr;
    QString server_;
    QString error_;
};

class SinkCapture {
public:
    static constexpr int kRate = 48000;
    static constexpr int kBlock = 48;                    // frames per read
    static constexpr int kLoud = 64;                     // |sample| above this (of 32767) is sound
    static constexpr std::int64_t kKeep = 48000LL * 240; // frames of history kept

    explicit SinkCapture(const SoundServer& server, const QString& sink = QStringLiteral("bench"));
    ~SinkCapture();
    SinkCapture(const SinkCapture&) = delete;
    SinkCapture& operator=(const SinkCapture&) = delete;

    bool start();
    void stop();
    QString error() const;

    // Frames read so far; frame indices below count from the start of the capture.
    std::int64_t frames() const { return written_.load(std::memory_order_acquire); }
    // When frame `index` left the sink: the stamp of its block less the frames behind it.
    std::int64_t frameTimeNs(std::int64_t index) const;
    // The loudness of a frame: the larger of |left| and |right|, 0..32768.
    int level(std::int64_t index) const;
    // The left sample of a frame.
    int left(std::int64_t index) const;
    // The first frame at or after `from` that is sound, looking at frames read until
    // `deadlineNs` passes; -1 when none came.
    std::int64_t waitForSound(std::int64_t from, std::int64_t deadlineNs) const;
    // The first frame at or after `from` whose block arrived after `afterNs`.
    std::int64_t firstFrameAfter(std::int64_t afterNs) const;
    // Waits until the frames up to `index` have been read (or the deadline passes).
    bool waitForFrames(std::int64_t index, std::int64_t deadlineNs) const;
    // The longest run of silent frames in [from, to): its length in frames.
    std::int64_t longestSilence(std::int64_t from, std::int64_t to) const;
    // The last sounding frame before `to` at or after `from`; -1 when none.
    std::int64_t lastSound(std::int64_t from, std::int64_t to) const;
    // Peak level of the frames in [from, to).
    int peak(std::int64_t from, std::int64_t to) const;
    // Median spacing of the block stamps over the last `blocks` blocks, in ms.
    double blockSpacingMs(int blocks = 2000) const;

private:
    void run();

    const SoundServer& server_;
    QString sink_;
    std::vector<std::uint16_t> levels_; // ring of kKeep frames
    std::vector<std::int16_t> lefts_;   // ring of kKeep frames
    std::vector<std::int64_t> stamps_;  // ring of kKeep / kBlock block stamps
    std::atomic<std::int64_t> written_{0};
    std::atomic<bool> quit_{false};
    std::atomic<bool> ready_{false};
    std::atomic<bool> failed_{false};
    mutable std::mutex errorLock_;
    QString error_;
    std::thread thread_;
};

} // namespace bench
