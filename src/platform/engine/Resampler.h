#pragma once

// Band-limited resampling of one voice: a windowed-sinc interpolator whose read step may
// change from one output frame to the next, so a rate change neither skips nor repeats a
// frame, and whose history always holds the frames before the read position.
//
// Threads: a ResampleKernel is built on the control thread and never changes after; the
// audio thread only reads it. A Resampler allocates its storage when it is made (control
// thread) and is used by the audio thread only: no call of it locks or allocates.

#include <cstdint>
#include <memory>

namespace sorvane::engine {

// The interpolation filter for one stretch factor: a Kaiser-windowed sinc whose cutoff lies
// at the Nyquist frequency of the input (stretch 1) or of the output (stretch = input frames
// per output frame, when that is above 1), tabulated at kPhases fractional positions per
// input frame with a cubic in between.
class ResampleKernel {
public:
    static constexpr int kPhases = 64;
    // Stretch factors are taken in steps of 1/kStretchSteps upwards, up to kMaxStretch.
    static constexpr int kStretchSteps = 32;
    static constexpr double kMaxStretch = 8.0;
    static constexpr int kIndices = static_cast<int>((kMaxStretch - 1.0) * kStretchSteps) + 1;

    explicit ResampleKernel(int index);

    // The kernel index that serves a read step (input frames per output frame).
    static int indexFor(double step);
    static double stretchOf(int index) { return 1.0 + static_cast<double>(index) / kStretchSteps; }

    int taps() const { return taps_; } // a multiple of 8
    int half() const { return taps_ / 2; }
    // The cubic's four coefficient rows (each `taps` long) for `phase` in [0, kPhases).
    const float* row(int phase) const {
        return coef_.get() + static_cast<std::size_t>(phase) * 4 * taps_;
    }

private:
    double value(double u) const;

    int taps_ = 0;
    double stretch_ = 1;
    double beta_ = 0;
    std::unique_ptr<float[]> coef_;
};

class Resampler {
public:
    // Frames of input the history holds; a step of output must read less than this.
    static constexpr int kCapacity = 8192;

    Resampler();

    // Starts a new stream: the read position stands after `history` frames, which the
    // caller writes next (the frames before the start, or silence).
    void reset(int history);
    // Input frames written so far (the stream index of the next one).
    std::int64_t written() const { return written_; }
    // The read position in the stream: whole frames and the fraction.
    std::int64_t readFrame() const { return readInt_; }
    double readFraction() const { return readFrac_; }
    // Frames that may still be written before unread history would be overwritten.
    int room(int half) const;
    void write(const float* interleaved, int frames);
    void writeSilence(int frames);
    // Input frames to write so that `frames` outputs at `step` can be made.
    std::int64_t inputNeeded(int frames, double step, int half) const;
    // Output frames that the written input allows, up to `frames`, none at or past `limit`.
    // A step of exactly 1 from a whole frame copies the input unchanged.
    int render(const ResampleKernel& kernel, double step, float* out, int frames,
               std::int64_t limit);
    // Moves the read position to the nearest whole frame (a loop seam at rate 1).
    void snapToFrame();

private:
    std::unique_ptr<float[]> left_;  // 2 * kCapacity each: every frame is stored twice, so
    std::unique_ptr<float[]> right_; // that a filter's span never wraps
    std::int64_t written_ = 0;
    std::int64_t readInt_ = 0;
    double readFrac_ = 0;
};

} // namespace sorvane::engine
