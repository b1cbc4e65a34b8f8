#include "AudioEngine.h"

#include "DecodePool.h"
#include "EngineTypes.h"
#include "MediaSource.h"
#include "PlayerCore.h"
#include "PulseOutput.h"
#include "Resampler.h"

#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <SDL2/SDL.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace sorvane {

using namespace engine;

namespace {
constexpr int kOverflow = 256; // notices kept while the queue is full

void sdlCallback(void* engine, Uint8* stream, int len) {
    static_cast<AudioEngine*>(engine)->renderRealtime(reinterpret_cast<float*>(stream),
                                                      len / static_cast<int>(2 * sizeof(float)));
}
} // namespace

struct AudioEngine::Slot {
    Voice voice;
    PlayerCore* owner = nullptr;
    bool inUse = false;
    std::uint64_t releaseSeq = 0;
};

// The resampling filters, one per range of read steps, made on the control thread when a player
// first needs one and kept while the engine lives; the audio thread only reads them.
struct AudioEngine::Kernels {
    std::unique_ptr<ResampleKernel> owned[ResampleKernel::kIndices];
    std::atomic<const ResampleKernel*> ready[ResampleKernel::kIndices] = {};
};

// Paces rendering in real time when no device, not even SDL's dummy one, could be opened.
struct AudioEngine::Pacer {
    std::atomic<bool> quit{false};
    std::thread thread;
};

AudioEngine::AudioEngine(QObject* parent) : AudioEngine(Options{}, parent) {}

AudioEngine::AudioEngine(const Options& options, QObject* parent)
    : QObject(parent), options_(options) {
    // Damaged media is expected and handled; the decoders need not describe it on stderr.
    av_log_set_level(AV_LOG_FATAL);
    sampleRate_ = options.sampleRate > 0 ? options.sampleRate : 48000;
    periodFrames_ = options.periodFrames > 0 ? options.periodFrames : 256;
    commands_ = std::make_unique<CommandQueue>();
    notices_ = std::make_unique<NoticeQueue>();
    pool_ = std::make_unique<DecodePool>(options.decodeThreads);
    slots_.reserve(kMaxVoices);
    for (int i = 0; i < kMaxVoices; ++i) {
        auto slot = std::make_unique<Slot>();
        slot->voice.index = i;
        slots_.push_back(std::move(slot));
    }
    overflow_.resize(kOverflow);

    if (options.output == Output::Offline)
        outputName_ = QStringLiteral("offline");
    else
        openDevice();
    prepareMixing();

    noticeBell_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (noticeBell_ >= 0) {
        bellListener_ = new QSocketNotifier(noticeBell_, QSocketNotifier::Read, this);
        connect(bellListener_, &QSocketNotifier::activated, this, [this] {
            eventfd_t rings = 0;
            eventfd_read(noticeBell_, &rings);
            deliverEvents();
        });
    } else {
        deliverTimer_ = new QTimer(this);
        deliverTimer_->setInterval(5);
        connect(deliverTimer_, &QTimer::timeout, this, &AudioEngine::deliverEvents);
        deliverTimer_->start();
    }

    if (pulse_) pulse_->start();
    if (sdlDevice_) SDL_PauseAudioDevice(sdlDevice_, 0);
    if (pacer_) {
        pacer_->thread = std::thread([this] {
            std::vector<float> scratch(static_cast<std::size_t>(periodFrames_) * 2);
            const auto period =
                std::chrono::nanoseconds(1000000000LL * periodFrames_ / sampleRate_);
            auto next = std::chrono::steady_clock::now();
            while (!pacer_->quit.load()) {
                renderRealtime(scratch.data(), periodFrames_);
                next += period;
                std::this_thread::sleep_until(next);
            }
        });
    }
}

AudioEngine::~AudioEngine() {
    // A player that outlives the engine is emptied and let go, so that it never reaches
    // back into the engine.
    for (const auto& slot : slots_)
        if (slot->inUse && slot->owner) {
            std::fprintf(stderr, "Sorvane: a media player outlived the sound engine.\n");
            slot->owner->detachEngine();
        }
    closeDevice();
    delete bellListener_;
    if (noticeBell_ >= 0) ::close(noticeBell_);
    pool_.reset(); // the workers end before the sources and the epoch they read
    audioHeld_.clear();
}

