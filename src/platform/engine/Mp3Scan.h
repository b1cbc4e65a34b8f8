#pragma once

// The true length of an MP3 file, from its frame headers alone: every frame is found and
// counted without decoding, so a file without a length header, with a wrong one, or cut
// short is measured as it will play. The encoder's delay and padding that a LAME or FFmpeg
// info frame states are taken off the way the decoder takes them off.
//
// Runs on the control thread at a load; reads the file through a memory map and never holds
// more of it than the pages it touches.

#include <QString>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace sorvane::engine {

struct Mp3Length {
    enum Outcome {
        Measured,   // `frames` is the length that decoding gives
        NoFrames,   // no MP3 frame near the start: not an MP3 file
        Unmeasured, // free-format or unreadable, or the time ran out: no figure
    };
    Outcome outcome = Unmeasured;
    int sampleRate = 0;
    std::int64_t frames = 0;      // sample frames that play
    std::int64_t audioFrames = 0; // MP3 frames holding sound
    // Where some of the MP3 frames begin, as (frame number from 0, byte offset), every few
    // frames, for going straight to a time. Empty when a damaged stretch had to be stepped
    // over: the numbers after it could differ from the decoder's count.
    std::vector<std::pair<std::int64_t, std::int64_t>> seekPoints;
    int samplesPerFrame = 0;
};

Mp3Length measureMp3(const QString& path, std::chrono::steady_clock::time_point deadline);

// The bytes that the ID3v2 tags at the top of a file take (0 when there are none, or when
// they would reach past its end).
std::int64_t leadingId3Bytes(const QString& path);

// Measures as measureMp3 does, and remembers the figures of the last few dozen files: a file
// measured before is not read through again while it is unchanged (the same size, time of
// change, file number, and first and last bytes). A show plays the same files again and
// again. Safe to use from several threads.
class Mp3Memory {
public:
    Mp3Length measure(const QString& path, std::chrono::steady_clock::time_point deadline);

    struct Mark {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        std::int64_t changedNs = 0;
        std::uint64_t ends = 0;
        bool operator==(const Mark&) const = default;
    };

private:
    struct File {
        QString path;
        Mark mark;
        Mp3Length length;
    };
    static constexpr std::size_t kFiles = 48;
    std::mutex lock_;
    std::deque<File> files_; // newest first
};

} // namespace sorvane::engine
