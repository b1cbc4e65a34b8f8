#pragma once

// The waveform picture of the marker editor. It does not decode audio: the file is read as
// raw 128-byte records from byte 5504 on, and the first two bytes of each record are taken as
// a signed 16-bit little-endian value. The values are scaled to the graph and joined with
// white lines; the base line (value 0) lies at height / 2.2, and the first line starts from
// the middle of the left edge.
//
// The file is read with ordinary reads of bounded chunks (a file that shrinks meanwhile ends
// where it ends), on a worker thread while the window's events go on, and only the points
// that the picture draws are kept (a few per pixel column): a file of any size costs the
// window no pause and the program a few megabytes. The core works on values and twips (no
// widget), so that the picture can be checked against the rule; the drawing turns it into an
// image of the graph's pixels.

#include <QImage>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sorvane {

inline constexpr std::int64_t kWaveRecordBytes = 128;
inline constexpr std::int64_t kWaveFirstRecord = 44; // 1-based, at byte 5504

// A point of the picture: x in twips, the value read there.
struct WaveSample {
    double x;
    std::int16_t v;
};

// What a file gives the picture: the extremes (both starting at 0) and the number of the
// values read, and the points to join, in drawing order after the start point. Points that
// fall into one pixel column are reduced to the column's first, lowest, highest and last,
// which draw the same pixels.
struct WaveTrace {
    int min = 0;
    int max = 0;
    std::int64_t count = 0;
    std::vector<WaveSample> points;
    bool complete = true; // false: a read failed while the points were collected
};

// Reads `filename` for a graph `widthTw` twips wide at `tpp` twips a pixel: the values of all
// records, then the points, x growing by (width - 60) / n from 0 (n = 44 + the values: the
// record number after the last read), up to the first past the graph's right edge. Nothing when the
// file cannot be opened, a read fails before every value has been seen, or `cancelled` is set; the
// file is closed in every case. Runs on any thread.
std::optional<WaveTrace> TraceWaveformFile(const QString& filename, double widthTw, double tpp,
                                           const std::atomic<bool>& cancelled);

// As TraceWaveformFile, on a worker thread; meanwhile the calling (GUI) thread lets pending
// events and timers run, and gives up, with nothing, once `keepWaiting` returns false.
std::optional<WaveTrace> ReadWaveform(const QString& filename, double widthTw, double tpp,
                                      const std::function<bool()>& keepWaiting);

struct WaveScale {
    double yscale; // (max - min) / (height / 2)
    double base;   // height / 2.2
    double middle; // height / 2, where the first line starts
};

// The scale for a trace on a graph of the height given in twips; nothing when all values are 0
// (max = min), which gives no picture.
std::optional<WaveScale> ScaleWaveform(const WaveTrace& trace, double heightTw);

// Draws the trace's lines into `image` (transparent where no line is), `tpp` twips per pixel.
void DrawWaveform(QImage& image, const WaveTrace& trace, const WaveScale& scale, double tpp);

} // namespace sorvane
