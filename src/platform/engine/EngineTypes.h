#pragma once

// What the control thread and the audio thread share about one voice (one player), and the
// messages they pass. Internal to the engine.

#include "Resampler.h"
#include "SpscQueue.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>

namespace sorvane::engine {

class MediaSource;

enum CommandType : std::uint8_t { CmdLoad, CmdUnload, CmdPlay, CmdPause, CmdStop, CmdSeek };

// Control thread -> audio thread. `frame` is the seek target, or for Play 1 when playing
// starts afresh (from stopped: the pass count starts at 0), 0 when it resumes, and 2 when
// the player believes it plays: a running voice goes on, one that has ended starts afresh.
struct Command {
    std::uint8_t type = 0;
    std::uint16_t voice = 0;
    MediaSource* source = nullptr;
    std::int64_t frame = 0;
    std::uint64_t seq = 0;
};

enum NoticeType : std::uint8_t { NoticeEnded, NoticeRetired };

// Audio thread -> control thread: a voice ended by itself (`seq` names the Play it ended), or
// the audio thread let go of a source.
struct Notice {
    std::uint8_t type = 0;
    std::uint16_t voice = 0;
    MediaSource* source = nullptr;
    std::uint64_t seq = 0;
    std::int64_t heardAt = 0; // the output frame by which it has been heard (set by the engine)
};

class CommandQueue : public SpscQueue<Command, 4096> {};
class NoticeQueue : public SpscQueue<Notice, 1024> {};

struct Voice {
    int index = 0;

    // Written by the control thread; the audio thread takes each change as it mixes.
    std::atomic<int> volume{0}; // hundredths of a decibel
    std::atomic<bool> mute{false};
    std::atomic<double> rate{1.0};
    std::atomic<int> playCount{1};         // 0 endless
    std::atomic<std::int64_t> selStart{0}; // frames of the source
    std::atomic<std::int64_t> selEnd{0};

    // Written by the audio thread: the play position in frames of the source.
    std::atomic<std::int64_t> position{0};

    // Audio thread only (storage made on the control thread when the voice is first taken).
    MediaSource* source = nullptr;
    bool playing = false;
    std::int64_t pos = 0;      // next frame of the source to read
    std::int64_t actStart = 0; // the selection as last read, within the media
    std::int64_t actEnd = 0;
    int passes = 0;
    std::uint64_t runSeq = 0;
    bool inputEnded = false;     // the last pass has been read
    std::int64_t streamEnd = -1; // ... and ends at this frame of the resampler's stream

    // Where the frames of the resampler's stream come from: a new segment starts at every
    // (re)start and at every loop seam. A small ring: only the latest few can be unread.
    struct Segment {
        std::int64_t stream;
        std::int64_t source;
    };
    static constexpr int kSegments = 16;
    Segment segments[kSegments] = {};
    int segmentCount = 0;

    std::unique_ptr<Resampler> resampler;
    // Source frames read per output frame; a change glides along a raised cosine.
    double step = 1.0;
    double stepFrom = 1.0;
    double stepTo = 1.0;
    int stepPos = 0;

    // Volume and Mute reach their gain along a raised cosine.
    float gainFrom = 0.0f;
    float gainTo = 0.0f;
    int gainPos = 0; // frames into the ramp; the ramp's length when it is done
    // A (re)start fades in over the transport ramp; its frames so far.
    int fadeInPos = 0;
    // What a stop, pause, seek or unload cut off: the sound fading out, mixed in before the
    // voice's own sound until it has all been played.
    std::unique_ptr<float[]> tail;
    int tailFrames = 0;
    int tailPos = 0;
};

} // namespace sorvane::engine
