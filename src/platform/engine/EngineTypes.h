#pragma once

// What the control thread and the audio thread share about one voice (one player), and the
// messages they pass. Internal to the engine.

#include "SpscQueue.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <vector>

typedef struct SRC_STATE_tag SRC_STATE;

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
};

class CommandQueue : public SpscQueue<Command, 4096> {};
class NoticeQueue : public SpscQueue<Notice, 1024> {};

struct Voice {
    int index = 0;

    // Written by the control thread, read by the audio thread at every pass.
    std::atomic<int> volume{0}; // hundredths of a decibel
    std::atomic<bool> mute{false};
    std::atomic<double> rate{1.0};
    std::atomic<int> playCount{1};         // 0 endless
    std::atomic<std::int64_t> selStart{0}; // frames of the source
    std::atomic<std::int64_t> selEnd{0};

    // Written by the audio thread: the play position in frames of the source.
    std::atomic<std::int64_t> position{0};

    // Audio thread only.
    MediaSource* source = nullptr;
    bool playing = false;
    bool fading = false; // fading out towards a pause or a stop
    float fadeGain = 1.0f;
    std::int64_t resumePos = 0; // where the voice stands once the fade is done
    std::int64_t pos = 0;       // next frame to read
    std::int64_t actStart = 0;  // the stretch of the current pass
    std::int64_t actEnd = 0;
    int passes = 0;
    std::uint64_t runSeq = 0;
    bool inputEnded = false;    // the last pass has been read
    bool drained = false;       // ... and the resampler has given out everything
    std::int64_t wrapFrom = -1; // end of the previous pass, while its frames are buffered
    std::int64_t sinceWrap = 0;
    float gain = 0.0f;
    float gainTarget = 0.0f;
    float gainStep = 0.0f;
    int rampLeft = 0;
    SRC_STATE* resampler = nullptr;
    bool resampling = false;
    std::vector<float> in; // resampler input, allocated with the voice
    int inCount = 0;
};

} // namespace sorvane::engine
