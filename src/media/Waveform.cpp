#include "Waveform.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>

namespace sorvane {

namespace {

constexpr std::int64_t kFirstByte = (kWaveFirstRecord - 1) * kWaveRecordBytes;
constexpr qint64 kChunk = kWaveRecordBytes * 16384; // 2 MB a read

std::int16_t ValueAt(const unsigned char* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0]) |
                                     static_cast<std::uint16_t>(p[1]) << 8);
}

std::int64_t RecordCount(std::int64_t size) {
    if (size < kFirstByte + 2) return 0;
    return (size - kFirstByte - 2) / kWaveRecordBytes + 1;
}

// Collects the points of one pixel column and hands on its first, lowest, highest and last.
class ColumnReducer {
public:
    ColumnReducer(std::vector<WaveSample>& out, double tpp) : out_(out), tpp_(tpp) {}
    void add(const WaveSample& s) {
        const double col = std::floor(s.x / tpp_);
        if (count_ > 0 && col != column_) flush();
        if (count_ == 0) {
            column_ = col;
            first_ = low_ = high_ = s;
            lowAt_ = highAt_ = 0;
        } else {
            if (s.v < low_.v) low_ = s, lowAt_ = count_;
            if (s.v > high_.v) high_ = s, highAt_ = count_;
        }
        last_ = s;
        ++count_;
    }
    void flush() {
        if (count_ == 0) return;
        out_.push_back(first_);
        if (lowAt_ < highAt_) {
            if (lowAt_ > 0) out_.push_back(low_);
            if (highAt_ < count_ - 1) out_.push_back(high_);
        } else {
            if (highAt_ > 0) out_.push_back(high_);
            if (lowAt_ < count_ - 1) out_.push_back(low_);
        }
        if (count_ > 1) out_.push_back(last_);
        count_ = 0;
    }

private:
    std::vector<WaveSample>& out_;
    double tpp_;
    WaveSample first_{}, low_{}, high_{}, last_{};
    double column_ = 0;
    int count_ = 0;
    int lowAt_ = 0, highAt_ = 0;
};

// The points of the values in file order, x growing by `xstep` from 0, up to the first past
// the right edge.
class Tracer {
public:
    Tracer(std::vector<WaveSample>& out, double xstep, double widthTw, double tpp)
        : columns_(out, tpp), xstep_(xstep), width_(widthTw) {}
    void add(std::int16_t v) {
        if (ended_) return;
        x_ += xstep_;
        columns_.add({x_, v});
        ended_ = x_ > width_;
    }
    void finish() { columns_.flush(); }

private:
    ColumnReducer columns_;
    double x_ = 0;
    double xstep_;
    double width_;
    bool ended_ = false;
};

enum class Pass { Ended, Failed, Cancelled };

// Reads the values of `file` from the first record to the end, in chunks of whole records.
template <typename Each>
Pass ReadValues(QFile& file, const std::atomic<bool>& cancelled, Each each) {
    if (!file.seek(kFirstByte)) return file.size() <= kFirstByte ? Pass::Ended : Pass::Failed;
    std::vector<char> buffer(static_cast<std::size_t>(kChunk));
    qint64 held = 0; // bytes of a record begun in the last chunk
    for (;;) {
        if (cancelled.load(std::memory_order_relaxed)) return Pass::Cancelled;
        const qint64 got = file.read(buffer.data() + held, kChunk - held);
        if (got < 0) return Pass::Failed;
        const qint64 have = held + got;
        const auto* p = reinterpret_cast<const unsigned char*>(buffer.data());
        qint64 at = 0;
        for (; at + kWaveRecordBytes <= have; at += kWaveRecordBytes)
            each(ValueAt(p + at));
        if (got == 0) { // the end: a last record needs only its first two bytes
            if (have - at >= 2) each(ValueAt(p + at));
            return Pass::Ended;
        }
        held = have - at;
        std::copy(buffer.data() + at, buffer.data() + have, buffer.data());
    }
}

} // namespace

