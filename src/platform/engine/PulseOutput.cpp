#include "PulseOutput.h"

#include "AudioEngine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <pthread.h>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace sorvane::engine {

namespace {
constexpr std::size_t kFrameBytes = 2 * sizeof(float);

std::uint32_t bytesFor(int ms, int rate) {
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(ms) * rate / 1000 * kFrameBytes);
}
} // namespace

PulseOutput::PulseOutput(AudioEngine& engine, const Settings& settings)
    : engine_(engine), settings_(settings) {
    history_.assign(static_cast<std::size_t>(kHistory) * 2, 0.0f);
    scratch_.assign(static_cast<std::size_t>(kHistory) * 2, 0.0f);
}

std::unique_ptr<PulseOutput> PulseOutput::open(AudioEngine& engine, const Settings& settings,
                                               QString& why) {
    std::unique_ptr<PulseOutput> out(new PulseOutput(engine, settings));
    if (!out->connect(why)) return nullptr;
    return out;
}

PulseOutput::~PulseOutput() {
    quit_ = true;
    kick();
    if (thread_.joinable()) thread_.join();
    if (stream_) {
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (kickEvent_) pa_mainloop_get_api(loop_)->io_free(kickEvent_);
    if (retryEvent_) pa_mainloop_get_api(loop_)->time_free(retryEvent_);
    if (loop_) pa_mainloop_free(loop_);
    if (kickFd_ >= 0) ::close(kickFd_);
}

bool PulseOutput::iterateUntil(const std::function<bool()>& done, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && !failed_) {
        if (std::chrono::steady_clock::now() > until) return false;
        // Waits at most 10 ms for the server, so that the deadline holds.
        pa_mainloop_prepare(loop_, 10000);
        pa_mainloop_poll(loop_);
        pa_mainloop_dispatch(loop_);
    }
    return done() && !failed_;
}

bool PulseOutput::connect(QString& why) {
    kickFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    loop_ = pa_mainloop_new();
    if (kickFd_ < 0 || !loop_) {
        why = QStringLiteral("no main loop");
        return false;
    }
    pa_mainloop_api* api = pa_mainloop_get_api(loop_);
    kickEvent_ = api->io_new(
        api, kickFd_, PA_IO_EVENT_INPUT,
        [](pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* self) {
            static_cast<PulseOutput*>(self)->onKick(fd);
        },
        this);
    context_ = pa_context_new(api, "Sorvane");
    if (!context_) {
        why = QStringLiteral("no context");
        return false;
    }
    pa_context_set_state_callback(context_, &PulseOutput::onContextState, this);
    retryEvent_ = pa_context_rttime_new(
        context_, PA_USEC_INVALID,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
            static_cast<PulseOutput*>(self)->startNewSounds();
        },
        this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        why = QString::fromUtf8(pa_strerror(pa_context_errno(context_)));
        return false;
    }
    if (!iterateUntil([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; },
                      3000)) {
        why = QStringLiteral("no PulseAudio server: %1")
                  .arg(QString::fromUtf8(pa_strerror(pa_context_errno(context_))));
        return false;
    }

    // The server's name: PipeWire's server cannot re-render what its graph has taken.
    bool named = false;
    struct Ask {
        PulseOutput* self;
        bool* done;
    } ask{this, &named};
    pa_operation* op = pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* a = static_cast<Ask*>(data);
            if (info)
                a->self->serverName_ = QStringLiteral("%1 %2").arg(
                    QString::fromUtf8(info->server_name), QString::fromUtf8(info->server_version));
            *a->done = true;
        },
        &ask);
    if (op) {
        iterateUntil([&] { return named; }, 2000);
        pa_operation_unref(op);
    }
    sinkRewinds_ = !serverName_.contains(QLatin1String("PipeWire"), Qt::CaseInsensitive);

    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32NE;
    spec.rate = static_cast<std::uint32_t>(settings_.rate);
    spec.channels = 2;
    stream_ = pa_stream_new(context_, "Sorvane", &spec, nullptr);
    if (!stream_) {
        why = QString::fromUtf8(pa_strerror(pa_context_errno(context_)));
        return false;
    }
    pa_stream_set_state_callback(stream_, &PulseOutput::onStreamState, this);
    pa_stream_set_write_callback(stream_, &PulseOutput::onWritable, this);
    pa_stream_set_underflow_callback(
        stream_, [](pa_stream*, void* self) { ++static_cast<PulseOutput*>(self)->underruns_; },
        this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = bytesFor(settings_.queueMs, settings_.rate);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = bytesFor(settings_.refillMs, settings_.rate);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        why = QString::fromUtf8(pa_strerror(pa_context_errno(context_)));
        return false;
    }
    if (!iterateUntil([this] { return pa_stream_get_state(stream_) == PA_STREAM_READY; }, 3000)) {
        why = QStringLiteral("the stream does not open: %1")
                  .arg(QString::fromUtf8(pa_strerror(pa_context_errno(context_))));
        return false;
    }
    rewrites_ = settings_.startInQueue && probeRewrite();
    return !failed_;
}

