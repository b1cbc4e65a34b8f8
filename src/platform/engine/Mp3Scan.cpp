#include "Mp3Scan.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvane::engine {

namespace {

// Where the first frame must begin, after the tags at the top: further in, the file is not
// taken for an MP3 (a large file of zeros is refused at once).
constexpr std::int64_t kFirstFrameWithin = 1 << 20;
// A gap in the middle of the sound longer than this ends the count.
constexpr std::int64_t kResyncWithin = 1 << 20;
// The least of a frame cut by the end of the file that the decoder still turns into sound:
// its header and side information.
constexpr std::int64_t kPartialFrame = 4 + 32;
// The decoder's own delay, which the info frame's delay does not include.
constexpr int kDecoderDelay = 529;

struct Header {
    int version = 0; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int sampleRate = 0;
    int samples = 0; // per frame
    int bytes = 0;   // of the frame
    bool mono = false;
};

bool parse(const std::uint8_t* p, Header& h) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int version = (p[1] >> 3) & 3;
    const int layer = (p[1] >> 1) & 3;
    const int rateIndex = p[2] >> 4;
    const int srIndex = (p[2] >> 2) & 3;
    if (version == 1 || layer != 1 || rateIndex == 0 || rateIndex == 15 || srIndex == 3)
        return false; // only Layer III with a stated bit rate
    static const int kRates1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kRates2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int kSampleRates[] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int kbps = mpeg1 ? kRates1[rateIndex] : kRates2[rateIndex];
    h.version = version;
    h.sampleRate = kSampleRates[srIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    h.samples = mpeg1 ? 1152 : 576;
    h.bytes = (mpeg1 ? 144000 : 72000) * kbps / h.sampleRate + ((p[2] >> 1) & 1);
    h.mono = (p[3] >> 6) == 3;
    return true;
}

// Any MPEG audio frame header: another layer, or a free-format bit rate, which the count
// leaves to the decoder.
bool otherMpegHeader(const std::uint8_t* p) {
    return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0 && ((p[1] >> 3) & 3) != 1 &&
           ((p[1] >> 1) & 3) != 0 && (p[2] >> 4) != 15 && ((p[2] >> 2) & 3) != 3;
}

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           p[3];
}

// The size of the ID3v2 tags at `at`, or 0.
std::int64_t id3Size(const std::uint8_t* p, std::int64_t left) {
    if (left < 10 || std::memcmp(p, "ID3", 3) != 0) return 0;
    const std::int64_t size = (std::int64_t(p[6] & 0x7F) << 21) | ((p[7] & 0x7F) << 14) |
                              ((p[8] & 0x7F) << 7) | (p[9] & 0x7F);
    return 10 + size + ((p[5] & 0x10) ? 10 : 0);
}

struct InfoFrame {
    bool present = false;
    std::int64_t frames = 0; // 0: not stated
    bool gapless = false;
    int delay = 0;
    int padding = 0;
};

// The Xing or Info frame of LAME and FFmpeg, with the encoder's delay and padding.
InfoFrame readInfo(const std::uint8_t* frame, const Header& h) {
    InfoFrame info;
    const int side = h.version == 3 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
    const std::uint8_t* p = frame + 4 + side;
    const std::uint8_t* end = frame + h.bytes;
    if (p + 8 > end || (std::memcmp(p, "Xing", 4) != 0 && std::memcmp(p, "Info", 4) != 0))
        return info;
    info.present = true;
    const std::uint32_t flags = be32(p + 4);
    p += 8;
    if (flags & 1) {
        if (p + 4 > end) return info;
        info.frames = be32(p);
        p += 4;
    }
    if (flags & 2) p += 4;
    if (flags & 4) p += 100;
    if (flags & 8) p += 4;
    if (p + 24 > end) return info;
    if (std::memcmp(p, "LAME", 4) == 0 || std::memcmp(p, "Lavf", 4) == 0 ||
        std::memcmp(p, "Lavc", 4) == 0) {
        const std::uint32_t v = (std::uint32_t(p[21]) << 16) | (std::uint32_t(p[22]) << 8) | p[23];
        info.gapless = true;
        info.delay = static_cast<int>(v >> 12);
        info.padding = static_cast<int>(v & 0xFFF);
    }
    return info;
}

} // namespace

std::int64_t leadingId3Bytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    std::int64_t at = 0;
    std::uint8_t header[10];
    while (file.seek(at) && file.read(reinterpret_cast<char*>(header), 10) == 10) {
        const std::int64_t tag = id3Size(header, 10);
        if (tag == 0) break;
        at += tag;
    }
    return at <= file.size() ? at : 0;
}