void AudioEngine::openDevice() {
    auto tryOpen = [this]() -> bool {
        SDL_AudioSpec want{};
        SDL_AudioSpec have{};
        want.freq = options_.sampleRate > 0 ? options_.sampleRate : 48000;
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = static_cast<Uint16>(std::clamp(options_.periodFrames, 64, 8192));
        want.callback = sdlCallback;
        want.userdata = this;
        sdlDevice_ =
            SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
        if (!sdlDevice_) return false;
        sampleRate_ = have.freq;
        periodFrames_ = have.samples;
        const char* driver = SDL_GetCurrentAudioDriver();
        outputName_ = QString::fromUtf8(driver ? driver : "sdl");
        return true;
    };
    QString why;
    // A PulseAudio server is played to directly, unless SDL is told to use another driver.
    const QByteArray driver = qgetenv("SDL_AUDIODRIVER");
    if (options_.pulseStream && (driver.isEmpty() || driver == "pulseaudio" || driver == "pulse")) {
        engine::PulseOutput::Settings settings;
        settings.rate = options_.sampleRate > 0 ? options_.sampleRate : 48000;
        settings.queueMs = std::clamp(options_.pulseQueueMs, 10, 250);
        settings.refillMs = std::max(2, settings.queueMs / 4);
        settings.startAheadMs = std::clamp(options_.pulseStartAheadMs, 0, settings.queueMs);
        settings.realtime = options_.realtimeThread;
        settings.startInQueue = options_.pulseStartInQueue;
        pulse_ = engine::PulseOutput::open(*this, settings, why);
        if (pulse_) {
            sampleRate_ = settings.rate;
            periodFrames_ = settings.rate * settings.refillMs / 1000;
            outputName_ = QStringLiteral("pulse");
            return;
        }
    }
    // SDL would otherwise catch SIGINT and SIGTERM and turn them into quit events nobody
    // reads, so the program could not be ended by a signal.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        sdlSubsystem_ = true;
        if (tryOpen()) return;
    }
    why = QString::fromUtf8(SDL_GetError());
    if (sdlSubsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sdlSubsystem_ = false;
    }
    if (SDL_AudioInit("dummy") == 0) {
        sdlAudioInitByName_ = true;
        if (tryOpen()) {
            std::fprintf(stderr,
                         "Sorvane: no sound device could be opened (%s); playing through SDL's "
                         "dummy driver, without sound.\n",
                         why.toLocal8Bit().constData());
            return;
        }
    }
    std::fprintf(stderr,
                 "Sorvane: no sound device could be opened (%s), not even SDL's dummy driver; "
                 "playing without sound.\n",
                 why.toLocal8Bit().constData());
    outputName_ = QStringLiteral("none");
    pacer_ = std::make_unique<Pacer>();
}

void AudioEngine::closeDevice() {
    pulse_.reset();
    if (sdlDevice_) {
        SDL_CloseAudioDevice(sdlDevice_);
        sdlDevice_ = 0;
    }
    if (sdlAudioInitByName_) {
        SDL_AudioQuit();
        sdlAudioInitByName_ = false;
    }
    if (sdlSubsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sdlSubsystem_ = false;
    }
    if (pacer_) {
        pacer_->quit = true;
        if (pacer_->thread.joinable()) pacer_->thread.join();
        pacer_.reset();
    }
}

// --- control side -------------------------------------------------------------------------

int AudioEngine::acquireVoice(PlayerCore* owner) {
    for (const auto& slot : slots_) {
        if (slot->inUse || appliedSeq() < slot->releaseSeq) continue;
        Voice& v = slot->voice;
        v.volume = 0;
        v.mute = false;
        v.rate = 1.0;
        v.playCount = 1;
        v.selStart = 0;
        v.selEnd = 0;
        v.position = 0;
        if (!v.resampler) { // storage the audio thread will use, made here once
            v.resampler = std::make_unique<Resampler>();
            v.tail = std::make_unique<float[]>(2 * static_cast<std::size_t>(rampFrames_));
        }
        slot->inUse = true;
        slot->owner = owner;
        return v.index;
    }
    return -1;
}

