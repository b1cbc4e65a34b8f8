#include "AudioEngine.h"

#include "DecodePool.h"
#include "EngineTypes.h"
#include "MediaSource.h"
#include "PlayerCore.h"

#include <QThread>
#include <QTimer>
#include <SDL2/SDL.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <samplerate.h>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

namespace sorvane {

namespace {
// Forgets what the voice's resampler and reader hold, so that the next pass reads afresh
// from the voice's position.
void ResetReader(engine::Voice& v) {
    src_reset(v.resampler);
    v.resampling = false;
    v.inCount = 0;
    v.inputEnded = false;
    v.drained = false;
    v.wrapFrom = -1;
    v.sinceWrap = 0;
}
} // namespace

using namespace engine;

namespace {
constexpr int kBlock = 512;    // output frames mixed per step
constexpr int kInCap = 8192;   // resampler input frames held per voice
constexpr int kOverflow = 256; // notices kept while the queue is full
constexpr int kWaitMs = 10000; // offline: longest wait for one chunk

float gainFor(int volume, bool mute) {
    if (mute || volume <= -4000) return 0.0f;
    return static_cast<float>(std::pow(10.0, std::min(volume, 0) / 2000.0));
}

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
        int error = 0;
        slot->voice.resampler = src_new(SRC_LINEAR, 2, &error);
        slot->voice.in.assign(static_cast<std::size_t>(kInCap) * 2, 0.0f);
        slots_.push_back(std::move(slot));
    }
    mixBlock_.assign(static_cast<std::size_t>(kBlock) * 2, 0.0f);
    overflow_.resize(kOverflow);

    if (options.output == Output::Offline)
        outputName_ = QStringLiteral("offline");
    else
        openDevice();
    rampFrames_ = std::max(16, sampleRate_ * 3 / 1000);

    deliverTimer_ = new QTimer(this);
    deliverTimer_->setInterval(5);
    connect(deliverTimer_, &QTimer::timeout, this, &AudioEngine::deliverEvents);
    deliverTimer_->start();

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
    pool_.reset(); // the workers end before the sources and the epoch they read
    audioHeld_.clear();
    for (const auto& slot : slots_)
        src_delete(slot->voice.resampler);
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
    return c.seq;
}

void AudioEngine::deliverEvents() {
    Notice n;
    while (notices_->pop(n)) {
        if (n.type == NoticeRetired) {
            audioHeld_.erase(n.source);
            continue;
        }
        if (n.voice >= kMaxVoices) continue;
        Slot& slot = *slots_[n.voice];
        if (slot.inUse && slot.owner) slot.owner->onEnded(n.seq);
    }
}

// --- audio side ---------------------------------------------------------------------------

void AudioEngine::renderOffline(float* out, int frames) {
    render(out, frames, true);
    if (QThread::currentThread() == thread()) deliverEvents();
}

void AudioEngine::renderRealtime(float* out, int frames) {
    render(out, frames, false);
}

void AudioEngine::postNotice(const Notice& n) {
    if (notices_->push(n)) return;
    if (overflowCount_ < kOverflow) overflow_[overflowCount_++] = n;
}