// Writes a stretch of silence again over itself, then asks the server where the end of the
// queue stands: a server that honours the seek has it where this client has it.
bool PulseOutput::probeRewrite() {
    const int back = 240;
    std::fill(scratch_.begin(), scratch_.begin() + 2 * back, 0.0f);
    if (pa_stream_write(stream_, scratch_.data(), back * kFrameBytes, nullptr,
                        -static_cast<std::int64_t>(back * kFrameBytes), PA_SEEK_RELATIVE) < 0)
        return false;
    bool done = false;
    pa_operation* op = pa_stream_update_timing_info(
        stream_, [](pa_stream*, int, void* d) { *static_cast<bool*>(d) = true; }, &done);
    if (!op) return false;
    const bool answered = iterateUntil([&] { return done; }, 2000);
    pa_operation_unref(op);
    const pa_timing_info* t = pa_stream_get_timing_info(stream_);
    return answered && t && !t->write_index_corrupt &&
           t->write_index == static_cast<std::int64_t>(written_ * kFrameBytes);
}

void PulseOutput::start() {
    rendering_ = true;
    firstRendered_ = written_;
    thread_ = std::thread([this] { run(); });
    if (settings_.realtime) {
        // Above every ordinary process, below the sound server's own threads.
        sched_param p{};
        p.sched_priority = 5;
        realtime_ = pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &p) == 0;
    }
}

void PulseOutput::kick() {
    if (kickFd_ >= 0) eventfd_write(kickFd_, 1);
}

void PulseOutput::run() {
    while (!quit_ && !failed_)
        if (pa_mainloop_iterate(loop_, 1, nullptr) < 0) break;
    if (!quit_) {
        std::fprintf(stderr, "Sorvane: the sound server went away; playing on without sound.\n");
        pace();
    }
}

// Without a server the players still run in real time, silently.
void PulseOutput::pace() {
    const int frames = settings_.refillMs * settings_.rate / 1000;
    const auto period = std::chrono::nanoseconds(1000000LL * settings_.refillMs);
    auto next = std::chrono::steady_clock::now();
    while (!quit_) {
        engine_.renderRealtime(scratch_.data(), std::min(frames, kHistory));
        next += period;
        std::this_thread::sleep_until(next);
    }
}

void PulseOutput::remember(const float* frames, std::int64_t at, int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t k = static_cast<std::size_t>((at + i) & (kHistory - 1)) * 2;
        history_[k] = frames[2 * i];
        history_[k + 1] = frames[2 * i + 1];
    }
}

void PulseOutput::write(std::size_t bytes) {
    // Rendered in short pieces, so that an end of playback is placed to within a piece;
    // written at once, so that the server has one block to take per request.
    while (bytes >= kFrameBytes) {
        const int frames = static_cast<int>(std::min<std::size_t>(bytes / kFrameBytes, kWrite));
        for (int done = 0; done < frames; done += kPiece) {
            const int n = std::min(kPiece, frames - done);
            float* at = scratch_.data() + 2 * static_cast<std::ptrdiff_t>(done);
            if (rendering_)
                engine_.renderRealtime(at, n);
            else
                std::fill(at, at + 2 * n, 0.0f);
        }
        if (pa_stream_write(stream_, scratch_.data(), frames * kFrameBytes, nullptr, 0,
                            PA_SEEK_RELATIVE) < 0)
            return;
        remember(scratch_.data(), written_, frames);
        written_ += frames;
        bytes -= frames * kFrameBytes;
    }
    notePlayed();
}

