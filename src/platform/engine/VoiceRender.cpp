// The audio thread's work on one voice: reading the source through its passes, resampling,
// the gain and transport ramps, and the fade-out of whatever a command cuts off. Nothing
// here locks, allocates or reads a file; the offline renderer alone may wait for decoding.

#include "AudioEngine.h"
#include "DecodePool.h"
#include "EngineTypes.h"
#include "MediaSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace sorvane {

using namespace engine;

namespace {
constexpr int kBlock = 512;    // output frames mixed per step
constexpr int kPull = 4096;    // source frames read per step
constexpr int kHistory = 320;  // frames before a start that the resampler reads
constexpr int kWaitMs = 10000; // offline: longest wait for one chunk
constexpr int kGlidePiece = 1; // output frames at one step while the rate glides

float gainFor(int volume, bool mute) {
    if (mute || volume <= -4000) return 0.0f;
    return static_cast<float>(std::pow(10.0, std::min(volume, 0) / 2000.0));
}

void addSegment(Voice& v, std::int64_t stream, std::int64_t source) {
    v.segments[v.segmentCount % Voice::kSegments] = Voice::Segment{stream, source};
    ++v.segmentCount;
}

// The source frame that stream frame `t` came from.
std::int64_t sourceFrameAt(const Voice& v, std::int64_t t) {
    const int oldest = std::max(0, v.segmentCount - Voice::kSegments);
    for (int i = v.segmentCount - 1; i >= oldest; --i) {
        const Voice::Segment& s = v.segments[i % Voice::kSegments];
        if (s.stream <= t || i == oldest) return s.source + (t - s.stream);
    }
    return v.pos;
}

// The stream frame where the next loop seam after `t` lies, or none.
std::int64_t nextSeam(const Voice& v, std::int64_t t) {
    std::int64_t seam = std::numeric_limits<std::int64_t>::max();
    const int oldest = std::max(0, v.segmentCount - Voice::kSegments);
    for (int i = v.segmentCount - 1; i >= oldest; --i) {
        const std::int64_t s = v.segments[i % Voice::kSegments].stream;
        if (s <= t) break;
        seam = s;
    }
    return seam;
}

bool hasEnded(const Voice& v) {
    return v.streamEnd >= 0 && v.resampler->readFrame() >= v.streamEnd;
}
} // namespace

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
    v.gainTo = v.gainFrom =
        gainFor(v.volume.load(std::memory_order_relaxed), v.mute.load(std::memory_order_relaxed));
    v.gainPos = gainRampFrames_;
    beginSound(v);
    v.playing = true;
}

void AudioEngine::beginSound(Voice& v) {
    Resampler& r = *v.resampler;
    r.reset(kHistory);
    // The frames before the start, where they are decoded, so that the filter starts in
    // the sound; silence before the top of the file.
    for (int i = 0; i < kHistory;) {
        const std::int64_t f = v.pos - kHistory + i;
        const float* chunk = f >= 0 ? v.source->chunk(f / kChunkFrames) : nullptr;
        if (!chunk && f >= 0 && waiting_) { // offline: as the pull loop does
            v.source->setCursor(f);
            pool_->wake();
            if (v.source->waitForChunk(f / kChunkFrames, kWaitMs))
                chunk = v.source->chunk(f / kChunkFrames);
        }
        const int inChunk = f >= 0 ? static_cast<int>(kChunkFrames - f % kChunkFrames)
                                   : static_cast<int>(std::min<std::int64_t>(-f, kHistory));
        const int n = std::min(kHistory - i, inChunk);
        if (chunk)
            r.write(chunk + 2 * (f % kChunkFrames), n);
        else
            r.writeSilence(n);
        i += n;
    }
    v.segmentCount = 0;
    addSegment(v, kHistory, v.pos);
    v.inputEnded = false;
    v.streamEnd = -1;
    v.fadeInPos = 0;
    v.step = v.stepFrom = v.stepTo =
        v.source->sampleRate() * v.rate.load(std::memory_order_relaxed) / sampleRate_;
    v.stepPos = gainRampFrames_;
}

std::int64_t AudioEngine::shownPosition(const Voice& v) const {
    if (!v.playing || !v.resampler) return std::max<std::int64_t>(0, v.pos);
    std::int64_t t = v.resampler->readFrame();
    if (v.streamEnd >= 0) t = std::min(t, v.streamEnd);
    return std::max<std::int64_t>(0, sourceFrameAt(v, t));
}

