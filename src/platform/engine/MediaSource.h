#pragma once

// One opened audio file, decoded ahead of the play position into a bounded cache of
// fixed-size chunks.
//
// The reader (the audio thread) only looks chunks up in a table of atomic pointers: a chunk
// that is there is complete and never changes while it is published. The decode workers
// (DecodePool) fill the table around three places the reader will need next: the play
// cursor and the stretch after it, the start of the loop, and the last seek target. Chunks
// outside those windows are taken out of the table and freed once no render pass that may
// have seen them is still running (the engine's render epoch), so a long file never sits
// in memory whole.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace sorvane::engine {

// Frames per chunk; a frame is one stereo pair of floats.
inline constexpr int kChunkFrames = 4096;

// What a file holds, as found when it was opened.
struct MediaProbe {
    bool hasAudio = false;
    bool hasVideo = false;
    double videoSeconds = 0; // length of the picture stream when there is no sound
    std::string error;       // why the file cannot be played, when it cannot
};

class Mp3Memory;

class MediaSource {
public:
    // Opens `path`, checks that its sound can be decoded from the start and near its end,
    // and decodes the first frames. Returns null (and fills `probe.error`) when the file has
    // no playable sound; `probe` also tells whether there is a picture stream.
    // `renderEpoch` is the engine's count of render passes (odd while one runs); `mp3s`, when
    // given, remembers the MP3 files measured before.
    static std::shared_ptr<MediaSource> open(const std::string& path,
                                             const std::atomic<std::uint64_t>* renderEpoch,
                                             MediaProbe& probe, Mp3Memory* mp3s = nullptr);
    // A source of silence of the given length, for media that has only pictures.
    static std::shared_ptr<MediaSource> silence(int sampleRate, std::int64_t frames);

    ~MediaSource();
    MediaSource(const MediaSource&) = delete;
    MediaSource& operator=(const MediaSource&) = delete;

    int sampleRate() const { return sampleRate_; }
    // Frames of the media: the container's figure until decoding reaches the end, then the
    // exact count.
    std::int64_t length() const { return length_.load(std::memory_order_acquire); }
    bool endKnown() const { return endKnown_.load(std::memory_order_acquire); }
    bool isSilence() const { return silent_; }

    // --- reader side (audio thread: never blocks) -----------------------------------
    // The chunk `index` (kChunkFrames interleaved stereo frames), or null when it is not
    // decoded yet.
    const float* chunk(std::int64_t index) const;
    // Where the reader stands; the decode windows follow it.
    void setCursor(std::int64_t frame) { cursor_.store(frame, std::memory_order_relaxed); }

    // --- control side --------------------------------------------------------------------
    void setSeekHint(std::int64_t frame) { hint_.store(frame, std::memory_order_relaxed); }
    void setLoopStart(std::int64_t frame) { loopStart_.store(frame, std::memory_order_relaxed); }
    // Waits until chunk `index` is decoded, the media ends before it, or the time is up.
    // For the offline renderer only. Returns whether the chunk can now be read.
    bool waitForChunk(std::int64_t index, int timeoutMs);

    // --- decode workers --------------------------------------------------------------------
    // 0 nothing to decode, 1 decoding ahead, 2 a chunk the reader needs now is missing.
    int urgency() const;
    bool tryClaim() { return !busy_.exchange(true, std::memory_order_acquire); }
    void release() { busy_.store(false, std::memory_order_release); }
    // Decodes until one more chunk is published (or the media ends), then frees chunks
    // that left every window. Only the worker holding the claim may call it. Returns
    // whether anything was decoded.
    bool work();
    // The source is being let go: decoding stops, and a read in progress (a long stretch of
    // garbage, a stalled disk) is broken off, so that no worker stays busy with it.
    void abandon();

    // Chunks currently held (decoded and not yet freed); for tests and benchmarks.
    int chunksHeld() const { return held_.load(std::memory_order_relaxed); }

private:
    MediaSource() = default;
    bool openInput(const std::string& path);
    static int interrupted(void* source);

    std::int64_t chunkCount() const;
    std::int64_t firstMissing(int* priority) const;
    bool keep(std::int64_t index) const;
    bool seekTo(std::int64_t index);
    bool decodeFrame(); // next decoded frame into frame_; false at the end
    void deliver(std::int64_t firstFrame, const float* samples, int frames);
    void deliverFrame();
    void publishAssembly(bool partial);
    void reachEnd();
    void evict();
    void freeRetired();
    float* allocChunk();
    void notifyWaiters();
    std::int64_t frameIndexOf(std::int64_t pts) const;

    // fixed at open
    bool silent_ = false;
    int sampleRate_ = 0;
    int aheadChunks_ = 0; // the window after the cursor
    int pinChunks_ = 0;   // the windows at the loop start and the seek target
    std::int64_t tableSize_ = 0;
    std::unique_ptr<std::atomic<float*>[]> table_;
    const std::atomic<std::uint64_t>* renderEpoch_ = nullptr;

    std::atomic<std::int64_t> length_{0};
    std::atomic<bool> endKnown_{false};
    std::atomic<std::int64_t> cursor_{0};
    std::atomic<std::int64_t> hint_{-1};
    std::atomic<std::int64_t> loopStart_{0};
    std::atomic<bool> busy_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> abandoned_{false};
    std::atomic<std::int64_t> deadline_{0}; // steady-clock ticks; reads after it break off
    std::atomic<int> held_{0};
    std::atomic<int> waiters_{0};
    std::mutex waitMutex_;
    std::condition_variable waitCv_;

    // decoder state, owned by the worker that holds the claim
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int stream_ = -1;
    int outChannels_ = 2; // channels leaving the converter: 1 or 2
    int swrFormat_ = -1;  // input sample format the converter was set up for
    std::uint64_t swrLayoutKey_ = 0;
    std::int64_t firstPts_ = 0; // time stamp of the first frame, in frames
    bool coarseStamps_ = false; // time stamps coarser than a frame: snap to the codec's grid
    int gridFrames_ = 0;
    bool inputDrained_ = false;
    std::int64_t nextFrame_ = 0; // index of the next decoded frame to arrive
    std::int64_t asmChunk_ = 0;  // chunk being assembled
    int asmFill_ = 0;            // frames already in it
    float* asmBuf_ = nullptr;
    bool atEnd_ = false;
    std::vector<float> convert_;        // converter output
    std::vector<std::int64_t> present_; // chunks in the table
    std::vector<float*> spare_;         // freed chunk memory for reuse
    struct Retired {
        float* data;
        std::uint64_t epoch;
    };
    std::vector<Retired> retired_;
};

} // namespace sorvane::engine