// Voices that have just begun are mixed into the queue from a little ahead of the sink's play
// position, over what was written there, and that stretch is written again.
void PulseOutput::startNewSounds() {
    if (engine_.applyPending() == 0) return;
    pa_usec_t latency = 0;
    int negative = 0;
    const pa_timing_info* t = pa_stream_get_timing_info(stream_);
    if (!rewrites_ || !t || pa_stream_get_latency(stream_, &latency, &negative) < 0 || negative) {
        engine_.forgetStarted();
        return;
    }
    std::int64_t ahead = static_cast<std::int64_t>(latency);
    // What the sink holds can only be taken back where the server re-renders it.
    if (!sinkRewinds_) ahead -= static_cast<std::int64_t>(t->sink_usec + t->transport_usec);
    std::int64_t back = ahead * settings_.rate / 1000000 -
                        static_cast<std::int64_t>(settings_.startAheadMs) * settings_.rate / 1000;
    back = std::min<std::int64_t>({back, written_, kHistory});
    if (back <= 0) {
        engine_.forgetStarted();
        return;
    }
    const std::int64_t from = written_ - back;
    for (std::int64_t i = 0; i < back; ++i) {
        const std::size_t k = static_cast<std::size_t>((from + i) & (kHistory - 1)) * 2;
        scratch_[2 * i] = history_[k];
        scratch_[2 * i + 1] = history_[k + 1];
    }
    const int mixed = engine_.renderStarted(scratch_.data(), static_cast<int>(back));
    // A voice whose first frames are not decoded yet is tried again in a moment.
    if (engine_.waitingToStart() > 0)
        pa_context_rttime_restart(context_, retryEvent_, pa_rtclock_now() + kRetryUs);
    if (mixed == 0) return;
    const std::size_t bytes = static_cast<std::size_t>(back) * kFrameBytes;
    if (pa_stream_write(stream_, scratch_.data(), bytes, nullptr, -static_cast<std::int64_t>(bytes),
                        PA_SEEK_RELATIVE) == 0)
        remember(scratch_.data(), from, static_cast<int>(back));
}

void PulseOutput::notePlayed() {
    pa_usec_t latency = 0;
    int negative = 0;
    if (!rendering_ || pa_stream_get_latency(stream_, &latency, &negative) < 0) return;
    const std::int64_t queued =
        negative ? 0 : static_cast<std::int64_t>(latency) * settings_.rate / 1000000;
    playedStamp_.store(std::chrono::steady_clock::now().time_since_epoch().count());
    playedFrame_.store(written_ - queued - firstRendered_);
}

std::int64_t PulseOutput::heardFrame() const {
    const std::int64_t played = playedFrame_.load();
    if (played < 0 || failed_) return std::numeric_limits<std::int64_t>::max();
    const std::int64_t since =
        std::chrono::steady_clock::now().time_since_epoch().count() - playedStamp_.load();
    return played + since * settings_.rate / 1000000000;
}

void PulseOutput::onContextState(pa_context* c, void* self) {
    auto* o = static_cast<PulseOutput*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c))) o->failed_ = true;
}

void PulseOutput::onStreamState(pa_stream* s, void* self) {
    auto* o = static_cast<PulseOutput*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) o->failed_ = true;
}

void PulseOutput::onWritable(pa_stream*, std::size_t bytes, void* self) {
    static_cast<PulseOutput*>(self)->write(bytes);
}

void PulseOutput::onKick(int fd) {
    eventfd_t n = 0;
    eventfd_read(fd, &n);
    if (quit_ || !rendering_) return;
    startNewSounds();
}

} // namespace sorvane::engine
