#pragma once

// The pictures of a video file, decoded on a thread of their own a few frames ahead of a
// clock that the caller moves (the player's position). A clock that jumps back, or far
// ahead, makes the decoder seek.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace sorvane::engine {

class VideoDecoder {
public:
    struct Frame {
        int width = 0;
        int height = 0;
        std::vector<std::uint32_t> pixels; // 0xffRRGGBB, rows of `width`
        double time = 0;                   // seconds from the start of the media
    };

    // Null when the file has no picture stream that can be decoded.
    static std::unique_ptr<VideoDecoder> open(const std::string& path);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    int width() const { return outWidth_; }
    int height() const { return outHeight_; }

    // The newest frame due at `seconds` that was not taken yet; false when there is none.
    bool takeFrame(double seconds, Frame& out);

private:
    VideoDecoder() = default;
    void run();
    // The next frame not before `skipBefore` (seconds), converted; false at the end.
    bool decodeNext(Frame& out, double skipBefore);
    void seekTo(double seconds);

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwsContext* sws_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int stream_ = -1;
    double timeBase_ = 0;
    double startTime_ = 0;
    double frameSeconds_ = 0.04;
    int outWidth_ = 0;
    int outHeight_ = 0;
    bool drained_ = false;

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Frame> queue_;
    bool quit_ = false;
    bool seekWanted_ = false;
    double seekTarget_ = 0;
    bool atEnd_ = false;
    double lastClock_ = 0;
    double newestTime_ = -1; // of the frames decoded since the last seek
    std::thread thread_;
};

} // namespace sorvane::engine
