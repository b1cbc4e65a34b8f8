#include "Resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

// The vector type is passed between helpers that are always inlined, so its ABI is of no
// concern: called as functions, they would be compiled for the default processor while the
// filter loop's processor-specific variant passes vectors in other registers.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace sorvane::engine {

namespace {

// Stop band attenuation of the filter: every image and alias that is heard ends up more than
// 100 dB down.
constexpr double kAttenuationDb = 105.0;
// The pass band's share of the lower Nyquist frequency, as cycles per frame of that rate.
constexpr double kPassShare = 0.45;

// The pass band's edge for a step, in cycles per input frame.
double passEdge(double step) {
    return kPassShare * std::min(1.0, 1.0 / step);
}

// Where the stop band must begin for a step, in cycles per input frame; `audible` is the
// highest frequency heard, in cycles per output frame. In output cycles the input's Nyquist
// frequency lies at step / 2 (above the output's 1/2 it is cut at the output's). A filter
// whose band ends at the lower Nyquist frequency leaves nothing mirrored; past that, what is
// mirrored lands above `audible` as long as the band ends below 1 - `audible`.
double stopBandEdge(double step, double audible) {
    const double nyquist = 0.5 * std::min(step, 1.0);
    if (nyquist < audible) return nyquist / step;
    return std::max(nyquist, 1.0 - audible) / step;
}

double besselI0(double x) {
    double sum = 1, term = 1;
    const double q = x * x / 4;
    for (int k = 1; k < 200; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

using v8 = float __attribute__((vector_size(32)));

[[gnu::always_inline]] inline v8 load8(const float* p) {
    v8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline float sum8(v8 v) {
    return ((v[0] + v[4]) + (v[1] + v[5])) + ((v[2] + v[6]) + (v[3] + v[7]));
}

struct ReadPosition {
    std::int64_t whole;
    double fraction;
};

// Output frames, each the quadratic's coefficients about the read position's nearest phase
// times the input taps around it, while the input allows and the limit is not reached.
// Sanitizer builds take the portable loop only: their run-time checks cannot follow the
// processor-specific variant's selector and report loads through it that do not happen.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) &&                             \
    !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
int filterFrames(const ResampleKernel& kernel, double step, const float* left, const float* right,
                 std::int64_t end, ReadPosition& at, float* out, int frames) {
    const int taps = kernel.taps();
    const int half = kernel.half();
    int n = 0;
    for (; n < frames && at.whole < end; ++n) {
        const double phase = at.fraction * ResampleKernel::kPhases;
        const int p = static_cast<int>(phase + 0.5); // 0 to kPhases
        const float d = static_cast<float>(phase - p);
        // Each block of 8 taps holds the quadratic's three coefficients for them in turn.
        const float* a = kernel.row(p);
        const int first = static_cast<int>((at.whole - half + 1) & (Resampler::kCapacity - 1));
        const float* l = left + first;
        const float* r = right + first;
        const v8 dv = {d, d, d, d, d, d, d, d};
        // Two sums per channel halve the chain of dependent additions.
        v8 accL = {}, accR = {}, accL2 = {}, accR2 = {};
        int k = 0;
        for (; k + 16 <= taps; k += 16, a += 48) {
            const v8 c = (load8(a + 16) * dv + load8(a + 8)) * dv + load8(a);
            const v8 c2 = (load8(a + 40) * dv + load8(a + 32)) * dv + load8(a + 24);
            accL += c * load8(l + k);
            accR += c * load8(r + k);
            accL2 += c2 * load8(l + k + 8);
            accR2 += c2 * load8(r + k + 8);
        }
        if (k < taps) {
            const v8 c = (load8(a + 16) * dv + load8(a + 8)) * dv + load8(a);
            accL += c * load8(l + k);
            accR += c * load8(r + k);
        }
        out[2 * n] = sum8(accL + accL2);
        out[2 * n + 1] = sum8(accR + accR2);
        const double next = at.fraction + step; // never negative: truncation is the floor
        const auto whole = static_cast<std::int64_t>(next);
        at.whole += whole;
        at.fraction = next - static_cast<double>(whole);
    }
    return n;
}

} // namespace

int ResampleKernel::indexFor(double step) {
    const double idx = std::ceil(step * kStepDivisions - 1e-9);
    return static_cast<int>(std::clamp(idx, 1.0, static_cast<double>(kIndices - 1)));
}

ResampleKernel::ResampleKernel(int index, int outputRate) {
    index = std::clamp(index, 1, kIndices - 1);
    // The band edges that serve every step of the index: the widest pass band that each
    // needs and the lowest stop band edge.
    const double lowest = std::max(index - 1.0, 0.5) / kStepDivisions;
    const double highest = static_cast<double>(index) / kStepDivisions;
    const double audible = std::min(kAudibleHz / std::max(outputRate, 1), 0.5);
    const double pass = passEdge(lowest);
    stop_ = std::min(stopBandEdge(lowest, audible), stopBandEdge(highest, audible));
    cutoff_ = (pass + stop_) / 2;
    beta_ = 0.1102 * (kAttenuationDb - 8.7);
    // Kaiser's estimate of the length for this attenuation and transition width (in cycles
    // per input frame), rounded up to whole vectors.
    const double width = stop_ - pass;
    const double length = (kAttenuationDb - 7.95) / (14.36 * width) + 1;
    const int half = 4 * static_cast<int>(std::ceil(length / 8));
    taps_ = 2 * half;

    // The filter on a grid of kPhases points per frame: point g lies at u = g / kPhases - half,
    // and is grid[g + 1]; one point more at each end serves the quadratic.
    const int points = kPhases * taps_ + 3;
    std::vector<double> grid(static_cast<std::size_t>(points));
    for (int g = -1; g < points - 1; ++g)
        grid[g + 1] = value(static_cast<double>(g) / kPhases - half);
    coef_.reset(new float[static_cast<std::size_t>(kPhases + 1) * 3 * taps_]);
    for (int p = 0; p <= kPhases; ++p) {
        float* row = coef_.get() + static_cast<std::size_t>(p) * 3 * taps_;
        for (int k = 0; k < taps_; ++k) {
            // Tap k weighs the input frame (half - 1 - k) frames before the read position's
            // whole frame; at fraction (p + d) / kPhases, d in [-1/2, 1/2], it is the filter at
            // u = half - 1 - k + (p + d) / kPhases: the quadratic through the grid's points at
            // d = -1, 0 and 1.
            const int g = (taps_ - 1 - k) * kPhases + p;
            const double ym = grid[g], y0 = grid[g + 1], y1 = grid[g + 2];
            float* a = row + 24 * (k / 8) + k % 8; // the three coefficients lie 8 apart
            a[0] = static_cast<float>(y0);
            a[8] = static_cast<float>((y1 - ym) / 2);
            a[16] = static_cast<float>((y1 + ym) / 2 - y0);
        }
    }
}

double ResampleKernel::value(double u) const {
    const double half = taps_ / 2;
    if (std::abs(u) >= half) return 0;
    const double x = 2 * cutoff_ * u;
    const double sinc = std::abs(x) < 1e-12 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
    const double r = u / half;
    const double window = besselI0(beta_ * std::sqrt(std::max(0.0, 1 - r * r))) / besselI0(beta_);
    return 2 * cutoff_ * sinc * window;
}

Resampler::Resampler() : left_(new float[2 * kCapacity]()), right_(new float[2 * kCapacity]()) {}

void Resampler::reset(int history) {
    written_ = 0;
    readInt_ = history;
    readFrac_ = 0;
}

int Resampler::room(int half) const {
    // The oldest frame still needed is readInt_ - half + 1.
    const std::int64_t oldest = readInt_ - half + 1;
    return static_cast<int>(std::max<std::int64_t>(0, oldest + kCapacity - written_));
}

void Resampler::write(const float* in, int frames) {
    for (int i = 0; i < frames; ++i) {
        const int at = static_cast<int>(written_ & (kCapacity - 1));
        left_[at] = left_[at + kCapacity] = in[2 * i];
        right_[at] = right_[at + kCapacity] = in[2 * i + 1];
        ++written_;
    }
}

void Resampler::writeSilence(int frames) {
    for (int i = 0; i < frames; ++i) {
        const int at = static_cast<int>(written_ & (kCapacity - 1));
        left_[at] = left_[at + kCapacity] = 0.0f;
        right_[at] = right_[at + kCapacity] = 0.0f;
        ++written_;
    }
}

std::int64_t Resampler::inputNeeded(int frames, double step, int half) const {
    if (frames <= 0) return 0;
    // The last output frame reads up to its whole frame + half. Rendering adds the step frame
    // by frame, and its sum may round to the next whole frame where this product does not (a
    // step of 1/3): one frame more is asked, or that output frame would wait for the next call.
    const double last = readFrac_ + (frames - 1) * step;
    const std::int64_t lastInt = readInt_ + static_cast<std::int64_t>(std::floor(last));
    return std::max<std::int64_t>(0, lastInt + half + 2 - written_);
}

int Resampler::render(const ResampleKernel& kernel, double step, float* out, int frames,
                      std::int64_t limit) {
    // The last frame that may be read is written_ - 1: a read position needs half after it.
    const std::int64_t end = std::min(limit, written_ - kernel.half());
    if (step == 1.0 && readFrac_ == 0.0) { // the input as it is
        int n = 0;
        for (; n < frames && readInt_ < end; ++n, ++readInt_) {
            const int at = static_cast<int>(readInt_ & (kCapacity - 1));
            out[2 * n] = left_[at];
            out[2 * n + 1] = right_[at];
        }
        return n;
    }
    ReadPosition at{readInt_, readFrac_};
    const int n = filterFrames(kernel, step, left_.get(), right_.get(), end, at, out, frames);
    readInt_ = at.whole;
    readFrac_ = at.fraction;
    return n;
}

void Resampler::snapToFrame() {
    if (readFrac_ >= 0.5) ++readInt_;
    readFrac_ = 0;
}

} // namespace sorvane::engine