void AudioEngine::render(float* out, int frames, bool waitForData) {
    renderEpoch_.fetch_add(1, std::memory_order_seq_cst);
    // Notices the full queue refused go first, in their order.
    int kept = 0;
    for (int i = 0; i < overflowCount_; ++i)
        if (!notices_->push(overflow_[i])) overflow_[kept++] = overflow_[i];
    overflowCount_ = kept;

    applyCommands();
    std::memset(out, 0, sizeof(float) * 2 * static_cast<std::size_t>(std::max(frames, 0)));
    for (const auto& slot : slots_) {
        Voice& v = slot->voice;
        if (!v.source) continue;
        if (v.playing && frames > 0) renderVoice(v, out, frames, waitForData);
        v.source->setCursor(v.pos);
        std::int64_t shown = v.pos;
        if (v.playing && v.resampling) {
            shown = v.pos - v.inCount;
            if (v.wrapFrom >= 0 && v.inCount > v.sinceWrap)
                shown = v.wrapFrom - (v.inCount - v.sinceWrap);
        }
        v.position.store(std::max<std::int64_t>(0, shown), std::memory_order_relaxed);
    }
    renderEpoch_.fetch_add(1, std::memory_order_seq_cst);
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
            if (v.source) postNotice(Notice{NoticeRetired, c.voice, v.source, c.seq});
            v.source = c.type == CmdLoad ? c.source : nullptr;
            v.playing = false;
            v.fading = false;
            v.pos = 0;
            v.passes = 0;
            ResetReader(v);
            break;
        case CmdPlay:
            v.runSeq = c.seq;
            if (!v.source) break;
            if (v.playing && !v.fading) break;
            if (v.fading) { // a pause or stop still fading out: it is over now
                v.playing = false;
                v.fading = false;
                v.pos = v.resumePos;
            }
            if (c.frame >= 1) v.passes = 0;
            ResetReader(v);
            startPlaying(v);
            break;
        case CmdPause:
        case CmdStop: {
            if (!v.source) break;
            std::int64_t target;
            if (c.type == CmdStop) {
                adoptSelection(v);
                target = v.actStart;
                v.passes = 0;
            } else {
                target = v.fading ? v.resumePos
                                  : (v.resampling ? std::max<std::int64_t>(0, v.pos - v.inCount)
                                                  : v.pos);
            }
            if (v.playing) {
                v.fading = true;
                v.resumePos = target;
            } else {
                v.pos = target;
                ResetReader(v);
            }
            break;
        }
        case CmdSeek: {
            if (!v.source) break;
            const std::int64_t target = std::clamp<std::int64_t>(c.frame, 0, v.source->length());
            v.passes = 0;
            adoptSelection(v);
            if (v.fading) {
                v.resumePos = target;
            } else {
                v.pos = target;
                ResetReader(v);
            }
            break;
        }
        default:
            break;
        }
    }
    if (applied) appliedSeq_.store(applied, std::memory_order_release);
}

void AudioEngine::adoptSelection(Voice& v) {
    const std::int64_t len = v.source ? v.source->length() : 0;
    const std::int64_t s =
        std::clamp<std::int64_t>(v.selStart.load(std::memory_order_relaxed), 0, len);
    std::int64_t e = v.selEnd.load(std::memory_order_relaxed);
    // An end at or before the start, or past the media, plays to the end of the media.
    if (e <= s || e > len) e = len;
    v.actStart = s;
    v.actEnd = e;
}

void AudioEngine::startPlaying(Voice& v) {
    adoptSelection(v);
    if (v.actEnd <= v.actStart) { // nothing to play: the end comes at once
        postNotice(Notice{NoticeEnded, static_cast<std::uint16_t>(v.index), nullptr, v.runSeq});
        return;
    }
    if (v.pos >= v.actEnd) v.pos = v.actStart;
    v.gainTarget =
        gainFor(v.volume.load(std::memory_order_relaxed), v.mute.load(std::memory_order_relaxed));
    v.gain = v.gainTarget;
    v.rampLeft = 0;
    v.fadeGain = 1.0f;
    v.fading = false;
    v.playing = true;
}

int AudioEngine::pull(Voice& v, float* dst, int frames, bool waitForData) {
    int got = 0;
    while (got < frames && !v.inputEnded) {
        const std::int64_t len = v.source->length();
        const std::int64_t end = std::min(v.actEnd, len);
        if (v.pos >= end) { // the end of a pass
            ++v.passes;
            const int count = v.playCount.load(std::memory_order_relaxed);
            if (count > 0 && v.passes >= count) {
                v.inputEnded = true;
                break;
            }
            adoptSelection(v); // markers changed meanwhile apply from this pass on
            if (v.actEnd <= v.actStart) {
                v.inputEnded = true;
                break;
            }
            v.wrapFrom = end;
            v.sinceWrap = 0;
            v.pos = v.actStart;
            continue;
        }
        const std::int64_t index = v.pos / kChunkFrames;
        const int offset = static_cast<int>(v.pos % kChunkFrames);
        const float* chunk = v.source->chunk(index);
        if (!chunk) {
            if (!waitForData) break; // not decoded yet: silence now, the same frames later
            v.source->setCursor(v.pos);
            pool_->wake();
            if (!v.source->waitForChunk(index, kWaitMs)) {
                if (v.source->endKnown() && v.pos >= v.source->length()) continue;
                break;
            }
            continue;
        }
        const int n = static_cast<int>(std::min<std::int64_t>(
            {static_cast<std::int64_t>(frames - got), kChunkFrames - offset, end - v.pos}));
        std::memcpy(dst + 2 * got, chunk + 2 * offset, sizeof(float) * 2 * n);
        got += n;
        v.pos += n;
        v.sinceWrap += n;
    }
    return got;
}

