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

// The interpolation filter for a narrow range of read steps (input frames per output frame):
// a Kaiser-windowed sinc. Its pass band reaches 90% of the lower of the two Nyquist frequencies
// (the input's, played at the step, and the output's). Its stop band begins where an image or
// alias would first land below 20 kHz of the output: at the input's Nyquist frequency when
// that lies below 20 kHz, else where the output's mirror of 20 kHz lies (28 kHz at 48 kHz).
// It is tabulated at kPhases + 1 fractional positions per input frame, with a quadratic about
// the nearest one in between.
class ResampleKernel {
public:
    static constexpr int kPhases = 128;
    // Steps are taken in ranges of 1/kStepDivisions, up to kMaxStep.
    static constexpr int kStepDivisions = 32;
    static constexpr double kMaxStep = 8.0;
    static constexpr int kIndices = static_cast<int>(kMaxStep * kStepDivisions) + 1;
    // The highest frequency heard, in Hz; what mirrors lands above it is left alone.
    static constexpr double kAudibleHz = 20000.0;

    // The filter for the steps of `index` at the output rate `outputRate`.
    ResampleKernel(int index, int outputRate);

    // The kernel index that serves a read step: steps in ((index - 1), index] / kStepDivisions.
    static int indexFor(double step);

    int taps() const { return taps_; } // a multiple of 8
    int half() const { return taps_ / 2; }
    // Where the stop band begins, in cycles per input frame.
    double stopEdge() const { return stop_; }
    // The quadratic's coefficients about `phase` in [0, kPhases]: for each block of 8 taps,
    // the three coefficients of each of them, 8 apart.
    const float* row(int phase) const {
        return coef_.get() + static_cast<std::size_t>(phase) * 3 * taps_;
    }

private:
    double value(double u) const;

    int taps_ = 0;
    double cutoff_ = 0.5; // the sinc's cutoff, cycles per input frame
    double stop_ = 0.5;
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