int AudioEngine::pull(Voice& v, float* dst, int frames, bool waitForData) {
    int got = 0;
    while (got < frames && !v.inputEnded) {
        // Markers set while the sound runs take effect at once: an end marker at or before
        // the read position ends the pass here.
        adoptSelection(v);
        const std::int64_t end = v.actEnd;
        if (v.pos >= end) { // the end of a pass
            ++v.passes;
            const int count = v.playCount.load(std::memory_order_relaxed);
            if (count > 0 && v.passes >= count) {
                v.inputEnded = true;
                break;
            }
            if (v.actEnd <= v.actStart) {
                v.inputEnded = true;
                break;
            }
            v.pos = v.actStart;
            addSegment(v, v.resampler->written() + got, v.pos);
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
    }
    return got;
}

int AudioEngine::produce(Voice& v, float* dst, int frames, bool waitForData) {
    Resampler& r = *v.resampler;
    const double target =
        v.source->sampleRate() * v.rate.load(std::memory_order_relaxed) / sampleRate_;
    if (target != v.stepTo) { // a new rate: glide to it from where the step stands
        v.stepFrom = v.step;
        v.stepTo = target;
        v.stepPos = 0;
    }
    int done = 0;
    while (done < frames) {
        int m = std::min(frames - done, kBlock);
        const bool gliding = v.stepPos < gainRampFrames_;
        // While gliding, the filter whose stop band begins lower serves (both have been made),
        // then the new step's own.
        const ResampleKernel* kernel = &kernelFor(v.stepTo);
        if (gliding) {
            const ResampleKernel& from = kernelFor(v.stepFrom);
            if (from.stopEdge() < kernel->stopEdge()) kernel = &from;
        }
        const int half = kernel->half();
        if (gliding) {
            m = std::min(m, kGlidePiece);
            v.step = v.stepFrom + (v.stepTo - v.stepFrom) * gainShape_[v.stepPos];
        } else {
            v.step = v.stepTo;
        }
        const double step = v.step;
        std::int64_t need = std::min<std::int64_t>(r.inputNeeded(m, step, half), r.room(half));
        while (need > 0) {
            if (v.inputEnded) { // past the end: silence for the filter to read
                r.writeSilence(static_cast<int>(need));
                break;
            }
            const int want = static_cast<int>(std::min<std::int64_t>(need, kPull));
            const int got = pull(v, pullBlock_.data(), want, waitForData);
            r.write(pullBlock_.data(), got);
            need -= got;
            if (v.inputEnded) {
                v.streamEnd = r.written();
                continue;
            }
            if (got < want) break; // not decoded yet
        }
        const std::int64_t limit =
            v.streamEnd >= 0 ? v.streamEnd : std::numeric_limits<std::int64_t>::max();
        // Back at rate 1, a read position between two frames moves onto a frame at the next
        // loop seam, from where the source plays unchanged again.
        const bool snap = step == 1.0 && r.readFraction() != 0.0;
        const std::int64_t seam = snap ? nextSeam(v, r.readFrame()) : limit;
        const int n = r.render(*kernel, step, dst + 2 * done, m, std::min(limit, seam));
        done += n;
        if (gliding) v.stepPos = std::min(gainRampFrames_, v.stepPos + n);
        if (snap && r.readFrame() >= seam) {
            r.snapToFrame();
            continue;
        }
        if (n < m) break; // not decoded yet, or the end
    }
    return done;
}

void AudioEngine::renderVoice(Voice& v, float* out, int frames, bool waitForData) {
    const float target =
        gainFor(v.volume.load(std::memory_order_relaxed), v.mute.load(std::memory_order_relaxed));
    if (target != v.gainTo) { // a change is ramped from where the gain stands, never stepped
        v.gainFrom = v.gainPos >= gainRampFrames_
                         ? v.gainTo
                         : v.gainFrom + (v.gainTo - v.gainFrom) * gainShape_[v.gainPos];
        v.gainTo = target;
        v.gainPos = 0;
    }
    int done = 0;
    while (done < frames && v.playing) {
        const int m = std::min(frames - done, kBlock);
        float* block = mixBlock_.data();
        const int n = produce(v, block, m, waitForData);
        float* dst = out + 2 * done;
        if (v.gainPos >= gainRampFrames_ && v.fadeInPos >= rampFrames_) {
            const float g = v.gainTo;
            if (g != 0.0f)
                for (int i = 0; i < 2 * n; ++i)
                    dst[i] += block[i] * g;
        } else {
            for (int i = 0; i < n; ++i) {
                float g = v.gainTo;
                if (v.gainPos < gainRampFrames_)
                    g = v.gainFrom + (v.gainTo - v.gainFrom) * gainShape_[v.gainPos++];
                if (v.fadeInPos < rampFrames_) g *= rampShape_[v.fadeInPos++];
                dst[2 * i] += block[2 * i] * g;
                dst[2 * i + 1] += block[2 * i + 1] * g;
            }
        }
        done += n;
        if (hasEnded(v)) { // played its passes: stopped
            v.playing = false;
            postNotice(Notice{NoticeEnded, static_cast<std::uint16_t>(v.index), nullptr, v.runSeq});
            break;
        }
        if (n < m) break;
    }
}

void AudioEngine::cutOff(Voice& v) {
    if (!v.playing || !v.source) return;
    float* sound = mixBlock_.data();
    const int n = hasEnded(v) ? 0 : produce(v, sound, rampFrames_, waiting_);
    // What is left of an earlier tail goes on under this one.
    const int left = v.tailFrames - v.tailPos;
    float* tail = v.tail.get();
    if (left > 0 && v.tailPos > 0)
        std::memmove(tail, tail + 2 * v.tailPos,
                     sizeof(float) * 2 * static_cast<std::size_t>(left));
    if (n > left)
        std::memset(tail + 2 * left, 0, sizeof(float) * 2 * static_cast<std::size_t>(n - left));
    int gainPos = v.gainPos;
    int fadeInPos = v.fadeInPos;
    for (int i = 0; i < n; ++i) {
        float g = v.gainTo;
        if (gainPos < gainRampFrames_)
            g = v.gainFrom + (v.gainTo - v.gainFrom) * gainShape_[gainPos++];
        if (fadeInPos < rampFrames_) g *= rampShape_[fadeInPos++];
        g *= 1.0f - rampShape_[i];
        tail[2 * i] += sound[2 * i] * g;
        tail[2 * i + 1] += sound[2 * i + 1] * g;
    }
    v.tailFrames = std::max(left, n);
    v.tailPos = 0;
}

void AudioEngine::mixTail(Voice& v, float* out, int frames) {
    const int n = std::min(frames, v.tailFrames - v.tailPos);
    const float* tail = v.tail.get() + 2 * v.tailPos;
    for (int i = 0; i < 2 * n; ++i)
        out[i] += tail[i];
    v.tailPos += n;
}

} // namespace sorvane