void AudioEngine::renderVoice(Voice& v, float* out, int frames, bool waitForData) {
    const float target =
        gainFor(v.volume.load(std::memory_order_relaxed), v.mute.load(std::memory_order_relaxed));
    if (target != v.gainTarget) { // a change is ramped, never stepped
        v.gainTarget = target;
        v.rampLeft = rampFrames_;
        v.gainStep = (target - v.gain) / static_cast<float>(rampFrames_);
    }
    const double rate = v.rate.load(std::memory_order_relaxed);
    const double ratio = static_cast<double>(sampleRate_) / (v.source->sampleRate() * rate);
    if (!v.resampling && ratio != 1.0) {
        v.resampling = true;
        src_reset(v.resampler);
        v.inCount = 0;
        v.drained = false;
    }
    const float fadeStep = 1.0f / static_cast<float>(rampFrames_);
    int done = 0;
    while (done < frames && v.playing) {
        const int m = std::min(frames - done, kBlock);
        float* block = mixBlock_.data();
        int produced = 0;
        bool starved = false;
        if (!v.resampling) {
            produced = pull(v, block, m, waitForData);
            starved = produced < m && !v.inputEnded;
        } else {
            while (produced < m) {
                const long needIn =
                    static_cast<long>(std::ceil((m - produced) / ratio)) + 2 - v.inCount;
                if (!v.inputEnded && needIn > 0 && v.inCount < kInCap) {
                    const int want = static_cast<int>(
                        std::min<long>(kInCap - v.inCount, std::max<long>(needIn, 64)));
                    const int got = pull(v, v.in.data() + 2 * v.inCount, want, waitForData);
                    v.inCount += got;
                    if (got < want && !v.inputEnded) starved = true;
                }
                SRC_DATA d{};
                d.data_in = v.in.data();
                d.input_frames = v.inCount;
                d.data_out = block + 2 * produced;
                d.output_frames = m - produced;
                d.src_ratio = ratio;
                d.end_of_input = v.inputEnded ? 1 : 0;
                if (src_process(v.resampler, &d) != 0) {
                    v.inputEnded = true;
                    v.drained = true;
                    v.inCount = 0;
                    break;
                }
                const int used = static_cast<int>(d.input_frames_used);
                if (used > 0) {
                    std::memmove(v.in.data(), v.in.data() + 2 * used,
                                 sizeof(float) * 2 * static_cast<std::size_t>(v.inCount - used));
                    v.inCount -= used;
                }
                produced += static_cast<int>(d.output_frames_gen);
                if (d.output_frames_gen == 0) {
                    if (v.inputEnded) v.drained = true;
                    break;
                }
                if (starved) break;
            }
        }

        // Mix with the gain ramp and the fade-out of a pause or stop.
        float* dst = out + 2 * done;
        if (v.rampLeft == 0 && !v.fading) {
            const float g = v.gain;
            if (g != 0.0f)
                for (int i = 0; i < 2 * produced; ++i)
                    dst[i] += block[i] * g;
        } else {
            for (int i = 0; i < produced; ++i) {
                if (v.rampLeft > 0) {
                    v.gain += v.gainStep;
                    if (--v.rampLeft == 0) v.gain = v.gainTarget;
                }
                float g = v.gain;
                if (v.fading) {
                    v.fadeGain -= fadeStep;
                    if (v.fadeGain <= 0.0f) { // faded out: stand at the pause or stop point
                        v.playing = false;
                        v.fading = false;
                        v.fadeGain = 1.0f;
                        v.pos = v.resumePos;
                        ResetReader(v);
                        break;
                    }
                    g *= v.fadeGain;
                }
                dst[2 * i] += block[2 * i] * g;
                dst[2 * i + 1] += block[2 * i + 1] * g;
            }
        }
        done += produced;
        if (!v.playing) break;
        if (v.inputEnded && (!v.resampling || v.drained)) { // played its passes: stopped
            v.playing = false;
            v.fading = false;
            postNotice(Notice{NoticeEnded, static_cast<std::uint16_t>(v.index), nullptr, v.runSeq});
            break;
        }
        if (starved || produced < m) break;
    }
}

} // namespace sorvane
