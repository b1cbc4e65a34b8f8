#include "Resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

// The vector type is passed between inlined helpers only; its ABI is of no concern.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace sorvane::engine {

namespace {

// Stopband attenuation of the filter: images and aliases end up more than 120 dB down.
constexpr double kAttenuationDb = 126.0;
// Half the transition band, as a share of the lower of the two sample rates: the band runs
// from 41.25% to 58.75% of it (18.2 kHz to 25.9 kHz for a 44.1 kHz input), so the band up
// to 18 kHz is untouched and every image of it is removed.
constexpr double kHalfTransition = 0.0875;

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

inline v8 load8(const float* p) {
    v8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline float sum8(v8 v) {
    return ((v[0] + v[4]) + (v[1] + v[5])) + ((v[2] + v[6]) + (v[3] + v[7]));
}

struct ReadPosition {
    std::int64_t whole;
    double fraction;
};

// Output frames, each the cubic's coefficients at the read position's fraction times the
// input taps around it, while the input allows and the limit is not reached.
// Sanitizer builds take the portable loop only: their run-time checks cannot follow the
// processor-specific variant's selector and report loads through it that do not happen.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) &&                          \
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
        const int p = std::min(static_cast<int>(phase), ResampleKernel::kPhases - 1);
        const float d = static_cast<float>(phase - p);
        const float* a0 = kernel.row(p);
        const float* a1 = a0 + taps;
        const float* a2 = a1 + taps;
        const float* a3 = a2 + taps;
        const int first = static_cast<int>((at.whole - half + 1) & (Resampler::kCapacity - 1));
        const float* l = left + first;
        const float* r = right + first;
        const v8 dv = {d, d, d, d, d, d, d, d};
        // Two sums per channel halve the chain of dependent additions.
        v8 accL = {}, accR = {}, accL2 = {}, accR2 = {};
        int k = 0;
        for (; k + 16 <= taps; k += 16) {
            const v8 c =
                ((load8(a3 + k) * dv + load8(a2 + k)) * dv + load8(a1 + k)) * dv + load8(a0 + k);
            const int j = k + 8;
            const v8 c2 =
                ((load8(a3 + j) * dv + load8(a2 + j)) * dv + load8(a1 + j)) * dv + load8(a0 + j);
            accL += c * load8(l + k);
            accR += c * load8(r + k);
            accL2 += c2 * load8(l + j);
            accR2 += c2 * load8(r + j);
        }
        if (k < taps) {
            const v8 c =
                ((load8(a3 + k) * dv + load8(a2 + k)) * dv + load8(a1 + k)) * dv + load8(a0 + k);
            accL += c * load8(l + k);
            accR += c * load8(r + k);
        }
        out[2 * n] = sum8(accL + accL2);
        out[2 * n + 1] = sum8(accR + accR2);
        const double next = at.fraction + step;
        const double whole = std::floor(next);
        at.whole += static_cast<std::int64_t>(whole);
        at.fraction = next - whole;
    }
    return n;
}

} // namespace

int ResampleKernel::indexFor(double step) {
    if (!(step > 1.0)) return 0;
    const double idx = std::ceil((step - 1.0) * kStretchSteps - 1e-9);
    return static_cast<int>(std::clamp(idx, 0.0, static_cast<double>(kIndices - 1)));
}

ResampleKernel::ResampleKernel(int index) {
    stretch_ = stretchOf(std::clamp(index, 0, kIndices - 1));
    beta_ = 0.1102 * (kAttenuationDb - 8.7);
    // Kaiser's estimate of the length for this attenuation and transition width (in cycles
    // per input frame), rounded up to whole vectors.
    const double width = 2 * kHalfTransition / stretch_;
    const double length = (kAttenuationDb - 7.95) / (14.36 * width) + 1;
    const int half = 4 * static_cast<int>(std::ceil(length / 8));
    taps_ = 2 * half;

    // The filter on a grid of kPhases points per frame: point m lies at u = m / kPhases - half,
    // with one point more at each end for the cubic.
    const int points = kPhases * taps_ + 3;
    std::vector<double> grid(static_cast<std::size_t>(points));
    for (int m = -1; m < points - 1; ++m)
        grid[m + 1] = value(static_cast<double>(m) / kPhases - half);
    coef_.reset(new float[static_cast<std::size_t>(kPhases) * 4 * taps_]);
    for (int p = 0; p < kPhases; ++p) {
        float* a0 = coef_.get() + static_cast<std::size_t>(p) * 4 * taps_;
        float* a1 = a0 + taps_;
        float* a2 = a1 + taps_;
        float* a3 = a2 + taps_;
        for (int k = 0; k < taps_; ++k) {
            // Tap k weighs the input frame (half - 1 - k) frames before the read position's
            // whole frame; at fraction (p + d) / kPhases it is the filter at
            // u = half - 1 - k + (p + d) / kPhases.
            const int m = (taps_ - 1 - k) * kPhases + p + 1; // grid index of u0
            const double ym = grid[m - 1], y0 = grid[m], y1 = grid[m + 1], y2 = grid[m + 2];
            a0[k] = static_cast<float>(y0);
            a1[k] = static_cast<float>(-ym / 3 - y0 / 2 + y1 - y2 / 6);
            a2[k] = static_cast<float>(ym / 2 - y0 + y1 / 2);
            a3[k] = static_cast<float>(-ym / 6 + y0 / 2 - y1 / 2 + y2 / 6);
        }
    }
}

double ResampleKernel::value(double u) const {
    const double half = taps_ / 2;
    if (std::abs(u) >= half) return 0;
    const double x = u / stretch_;
    const double sinc = std::abs(x) < 1e-12 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
    const double r = u / half;
    const double window = besselI0(beta_ * std::sqrt(std::max(0.0, 1 - r * r))) / besselI0(beta_);
    return sinc * window / stretch_;
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
    // The last output frame reads up to its whole frame + half.
    const double last = readFrac_ + (frames - 1) * step;
    const std::int64_t lastInt = readInt_ + static_cast<std::int64_t>(std::floor(last));
    return std::max<std::int64_t>(0, lastInt + half + 1 - written_);
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
