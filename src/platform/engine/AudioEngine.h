#pragma once

// The sound engine: one output stream that mixes every player.
//
// main() creates one engine and hands it to the windows by reference; tests create their own
// in offline mode. The output is a stream of a PulseAudio server (PulseAudio or PipeWire's
// PulseAudio server, see PulseOutput.h) where one answers and SDL_AUDIODRIVER names no other
// driver; else an SDL2 device (ALSA, or SDL's dummy and disk drivers of the tests and
// checks); when none can be opened the engine plays through SDL's dummy driver, in real
// time, and says so once on stderr. In offline mode there is no device: the caller renders
// frames itself, and rendering waits for decoding, so the result is the same on every run.
//
// Threads: the control thread (the GUI thread, which owns the players) sends commands to
// the audio thread through a lock-free queue and reads back what the audio thread
// publishes in atomics; the audio thread never blocks, locks, allocates or reads a file;
// decode workers fill each source's chunk cache ahead of its reader.

#include "Mp3Scan.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace sorvane {

class PlayerCore;

namespace engine {
class DecodePool;
class MediaSource;
class ResampleKernel;
struct Voice;
struct Command;
struct Notice;
class CommandQueue;
class NoticeQueue;
class PulseOutput;
} // namespace engine

class AudioEngine : public QObject {
    Q_OBJECT
public:
    enum class Output { Device, Offline };
    struct Options {
        Output output = Output::Device;
        int sampleRate = 48000; // asked of the device; offline: the rate rendered
        // Asked of an SDL device; offline: informative. Through a sound server every frame of
        // an always-open SDL stream waits behind about one period of silence: 128 frames
        // (2.7 ms at 48 kHz) keep a new sound prompt there.
        int periodFrames = 128;
        int decodeThreads = 2;
        // A PulseAudio server is played to directly (else through SDL, at periodFrames).
        bool pulseStream = true;
        int pulseQueueMs = 100;        // the stream's queue: rides out a busy machine
        int pulseStartAheadMs = 3;     // a new sound starts this far ahead of the sink
        bool pulseStartInQueue = true; // ... else it waits behind the queue
        bool realtimeThread = true;    // asked for the output's thread; kept where refused
    };

    explicit AudioEngine(QObject* parent = nullptr);
    explicit AudioEngine(const Options& options, QObject* parent = nullptr);
    ~AudioEngine() override;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    int sampleRate() const { return sampleRate_; }
    int periodFrames() const { return periodFrames_; }
    bool isOffline() const { return options_.output == Output::Offline; }
    // "offline", "pulse" (a stream of a PulseAudio server), or the SDL driver that plays
    // ("pulseaudio", "alsa", "dummy", ...).
    QString outputName() const { return outputName_; }
    // The PulseAudio server played to ("PulseAudio 16.1", "PulseAudio (on PipeWire 0.3.65)"),
    // whether a new sound starts inside its queue, and whether the output's thread got
    // real-time scheduling; empty and false for other outputs.
    QString serverName() const;
    bool startsInQueue() const;
    bool realtimeOutput() const;
    int outputUnderruns() const;

    // Offline mode: mixes the next `frames` stereo frames into `out` (interleaved floats),
    // waiting for decoding where the data is not ready yet. When called on the engine's own
    // thread the players' state changes are delivered before it returns.
    void renderOffline(float* out, int frames);
    // Mixes as the device does: never waits; media not decoded yet plays as silence.
    void renderRealtime(float* out, int frames);
    // Hands what the audio thread reported (ends of playback) to the players; runs by
    // itself on the engine's thread as soon as the audio thread has reported something.
    void deliverEvents();

private:
    friend class PlayerCore;
    friend class engine::PulseOutput;
    static constexpr int kMaxVoices = 64;

    struct Slot;
    int acquireVoice(PlayerCore* owner);
    void releaseVoice(int voice);
    // Queues a command for the audio thread; returns its sequence number.
    std::uint64_t send(int type, int voice, engine::MediaSource* source, std::int64_t frame);
    engine::Voice& voice(int index);
    std::uint64_t appliedSeq() const { return appliedSeq_.load(std::memory_order_acquire); }
    engine::DecodePool& pool() { return *pool_; }
    const std::atomic<std::uint64_t>* renderEpoch() const { return &renderEpoch_; }
    // The MP3 files measured so far, for the players' loads.
    engine::Mp3Memory& mp3s() { return mp3s_; }
    void holdForAudio(std::shared_ptr<engine::MediaSource> source);
    // Makes sure the filter for reading `step` source frames per output frame exists, before
    // any voice can be asked to play at that step.
    void prepareKernel(double step);