std::optional<WaveTrace> TraceWaveformFile(const QString& filename, double widthTw, double tpp,
                                           const std::atomic<bool>& cancelled) {
    if (filename.isEmpty()) return std::nullopt;
    QFile file(filename); // closed when it goes out of scope, whatever happens
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    // The extremes and the count, and at once the points for the count that the file's size
    // gives; when the file changed its size meanwhile, a second pass traces with the count.
    const std::int64_t expected = RecordCount(file.size());
    auto stepFor = [widthTw](std::int64_t count) {
        return (widthTw - 60) /
               (static_cast<double>(kWaveFirstRecord) + static_cast<double>(count));
    };
    WaveTrace trace;
    Tracer first(trace.points, stepFor(expected), widthTw, tpp);
    const Pass pass = ReadValues(file, cancelled, [&](std::int16_t v) {
        trace.min = std::min<int>(trace.min, v);
        trace.max = std::max<int>(trace.max, v);
        ++trace.count;
        first.add(v);
    });
    if (pass != Pass::Ended) return std::nullopt;
    first.finish();
    if (trace.count == expected) return trace;
    trace.points.clear();
    Tracer second(trace.points, stepFor(trace.count), widthTw, tpp);
    const Pass again = ReadValues(file, cancelled, [&](std::int16_t v) { second.add(v); });
    if (again == Pass::Cancelled) return std::nullopt;
    second.finish();
    trace.complete = again == Pass::Ended;
    return trace;
}

std::optional<WaveTrace> ReadWaveform(const QString& filename, double widthTw, double tpp,
                                      const std::function<bool()>& keepWaiting) {
    // What the worker shares with this thread; it outlives both.
    struct Shared {
        std::atomic<bool> done{false};
        std::atomic<bool> cancelled{false};
        std::optional<WaveTrace> trace;
    };
    auto shared = std::make_shared<Shared>();
    QObject waker; // the worker's last word wakes the wait below through it
    std::thread worker([shared, filename, widthTw, tpp, &waker] {
        shared->trace = TraceWaveformFile(filename, widthTw, tpp, shared->cancelled);
        shared->done.store(true, std::memory_order_release);
        QMetaObject::invokeMethod(
            &waker, [] {}, Qt::QueuedConnection);
    });
    // Pending events run at least once, then as they come, until the worker is done.
    for (bool first = true;; first = false) {
        const bool done = shared->done.load(std::memory_order_acquire);
        QCoreApplication::processEvents(done || first ? QEventLoop::AllEvents
                                                      : QEventLoop::WaitForMoreEvents);
        if (!keepWaiting()) {
            shared->cancelled.store(true, std::memory_order_relaxed);
            break;
        }
        if (done) break;
    }
    worker.join(); // a cancelled reading stops at its next chunk
    if (shared->cancelled.load(std::memory_order_relaxed)) return std::nullopt;
    return std::move(shared->trace);
}

std::optional<WaveScale> ScaleWaveform(const WaveTrace& trace, double heightTw) {
    if (trace.max == trace.min) return std::nullopt; // the scale would divide by nothing
    WaveScale s;
    s.yscale = (trace.max - trace.min) / (heightTw / 2);
    s.base = heightTw / 2.2;
    s.middle = heightTw / 2;
    return s;
}

void DrawWaveform(QImage& image, const WaveTrace& trace, const WaveScale& scale, double tpp) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(255, 255, 255), 1));
    const double ystep = 1.0 / (scale.yscale * tpp);
    const double base = scale.base / tpp;
    QPointF previous(0, scale.middle / tpp);
    for (const WaveSample& s : trace.points) {
        const QPointF point(s.x / tpp, s.v * ystep + base);
        p.drawLine(previous, point);
        previous = point;
    }
}

} // namespace sorvane
