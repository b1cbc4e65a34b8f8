#pragma once

// The power spectrum of the left channel of interleaved stereo frames through a Kaiser window of
// beta 20 (sidelobes below -150 dB), levels in dB to a tone of a given amplitude.

#include <algorithm>
#include <cmath>
#include <complex>
#include <numeric>
#include <vector>

namespace sorvane::testing {

class ToneLevels {
public:
    // `size` (a power of two) frames of `f` from frame `from`, sampled at `rate`.
    ToneLevels(const std::vector<float>& f, int from, int size, int rate = 48000)
        : size_(size), rate_(rate), power_(static_cast<std::size_t>(size / 2)) {
        std::vector<std::complex<double>> a(static_cast<std::size_t>(size));
        double sum = 0, squares = 0;
        for (int i = 0; i < size; ++i) {
            const double r = 2.0 * i / (size - 1) - 1;
            const double w = std::cyl_bessel_i(0.0, 20 * std::sqrt(std::max(0.0, 1 - r * r))) /
                             std::cyl_bessel_i(0.0, 20.0);
            sum += w;
            squares += w * w;
            a[static_cast<std::size_t>(i)] = f[2 * static_cast<std::size_t>(from + i)] * w;
        }
        fft(a);
        peakShare_ = sum * sum / (size * squares);
        for (int k = 0; k < size / 2; ++k) // a tone's bins add up to A * A
            power_[static_cast<std::size_t>(k)] =
                4 * std::norm(a[static_cast<std::size_t>(k)]) / (size * squares);
    }

    int bin(double hz) const { return static_cast<int>(std::lround(hz / rate_ * size_)); }
    // The amplitude of a tone at `hz`.
    double amplitude(double hz) const {
        const int b = std::clamp(bin(hz), kLobe, size_ / 2 - kLobe - 1);
        const auto from = power_.begin() + (b - kLobe);
        return std::sqrt(std::accumulate(from, from + 2 * kLobe + 1, 0.0));
    }
    // The strongest bin in [fromHz, toHz) away from `skipHz`, in dB to a tone of amplitude `ref`.
    double largestDb(double fromHz, double toHz, double ref, double skipHz = -1e9) const {
        double most = 1e-30;
        for (int k = std::max(kLobe, bin(fromHz)); k < std::min(size_ / 2, bin(toHz)); ++k)
            if (std::abs(k - bin(skipHz)) > kLobe)
                most = std::max(most, power_[static_cast<std::size_t>(k)]);
        return 10 * std::log10(most / (ref * ref * peakShare_));
    }

private:
    static constexpr int kLobe = 12;

    static void fft(std::vector<std::complex<double>>& a) {
        const std::size_t half = a.size() / 2;
        if (half == 0) return;
        std::vector<std::complex<double>> even(half), odd(half);
        for (std::size_t i = 0; i < half; ++i) {
            even[i] = a[2 * i];
            odd[i] = a[2 * i + 1];
        }
        fft(even);
        fft(odd);
        for (std::size_t k = 0; k < half; ++k) {
            const auto t = std::polar(1.0, -M_PI * static_cast<double>(k) / half) * odd[k];
            a[k] = even[k] + t;
            a[k + half] = even[k] - t;
        }
    }

    int size_;
    int rate_;
    std::vector<double> power_;
    double peakShare_ = 1;
};

} // namespace sorvane::testing
