#pragma once

// The 44-byte header of a plain WAV file, for the media the tests and benchmarks write.

#include <QByteArray>
#include <cstdint>

namespace sorvane::testing {

inline constexpr int kWavPcm = 1;
inline constexpr int kWavFloat = 3;

inline QByteArray WavHeader(int format, int channels, int rate, int bits, std::uint32_t dataBytes) {
    QByteArray h;
    h.reserve(44);
    auto put = [&h](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            h.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const int frameBytes = channels * bits / 8;
    h.append("RIFF");
    put(36 + dataBytes, 4);
    h.append("WAVEfmt ");
    put(16, 4);
    put(static_cast<std::uint32_t>(format), 2);
    put(static_cast<std::uint32_t>(channels), 2);
    put(static_cast<std::uint32_t>(rate), 4);
    put(static_cast<std::uint32_t>(rate * frameBytes), 4);
    put(static_cast<std::uint32_t>(frameBytes), 2);
    put(static_cast<std::uint32_t>(bits), 2);
    h.append("data");
    put(dataBytes, 4);
    return h;
}

} // namespace sorvane::testing