void AudioEngine::releaseVoice(int index) {
    if (index < 0 || index >= kMaxVoices) return;
    Slot& slot = *slots_[index];
    slot.releaseSeq = send(CmdUnload, index, nullptr, 0);
    slot.inUse = false;
    slot.owner = nullptr;
}

void AudioEngine::prepareMixing() {
    // Raised-cosine shapes: the transport's fades of about 5 ms, and the Volume and Mute
    // ramps of 10 ms.
    rampFrames_ = std::max(16, sampleRate_ / 200);
    gainRampFrames_ = std::max(32, sampleRate_ / 100);
    auto shape = [](double x) { return static_cast<float>((1 - std::cos(M_PI * x)) / 2); };
    rampShape_.resize(static_cast<std::size_t>(rampFrames_));
    for (int i = 0; i < rampFrames_; ++i)
        rampShape_[i] = shape((i + 1.0) / (rampFrames_ + 1));
    gainShape_.resize(static_cast<std::size_t>(gainRampFrames_));
    for (int i = 0; i < gainRampFrames_; ++i)
        gainShape_[i] = shape((i + 1.0) / gainRampFrames_);
    mixBlock_.assign(static_cast<std::size_t>(std::max(512, rampFrames_)) * 2, 0.0f);
    pullBlock_.assign(static_cast<std::size_t>(4096) * 2, 0.0f);
    kernels_ = std::make_unique<Kernels>();
    prepareKernel(1.0);
}

void AudioEngine::prepareKernel(double step) {
    const int index = ResampleKernel::indexFor(step);
    if (kernels_->owned[index]) return;
    kernels_->owned[index] = std::make_unique<ResampleKernel>(index, sampleRate_);
    kernels_->ready[index].store(kernels_->owned[index].get(), std::memory_order_release);
}

const ResampleKernel& AudioEngine::kernelFor(double step) const {
    // A step whose filter is not made yet (it always is, by the player) takes the nearest one
    // made, that of the next larger step first.
    const int index = ResampleKernel::indexFor(step);
    for (int d = 0; d < ResampleKernel::kIndices; ++d)
        for (int i : {index + d, index - d})
            if (i > 0 && i < ResampleKernel::kIndices)
                if (const ResampleKernel* k = kernels_->ready[i].load(std::memory_order_acquire))
                    return *k;
    return *kernels_->ready[ResampleKernel::indexFor(1.0)].load(std::memory_order_acquire);
}

Voice& AudioEngine::voice(int index) {
    return slots_[index]->voice;
}

void AudioEngine::holdForAudio(std::shared_ptr<MediaSource> source) {
    MediaSource* key = source.get();
    audioHeld_[key] = std::move(source);
}

