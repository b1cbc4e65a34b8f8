#pragma once

// The 44-byte header of a plain WAV file, for the media the tests and benchmarks write.

#include <QByteArray>
#include <cstdint>
#include <utility>

namespace sorvane::testing {

inline constexpr int kWavPcm = 1;
inline constexpr int kWavFloat = 3;

inline QByteArray WavHeader(int format, int channels, int rate, int bits, std::uint32_t dataBytes) {
    const auto frameBytes = static_cast<std::uint32_t>(channels * bits / 8);
    const auto n = [](int v) { return static_cast<std::uint32_t>(v); };
    // Each field as (value, bytes), little-endian; the four-letter tags come between.
    const std::pair<std::uint32_t, int> fields[] = {
        {36 + dataBytes, 4},       {16, 4},         {n(format), 2}, {n(channels), 2}, {n(rate), 4},
        {n(rate) * frameBytes, 4}, {frameBytes, 2}, {n(bits), 2},   {dataBytes, 4}};
    QByteArray h;
    for (int f = 0; f < 9; ++f) {
        h.append(f == 0 ? "RIFF" : f == 1 ? "WAVEfmt " : f == 8 ? "data" : "");
        for (int i = 0; i < fields[f].second; ++i)
            h.append(static_cast<char>((fields[f].first >> (8 * i)) & 0xFF));
    }
    return h;
}

} // namespace sorvane::testing