    void render(float* out, int frames, bool waitForData);
    void applyCommands();
    // Audio thread, between renders: applies the commands now; the number of voices begun
    // that have not sounded yet. renderStarted mixes those voices' next `frames` into `mix`
    // (they go on from there at the next render) and returns how many it mixed; the others
    // wait for their first decoded frames. forgetStarted lets them begin at the next render.
    int applyPending();
    int renderStarted(float* mix, int frames);
    void forgetStarted() { startedCount_ = 0; }
    int waitingToStart() const { return startedCount_; }
    // Drops the begun voices that have sounded from the list.
    void keepUnheard();
    // How many of its next `frames` output frames the voice can play from decoded media.
    int decodedFrames(const engine::Voice& v, int frames) const;
    void prepareMixing();
    // Audio thread, one voice (VoiceRender.cpp).
    void renderVoice(engine::Voice& v, float* out, int frames, bool waitForData);
    int produce(engine::Voice& v, float* dst, int frames, bool waitForData);
    int pull(engine::Voice& v, float* dst, int frames, bool waitForData);
    void adoptSelection(engine::Voice& v);
    void startPlaying(engine::Voice& v);
    void beginSound(engine::Voice& v);
    void cutOff(engine::Voice& v);
    void mixTail(engine::Voice& v, float* out, int frames);
    std::int64_t shownPosition(const engine::Voice& v) const;
    const engine::ResampleKernel& kernelFor(double step) const;
    void postNotice(const engine::Notice& n);
    // Hands an end of playback to its player.
    void deliverEnd(const engine::Notice& n);
    void openDevice();
    void closeDevice();

    Options options_;
    int sampleRate_ = 48000;
    int periodFrames_ = 256;
    int rampFrames_ = 240;     // transport fades: about 5 ms
    int gainRampFrames_ = 960; // Volume and Mute changes
    QString outputName_;

    std::unique_ptr<engine::DecodePool> pool_;
    engine::Mp3Memory mp3s_;
    std::unique_ptr<engine::CommandQueue> commands_;
    std::unique_ptr<engine::NoticeQueue> notices_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::unordered_map<engine::MediaSource*, std::shared_ptr<engine::MediaSource>> audioHeld_;
    std::uint64_t nextSeq_ = 0;
    std::atomic<std::uint64_t> appliedSeq_{0};
    std::atomic<std::uint64_t> renderEpoch_{0};
    struct Kernels;
    std::unique_ptr<Kernels> kernels_;
    std::vector<float> rampShape_;         // raised cosine from 0 to 1 over rampFrames_ + 1 points
    std::vector<float> gainShape_;         // ... over gainRampFrames_ + 1 points
    std::vector<float> mixBlock_;          // audio thread: one voice's block before gain
    std::vector<float> pullBlock_;         // audio thread: source frames on their way in
    std::vector<engine::Notice> overflow_; // audio thread: notices the full queue refused
    int overflowCount_ = 0;
    std::int64_t outputFrames_ = 0;    // audio thread: frames rendered for the device so far
    std::int64_t noticeFrame_ = 0;     // audio thread: the end of the stretch being rendered
    std::vector<engine::Notice> late_; // ends that are rendered but not heard yet
    QTimer* lateTimer_ = nullptr;
    bool waiting_ = false; // audio thread: the render under way may wait for decoding
    // Audio thread: voices begun (Play) that have not sounded yet, and where their stream
    // stood when they began.
    int started_[kMaxVoices] = {};
    std::int64_t startedAt_[kMaxVoices] = {};
    std::int64_t startedSince_[kMaxVoices] = {}; // steady clock, ns
    static constexpr std::int64_t kPatienceNs = 4'000'000;
    int startedCount_ = 0;

    // The audio thread rings this after a pass that posted notices; the engine's thread
    // sleeps until then. Without it, a timer looks every few milliseconds.
    int noticeBell_ = -1;
    bool rang_ = false; // audio thread: this pass posted a notice
    QSocketNotifier* bellListener_ = nullptr;
    QTimer* deliverTimer_ = nullptr;
    unsigned int sdlDevice_ = 0;
    bool sdlAudioInitByName_ = false;
    bool sdlSubsystem_ = false;
    struct Pacer;
    std::unique_ptr<Pacer> pacer_; // real-time pacing when not even the dummy driver opens
    std::unique_ptr<engine::PulseOutput> pulse_;
};

} // namespace sorvane
