#include "Waveform.h"

#include <QFile>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace sorvane {

namespace {

constexpr std::int64_t kFirstByte = (kWaveFirstRecord - 1) * kWaveRecordBytes;

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
    explicit ColumnReducer(QPainter& p) : p_(p) {}
    void add(const QPointF& pt) {
        const int col = static_cast<int>(std::floor(pt.x()));
        if (count_ > 0 && col != column_) flush();
        if (count_ == 0) {
            column_ = col;
            first_ = low_ = high_ = pt;
            lowAt_ = highAt_ = 0;
        } else {
            if (pt.y() < low_.y()) low_ = pt, lowAt_ = count_;
            if (pt.y() > high_.y()) high_ = pt, highAt_ = count_;
        }
        last_ = pt;
        ++count_;
    }
    void flush() {
        if (count_ == 0) return;
        lineTo(first_);
        if (lowAt_ < highAt_) {
            if (lowAt_ > 0) lineTo(low_);
            if (highAt_ < count_ - 1) lineTo(high_);
        } else {
            if (highAt_ > 0) lineTo(high_);
            if (lowAt_ < count_ - 1) lineTo(low_);
        }
        if (count_ > 1) lineTo(last_);
        count_ = 0;
    }
    void start(const QPointF& pt) { prev_ = pt; }

private:
    void lineTo(const QPointF& pt) {
        p_.drawLine(prev_, pt);
        prev_ = pt;
    }
    QPainter& p_;
    QPointF prev_, first_, low_, high_, last_;
    int column_ = 0;
    int count_ = 0;
    int lowAt_ = 0, highAt_ = 0;
};

} // namespace

std::vector<std::int16_t> SampleWaveform(const unsigned char* data, std::int64_t size) {
    const std::int64_t count = RecordCount(size);
    std::vector<std::int16_t> values(static_cast<std::size_t>(count));
    const unsigned char* p = data + kFirstByte;
    for (std::int64_t i = 0; i < count; ++i, p += kWaveRecordBytes)
        values[static_cast<std::size_t>(i)] = ValueAt(p);
    return values;
}

std::optional<std::vector<std::int16_t>> ReadWaveform(const QString& filename) {
    if (filename.isEmpty()) return std::nullopt;
    QFile file(filename); // closed when it goes out of scope, whatever happens
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const qint64 size = file.size();
    if (size <= 0) return std::vector<std::int16_t>{};
    if (uchar* map = file.map(0, size)) {
        auto values = SampleWaveform(map, size);
        file.unmap(map);
        return values;
    }
    // No map (a pipe or a special file system): large reads, whole records at a time.
    std::vector<std::int16_t> values;
    if (!file.seek(kFirstByte)) return values;
    constexpr qint64 kChunk = kWaveRecordBytes * 32768; // 4 MB
    std::vector<char> buffer(static_cast<std::size_t>(kChunk));
    for (;;) {
        const qint64 got = file.read(buffer.data(), kChunk);
        if (got < 0) return std::nullopt;
        for (qint64 at = 0; at + 2 <= got; at += kWaveRecordBytes)
            values.push_back(ValueAt(reinterpret_cast<const unsigned char*>(buffer.data()) + at));
        if (got < kChunk) break;
    }
    return values;
}

std::optional<WaveScale> ScaleWaveform(const std::vector<std::int16_t>& values, double widthTw,
                                       double heightTw) {
    int min = 0, max = 0;
    for (std::int16_t v : values) {
        if (v < min) min = v;
        if (v > max) max = v;
    }
    if (max == min) return std::nullopt; // the scale would divide by nothing
    const double n = static_cast<double>(kWaveFirstRecord) + static_cast<double>(values.size());
    WaveScale s;
    s.xstep = (widthTw - 60) / n;
    s.yscale = (max - min) / (heightTw / 2);
    s.base = heightTw / 2.2;
    s.middle = heightTw / 2;
    return s;
}

std::vector<WavePoint> TraceWaveform(const std::vector<std::int16_t>& values,
                                     const WaveScale& scale, double widthTw) {
    std::vector<WavePoint> points;
    double x = 0;
    for (std::int16_t v : values) {
        x += scale.xstep;
        points.push_back({x, v / scale.yscale + scale.base});
        if (x > widthTw) break;
    }
    return points;
}

void DrawWaveform(QImage& image, const std::vector<std::int16_t>& values, const WaveScale& scale,
                  double widthTw, double tpp, const std::function<bool()>& letEventsRun) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(255, 255, 255), 1));
    ColumnReducer lines(p);
    lines.start(QPointF(0, scale.middle / tpp));
    double x = 0;
    const double ystep = 1.0 / (scale.yscale * tpp);
    const double base = scale.base / tpp;
    std::size_t i = 0;
    for (std::int16_t v : values) {
        // Events run every 16384 records (a few milliseconds of drawing), so the window
        // answers while a long file is drawn.
        if ((++i & 0x3fff) == 0 && letEventsRun) {
            lines.flush();
            if (!letEventsRun()) return;
        }
        x += scale.xstep;
        lines.add(QPointF(x / tpp, v * ystep + base));
        if (x > widthTw) break;
    }
    lines.flush();
}

} // namespace sorvane
