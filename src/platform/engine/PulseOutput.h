#pragma once

// The engine's output to a PulseAudio server (PulseAudio itself, or PipeWire's PulseAudio
// server): one playback stream with a long queue, fed by a thread of its own.
//
// A long queue rides out the scheduling delays of a busy desktop; a new sound does not wait
// behind it: when a voice begins to sound, the thread mixes it into the part of the queue the
// sink has not played yet and writes that part again (a write that seeks back from the end of
// the queue). Where the server does not take such writes (found out once, at connection) the
// new sound waits behind the queue: later, never broken.
//
// Threads: open() and the destructor run on the control thread; everything else runs on the
// output's own thread, which is the audio thread of the engine (it never waits on the control
// thread). kick() may be called from the control thread at any time.

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

struct pa_context;
struct pa_io_event;
struct pa_time_event;
struct pa_mainloop;
struct pa_stream;

namespace sorvane {

class AudioEngine;

namespace engine {

class PulseOutput {
public:
    struct Settings {
        int rate = 48000;
        int queueMs = 100;        // the stream's target queue
        int refillMs = 25;        // ... topped up when this much has been played
        int startAheadMs = 3;     // a new sound begins this far ahead of the sink's play position
        bool startInQueue = true; // ... else it waits behind the queue
        bool realtime = true;     // ask for real-time scheduling of the output's thread
    };

    // Connects to the server (PULSE_SERVER or the user's default; never starts one) and opens
    // the stream; nullptr, with the reason in `why`, when that fails.
    static std::unique_ptr<PulseOutput> open(AudioEngine& engine, const Settings& settings,
                                             QString& why);
    ~PulseOutput();
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    // Starts the thread; from now on the engine renders what the stream plays.
    void start();
    // Control thread: commands are waiting for the audio thread.
    void kick();

    // "PulseAudio 16.1" or "PulseAudio (on PipeWire 0.3.65)": the server's own name.
    QString serverName() const { return serverName_; }
    // Whether a new sound is written into the queue (else it waits behind it).
    bool startsInQueue() const { return rewrites_; }
    // Whether the thread runs with real-time scheduling (known once it has started).
    bool realtimeGranted() const { return realtime_.load(); }
    // Any thread: the frame of the engine's output the listener hears now (by the server's
    // account of the stream's latency); the largest frame while that is not known.
    std::int64_t heardFrame() const;
    // How often the server found the queue empty since the stream opened.
    int underruns() const { return underruns_.load(); }

private:
    explicit PulseOutput(AudioEngine& engine, const Settings& settings);
    bool connect(QString& why);
    // Runs the main loop here until `done` holds; false when the server fails or `ms` pass.
    bool iterateUntil(const std::function<bool()>& done, int ms);
    bool probeRewrite();
    void run();
    void pace();
    void write(std::size_t bytes);
    void startNewSounds();
    void remember(const float* frames, std::int64_t at, int count);

    static void onContextState(pa_context* c, void* self);
    static void onStreamState(pa_stream* s, void* self);
    static void onWritable(pa_stream* s, std::size_t bytes, void* self);
    void onKick(int fd);

    AudioEngine& engine_;
    Settings settings_;
    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    pa_io_event* kickEvent_ = nullptr;
    pa_time_event* retryEvent_ = nullptr;
    int kickFd_ = -1;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> realtime_{false};
    std::atomic<int> underruns_{0};
    bool rendering_ = false; // the engine renders (else the stream is fed silence)
    bool rewrites_ = false;
    bool sinkRewinds_ = false; // the server re-renders what its sink has taken (PulseAudio)
    std::atomic<bool> failed_{false};
    QString serverName_;

    // What has been written, by frame of the stream (the last kHistory frames).
    static constexpr int kHistory = 1 << 14;
    static constexpr int kPiece = 128;   // frames rendered at a time
    static constexpr int kWrite = 8192;  // frames written at a time, at most
    static constexpr int kRetryUs = 500; // a new sound not decoded yet is tried again after
    std::vector<float> history_;
    std::vector<float> scratch_;
    std::int64_t written_ = 0;       // frames written so far: the end of the queue
    std::int64_t firstRendered_ = 0; // written_ when the engine began to render
    void notePlayed();
    // The frame of the stream at the sink's output at a moment of the steady clock (ns).
    std::atomic<std::int64_t> playedFrame_{-1};
    std::atomic<std::int64_t> playedStamp_{0};
};

} // namespace engine
} // namespace sorvane