std::uint64_t AudioEngine::send(int type, int voiceIndex, MediaSource* source, std::int64_t frame) {
    Command c;
    c.type = static_cast<std::uint8_t>(type);
    c.voice = static_cast<std::uint16_t>(voiceIndex);
    c.source = source;
    c.frame = frame;
    c.seq = ++nextSeq_;
    // The queue only fills when the audio thread has stopped taking commands; give it a
    // moment before giving up on the command.
    for (int tries = 0; !commands_->push(c); ++tries) {
        if (tries >= 200) {
            std::fprintf(stderr, "Sorvane: the sound engine is not taking commands.\n");
            return c.seq;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (pulse_) pulse_->kick();
    return c.seq;
}

void AudioEngine::deliverEvents() {
    // Through a long queue the audio thread renders an end well before it is heard; the
    // player learns of it when the listener has heard it (a cue after the completion of
    // another must not sound over its end).
    const std::int64_t heard =
        pulse_ ? pulse_->heardFrame() : std::numeric_limits<std::int64_t>::max();
    Notice n;
    while (notices_->pop(n)) {
        if (n.type == NoticeRetired) {
            audioHeld_.erase(n.source);
            continue;
        }
        if (!late_.empty() || n.heardAt > heard)
            late_.push_back(n);
        else
            deliverEnd(n);
    }
    std::size_t done = 0;
    while (done < late_.size() && late_[done].heardAt <= heard)
        deliverEnd(late_[done++]);
    late_.erase(late_.begin(), late_.begin() + static_cast<std::ptrdiff_t>(done));
    if (late_.empty()) return;
    if (!lateTimer_) {
        lateTimer_ = new QTimer(this);
        lateTimer_->setSingleShot(true);
        lateTimer_->setTimerType(Qt::PreciseTimer);
        connect(lateTimer_, &QTimer::timeout, this, &AudioEngine::deliverEvents);
    }
    const std::int64_t ahead = late_.front().heardAt - heard;
    lateTimer_->start(
        static_cast<int>(std::min<std::int64_t>(1000, ahead * 1000 / sampleRate_ + 1)));
}

void AudioEngine::deliverEnd(const Notice& n) {
    if (n.voice >= kMaxVoices) return;
    Slot& slot = *slots_[n.voice];
    if (slot.inUse && slot.owner) slot.owner->onEnded(n.seq);
}

// --- audio side ---------------------------------------------------------------------------

void AudioEngine::renderOffline(float* out, int frames) {
    render(out, frames, true);
    if (QThread::currentThread() == thread()) deliverEvents();
}

void AudioEngine::renderRealtime(float* out, int frames) {
    render(out, frames, false);
}

void AudioEngine::postNotice(const Notice& notice) {
    Notice n = notice;
    n.heardAt = noticeFrame_;
    if (notices_->push(n)) {
        rang_ = true;
        return;
    }
    if (overflowCount_ < kOverflow) overflow_[overflowCount_++] = n;
}

void AudioEngine::render(float* out, int frames, bool waitForData) {
    renderEpoch_.fetch_add(1, std::memory_order_seq_cst);
    // Notices the full queue refused go first, in their order.
    int kept = 0;
    for (int i = 0; i < overflowCount_; ++i) {
        if (notices_->push(overflow_[i]))
            rang_ = true;
        else
            overflow_[kept++] = overflow_[i];
    }
    overflowCount_ = kept;

    waiting_ = waitForData;
    noticeFrame_ = outputFrames_ + std::max(frames, 0);
    applyCommands();
    std::memset(out, 0, sizeof(float) * 2 * static_cast<std::size_t>(std::max(frames, 0)));
    for (const auto& slot : slots_) {
        Voice& v = slot->voice;
        if (v.tailPos < v.tailFrames && frames > 0) mixTail(v, out, frames);
        if (!v.source) continue;
        if (v.playing && frames > 0) renderVoice(v, out, frames, waitForData);
        v.source->setCursor(v.pos);
        v.position.store(shownPosition(v), std::memory_order_relaxed);
    }
    keepUnheard();
    outputFrames_ += std::max(frames, 0);
    renderEpoch_.fetch_add(1, std::memory_order_seq_cst);
    // One short write that never blocks, and only after a pass that had news.
    if (rang_ && noticeBell_ >= 0) eventfd_write(noticeBell_, 1);
    rang_ = false;
}

int AudioEngine::applyPending() {
    renderEpoch_.fetch_add(1, std::memory_order_seq_cst);
    waiting_ = false;
    noticeFrame_ = outputFrames_;
    applyCommands();
    renderEpoch_.fetch_add(1, std::memory_order_seq_cst);
    if (rang_ && noticeBell_ >= 0) eventfd_write(noticeBell_, 1);
    rang_ = false;
    return startedCount_;
}

void AudioEngine::keepUnheard() {
    int kept = 0;
    for (int i = 0; i < startedCount_; ++i) {
        const Voice& v = slots_[started_[i]]->voice;
        if (!v.source || !v.playing || v.resampler->readFrame() != startedAt_[i]) continue;
        started_[kept] = started_[i];
        startedSince_[kept] = startedSince_[i];
        startedAt_[kept++] = startedAt_[i];
    }
    startedCount_ = kept;
}

int AudioEngine::decodedFrames(const Voice& v, int frames) const {
    // The source frames that many output frames read, with the filter's reach and the rate's
    // glide; a stretch that ends on the way goes on from its start (a loop) or ends.
    const double step = std::max({v.step, v.stepTo, 1.0});
    const std::int64_t reach = 256;
    const std::int64_t need = static_cast<std::int64_t>(std::ceil(frames * step)) + reach;
    const std::int64_t end = std::min(v.actEnd, v.source->length());
    std::int64_t have = 0;
    std::int64_t at = v.pos;
    for (int pass = 0; pass < 2 && have < need; ++pass) {
        while (have < need && at < end) {
            if (!v.source->chunk(at / kChunkFrames)) {
                const double playable = static_cast<double>(have - reach) / step;
                return static_cast<int>(std::clamp(playable, 0.0, static_cast<double>(frames)));
            }
            const std::int64_t next = (at / kChunkFrames + 1) * kChunkFrames;
            have += std::min(next, end) - at;
            at = std::min(next, end);
        }
        at = v.actStart;
    }
    return frames;
}

int AudioEngine::renderStarted(float* mix, int frames) {
    int rendered = 0;
    renderEpoch_.fetch_add(1, std::memory_order_seq_cst);
    const std::int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int i = 0; i < startedCount_; ++i) {
        Voice& v = slots_[started_[i]]->voice;
        if (!v.source || !v.playing) continue;
        // A voice sounds from where its decoded frames carry it without a break to the end
        // of the stretch: at once when they reach that far, else it waits a moment for more
        // before it starts later in the stretch.
        const int n = decodedFrames(v, frames);
        if (n <= 0 || (n < frames && now - startedSince_[i] < kPatienceNs)) continue;
        renderVoice(v, mix + 2 * static_cast<std::ptrdiff_t>(frames - n), n, false);
        ++rendered;
        v.source->setCursor(v.pos);
        v.position.store(shownPosition(v), std::memory_order_relaxed);
    }
    keepUnheard();
    renderEpoch_.fetch_add(1, std::memory_order_seq_cst);
    if (rang_ && noticeBell_ >= 0) eventfd_write(noticeBell_, 1);
    rang_ = false;
    return rendered;
}

QString AudioEngine::serverName() const {
    return pulse_ ? pulse_->serverName() : QString();
}

bool AudioEngine::startsInQueue() const {
    return pulse_ && pulse_->startsInQueue();
}

int AudioEngine::outputUnderruns() const {
    return pulse_ ? pulse_->underruns() : 0;
}

bool AudioEngine::realtimeOutput() const {
    return pulse_ && pulse_->realtimeGranted();
}

void AudioEngine::applyCommands() {
    Command c;
    std::uint64_t applied = 0;
    while (commands_->pop(c)) {
        applied = c.seq;
        if (c.voice >= kMaxVoices) continue;
        Voice& v = slots_[c.voice]->voice;
        switch (c.type) {
        case CmdLoad:
        case CmdUnload:
            cutOff(v); // the old sound fades out from where it stands
            if (v.source) postNotice(Notice{NoticeRetired, c.voice, v.source, c.seq});
            v.source = c.type == CmdLoad ? c.source : nullptr;
            v.playing = false;
            v.pos = 0;
            v.passes = 0;
            break;
        case CmdPlay:
            v.runSeq = c.seq;
            if (!v.source) break;
            if (v.playing) break; // a running sound goes on
            if (c.frame >= 1) v.passes = 0;
            startPlaying(v);
            if (v.playing && std::find(started_, started_ + startedCount_, c.voice) ==
                                 started_ + startedCount_) {
                startedAt_[startedCount_] = v.resampler->readFrame();
                startedSince_[startedCount_] =
                    std::chrono::steady_clock::now().time_since_epoch().count();
                started_[startedCount_++] = c.voice;
            }
            break;
        case CmdPause:
        case CmdStop: {
            if (!v.source) break;
            const std::int64_t here = shownPosition(v);
            cutOff(v);
            if (c.type == CmdStop) {
                adoptSelection(v);
                v.pos = v.actStart;
                v.passes = 0;
            } else {
                v.pos = here;
            }
            v.playing = false;
            break;
        }
        case CmdSeek: {
            if (!v.source) break;
            const std::int64_t target = std::clamp<std::int64_t>(c.frame, 0, v.source->length());
            v.passes = 0;
            adoptSelection(v);
            const bool wasPlaying = v.playing;
            cutOff(v);
            v.pos = target;
            if (wasPlaying) startPlaying(v); // fades in at the new place
            break;
        }
        default:
            break;
        }
    }
    if (applied) appliedSeq_.store(applied, std::memory_order_release);
}

} // namespace sorvane