Mp3Length measureMp3(const QString& path, std::chrono::steady_clock::time_point deadline) {
    Mp3Length result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 4) return result;
    const std::int64_t size = file.size();
    const auto* data = file.map(0, size);
    if (!data) return result;

    // Past the ID3v2 tags at the top.
    std::int64_t at = 0;
    for (std::int64_t tag; (tag = id3Size(data + at, size - at)) > 0;)
        at += tag;

    // The first frame: a header whose next frame's header follows where it says.
    Header first;
    const std::int64_t searchEnd = std::min(size - 4, at + kFirstFrameWithin);
    bool found = false;
    bool otherMpeg = false;
    for (; at < searchEnd; ++at) {
        otherMpeg = otherMpeg || otherMpegHeader(data + at);
        Header h, next;
        if (!parse(data + at, h)) continue;
        const std::int64_t n = at + h.bytes;
        if (n + 4 <= size && !(parse(data + n, next) && next.sampleRate == h.sampleRate)) continue;
        first = h;
        found = true;
        break;
    }
    if (!found) {
        result.outcome = otherMpeg ? Mp3Length::Unmeasured : Mp3Length::NoFrames;
        return result;
    }
    const InfoFrame info = readInfo(data + at, first);
    if (info.present) at += first.bytes; // the info frame holds no sound

    // Frame after frame to the end; a damaged stretch is stepped over to the next frame that
    // is followed by another.
    std::int64_t count = 0;
    int checks = 0;
    bool damaged = false;
    // A point every 8 frames (a fifth of a second at 44.1 kHz), fewer in very long files.
    const std::int64_t every =
        std::max<std::int64_t>(8, (size - at) / std::max<std::int64_t>(1, first.bytes) / 20000);
    while (at + 4 <= size) {
        Header h;
        if (parse(data + at, h) && h.sampleRate == first.sampleRate && h.version == first.version) {
            if (at + h.bytes > size) { // cut in the middle: the decoder still makes a frame of it
                if (size - at >= kPartialFrame) ++count;
                break;
            }
            if (count % every == 0) result.seekPoints.emplace_back(count, at);
            ++count;
            at += h.bytes;
        } else {
            const std::int64_t limit = std::min(size - 4, at + kResyncWithin);
            std::int64_t k = at + 1;
            for (; k < limit; ++k) {
                Header a, b;
                if (!parse(data + k, a) || a.sampleRate != first.sampleRate) continue;
                if (k + a.bytes + 4 > size) continue;
                if (parse(data + k + a.bytes, b) && b.sampleRate == first.sampleRate) break;
            }
            if (k >= limit) break; // nothing more: tags, or the end of the sound
            damaged = true;
            at = k;
        }
        if (++checks == 4096) {
            checks = 0;
            if (std::chrono::steady_clock::now() > deadline) { // unmeasured
                result.seekPoints.clear();
                return result;
            }
        }
    }

    std::int64_t frames = count * first.samples;
    if (info.gapless) {
        // As the decoder does: the delay is skipped at the start and, when the info frame
        // states the count, the padding is dropped at the end of a complete file.
        std::int64_t end = frames;
        if (info.frames > 0)
            end = std::min(end, info.frames * first.samples - info.padding + kDecoderDelay);
        frames = std::max<std::int64_t>(0, end - (info.delay + kDecoderDelay));
    }
    if (damaged) result.seekPoints.clear();
    result.samplesPerFrame = first.samples;
    result.outcome = Mp3Length::Measured;
    result.sampleRate = first.sampleRate;
    result.frames = frames;
    result.audioFrames = count;
    return result;
}

namespace {

// A hash of a file's first and last bytes, with what the file system tells of it.
bool MarkOf(const QString& path, Mp3Memory::Mark& mark) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        mark.device = st.st_dev;
        mark.inode = st.st_ino;
        mark.size = st.st_size;
        mark.changedNs = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
        constexpr ssize_t kEnd = 4096;
        unsigned char head[kEnd], tail[kEnd];
        const ssize_t h = ::pread(fd, head, kEnd, 0);
        const ssize_t t = ::pread(fd, tail, kEnd, std::max<off_t>(0, st.st_size - kEnd));
        ok = h >= 0 && t >= 0;
        std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
        for (const auto& [p, n] : {std::pair{head, h}, std::pair{tail, t}})
            for (ssize_t i = 0; i < n; ++i)
                hash = (hash ^ p[i]) * 1099511628211ULL;
        mark.ends = hash;
    }
    ::close(fd);
    return ok;
}

} // namespace

Mp3Length Mp3Memory::measure(const QString& path, std::chrono::steady_clock::time_point deadline) {
    Mark mark;
    if (!MarkOf(path, mark)) return measureMp3(path, deadline);
    {
        const std::lock_guard<std::mutex> guard(lock_);
        for (auto it = files_.begin(); it != files_.end(); ++it)
            if (it->path == path) {
                if (it->mark == mark) return it->length;
                files_.erase(it); // changed since
                break;
            }
    }
    Mp3Length length = measureMp3(path, deadline);
    Mark after;
    // Only a complete measurement of a file that stood still meanwhile is kept.
    if (length.outcome != Mp3Length::Unmeasured && MarkOf(path, after) && after == mark) {
        const std::lock_guard<std::mutex> guard(lock_);
        files_.push_front({path, mark, length});
        if (files_.size() > kFiles) files_.pop_back();
    }
    return length;
}

} // namespace sorvane::engine
