#pragma once

// The waveform picture of the marker editor. It does not decode audio: the file is read as
// raw 128-byte records from byte 5504 on, and the first two bytes of each record are taken as
// a signed 16-bit little-endian value. The values are scaled to the graph and joined with
// white lines; the base line (value 0) lies at height / 2.2, and the first line starts from
// the middle of the left edge.
//
// The core works on the values alone (no file, no widget), in the graph's twips, so that the
// picture can be checked against the rule; the drawing turns it into an image of the graph's
// pixels once per load.

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sorvane {

inline constexpr std::int64_t kWaveRecordBytes = 128;
inline constexpr std::int64_t kWaveFirstRecord = 44; // 1-based, at byte 5504

// The sampled values of a file, in file order: one per record whose value lies wholly in the
// file, from the first record on. Empty when the file holds 5505 bytes or less.
std::vector<std::int16_t> SampleWaveform(const unsigned char* data, std::int64_t size);

// Reads the sampled values of a file with large sequential reads (or a memory map).
// Nothing when the file cannot be opened or read; the file is closed in every case.
std::optional<std::vector<std::int16_t>> ReadWaveform(const QString& filename);

struct WaveScale {
    double xstep;  // (width - 60) / n, n = the record number after the last read
    double yscale; // (max - min) / (height / 2), min and max starting at 0
    double base;   // height / 2.2
    double middle; // height / 2, where the first line starts
};

// The scale for the values on a graph of the size given in twips; nothing when all values
// are 0 (max = min), which gives no picture.
std::optional<WaveScale> ScaleWaveform(const std::vector<std::int16_t>& values, double widthTw,
                                       double heightTw);

// The end points of the lines in twips, in drawing order; the first line starts at
// (0, middle). The drawing stops past the graph's right edge.
struct WavePoint {
    double x;
    double y;
};
std::vector<WavePoint> TraceWaveform(const std::vector<std::int16_t>& values,
                                     const WaveScale& scale, double widthTw);

// Draws the lines into `image` (transparent where no line is), `tpp` twips per pixel.
// `letEventsRun` is called every 16384 values during the drawing; when it returns false the
// drawing stops where it is. Points that fall into one pixel column are reduced to the
// column's first, lowest, highest and last point, which draws the same pixels.
void DrawWaveform(QImage& image, const std::vector<std::int16_t>& values, const WaveScale& scale,
                  double widthTw, double tpp, const std::function<bool()>& letEventsRun = {});

} // namespace sorvane
