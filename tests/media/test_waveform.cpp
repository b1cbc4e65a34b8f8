// The waveform: the values sampled from the raw file, the scale and the points against the
// rule, the picture drawn into the editor's graph, and files that give no picture.

#include "MediaFixture.h"
#include "core/Module1.h"
#include "core/Twips.h"
#include "media/Form5.h"
#include "media/Waveform.h"
#include "platform/engine/MediaPlayer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace sorvane;
using namespace sorvane::testing;

namespace {

// A file of `records` records after the 5504 bytes that are skipped; record k (0-based)
// starts with value(k), the rest of each record is filled with 0x7f.
QString WriteRecords(const QString& path, int records, const std::function<int(int)>& value,
                     int tail = 0) {
    QByteArray bytes(5504, '\x55');
    for (int k = 0; k < records; ++k) {
        QByteArray rec(128, '\x7f');
        const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(value(k)));
        rec[0] = static_cast<char>(v & 0xff);
        rec[1] = static_cast<char>(v >> 8);
        bytes += rec;
    }
    bytes += QByteArray(tail, '\x7f');
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(bytes);
    return path;
}

// Markers apart, so that the band has a width to show.
void SpreadMarkers(Form5& form) {
    MediaLength = 10;
    form.MediaPlayer1->setSelectionStart(1);
    form.MediaPlayer1->setSelectionEnd(6);
    form.SetMarkers();
}

int WhitePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == QColor(255, 255, 255) ? 1 : 0;
    return n;
}

} // namespace

class WaveformTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<AudioEngine> engine;
    RecordingFields fields;
    QString path(const QString& n) const { return dir.filePath(n); }

private slots:
    void initTestCase() { engine = std::make_unique<AudioEngine>(OfflineEngine()); }
    void cleanupTestCase() { engine.reset(); }

    void samplesOneValuePerRecordFromByte5504() {
        // 16-bit stereo: one value every 32nd frame; the first comes from byte 5504.
        const QString f = WriteRecords(path("r.raw"), 5, [](int k) { return k * 1000 - 2000; });
        const auto values = ReadWaveform(f);
        QVERIFY(values.has_value());
        QCOMPARE(*values, (std::vector<std::int16_t>{-2000, -1000, 0, 1000, 2000}));
        // A last record with only one byte of its value is not read.
        const QString g = WriteRecords(path("t.raw"), 2, [](int) { return 7; }, 1);
        QCOMPARE(ReadWaveform(g)->size(), std::size_t(2));
        const QString h = WriteRecords(path("u.raw"), 2, [](int) { return 7; }, 2);
        QCOMPARE(ReadWaveform(h)->size(), std::size_t(3));
        QVERIFY(!ReadWaveform(path("missing.raw")).has_value());
        QVERIFY(!ReadWaveform(QString()).has_value());
    }

    void valueSpanningThousandLands153_75BelowBase() {
        // Values -1000..1000 on a graph 8715 x 615 twips.
        std::vector<std::int16_t> values{0, 1000, -1000, 500};
        const auto scale = ScaleWaveform(values, 8715, 615);
        QVERIFY(scale.has_value());
        QCOMPARE(scale->yscale, 2000 / 307.5);
        QCOMPARE(scale->base, 615 / 2.2);
        QCOMPARE(scale->xstep, (8715 - 60) / 48.0); // n = 44 + 4 reads
        const auto points = TraceWaveform(values, *scale, 8715);
        QCOMPARE(points.size(), std::size_t(4));
        QVERIFY(std::abs(points[1].y - (615 / 2.2 + 153.75)) < 1e-9);
        QVERIFY(std::abs(points[2].y - (615 / 2.2 - 153.75)) < 1e-9);
        QCOMPARE(points[0].y, 615 / 2.2);
        QVERIFY(std::abs(points[3].x - 4 * scale->xstep) < 1e-9);
        // The picture covers (width - 60) x reads / (44 + reads) of the width.
        QVERIFY(points.back().x < 8715 - 60);
    }

    void noPictureForSilenceAndFlatLineForConstant() {
        QVERIFY(!ScaleWaveform({0, 0, 0}, 8715, 615).has_value());
        QVERIFY(!ScaleWaveform({}, 8715, 615).has_value());
        const auto scale = ScaleWaveform({300, 300, 300}, 8715, 615);
        QVERIFY(scale.has_value()); // min starts at 0, so a constant value still has a scale
        const auto points = TraceWaveform({300, 300, 300}, *scale, 8715);
        QCOMPARE(points[0].y, points[2].y);
    }

    void graphShowsLinesWhereTheRuleSays() {
        Form5 form(*engine, fields, nullptr);
        SpreadMarkers(form);
        const QString f = WriteRecords(path("pm.raw"), 40, [](int k) {
            return k % 2 ? 1000 : -1000;
        });
        form.LoadGraph(f);
        const QImage& pic = form.Picture1->picture;
        QCOMPARE(pic.size(), QSize(581, 41));
        const double tpp = TwipsPerPixel();
        QCOMPARE(tpp, 15.0);
        // The value 1000 lies at (615 / 2.2 + 153.75) / 15 = 28.9 pixels, -1000 at 8.4.
        const double xstep = (8715 - 60) / 84.0 / tpp;
        const int col = static_cast<int>(std::floor(2 * xstep)); // second point: +1000
        bool low = false, high = false;
        for (int y = 27; y <= 30; ++y)
            low = low || pic.pixelColor(col, y) == QColor(255, 255, 255);
        for (int y = 7; y <= 10; ++y)
            high = high || pic.pixelColor(static_cast<int>(std::floor(3 * xstep)), y) ==
                               QColor(255, 255, 255);
        QVERIFY(low);
        QVERIFY(high);
        // Nothing right of the last point, nothing above the highest value.
        const int last = static_cast<int>(std::ceil(40 * xstep)) + 1;
        for (int x = last; x < pic.width(); ++x)
            for (int y = 0; y < pic.height(); ++y)
                QVERIFY(pic.pixelColor(x, y).alpha() == 0);
        for (int x = 0; x < pic.width(); ++x)
            for (int y = 0; y < 7; ++y)
                QVERIFY(pic.pixelColor(x, y).alpha() == 0);
        QVERIFY(form.Picture1->bandVisible);
        // The same file again gives the same picture.
        const QImage first = pic;
        form.LoadGraph(f);
        QCOMPARE(form.Picture1->picture, first);
    }

    void filesThatGiveNoPicture() {
        Form5 form(*engine, fields, nullptr);
        SpreadMarkers(form);
        const QString good = WriteRecords(path("good.raw"), 40, [](int k) { return k * 50 - 900; });
        form.LoadGraph(good);
        const QImage drawn = form.Picture1->picture;
        QVERIFY(WhitePixels(drawn) > 40);
        // Unreadable: the earlier picture stays, the band is hidden.
        form.LoadGraph(path("missing.wav"));
        QCOMPARE(form.Picture1->picture, drawn);
        QVERIFY(!form.Picture1->bandVisible);
        form.LoadGraph(QString());
        QCOMPARE(form.Picture1->picture, drawn);
        // Empty, short (5504 bytes or less) and all-zero files clear the graph.
        const QString empty = path("empty.wav");
        QFile(empty).open(QIODevice::WriteOnly);
        const QString shortFile = WriteRecords(path("short.wav"), 0, [](int) { return 0; });
        const QString zeros = WriteRecords(path("zeros.wav"), 50, [](int) { return 0; });
        for (const QString& f : {empty, shortFile, zeros}) {
            form.LoadGraph(good);
            QVERIFY(form.Picture1->bandVisible);
            form.LoadGraph(f);
            QCOMPARE(WhitePixels(form.Picture1->picture), 0);
            QVERIFY(!form.Picture1->bandVisible);
        }
    }

    void everyFileOpenedIsClosed() {
        const auto openFiles = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
        Form5 form(*engine, fields, nullptr);
        SpreadMarkers(form);
        const QString good = WriteRecords(path("fd.raw"), 20000, [](int k) { return k % 300; });
        const QString zeros = WriteRecords(path("fdz.raw"), 30, [](int) { return 0; });
        QFile unreadable(path("locked.raw"));
        QVERIFY(unreadable.open(QIODevice::WriteOnly));
        unreadable.write(QByteArray(9000, 'x'));
        unreadable.close();
        unreadable.setPermissions(QFileDevice::Permissions{});
        form.LoadGraph(good); // the first load may open lasting things (fonts, caches)
        const auto before = openFiles();
        for (int i = 0; i < 5; ++i) {
            form.LoadGraph(good);
            form.LoadGraph(zeros);
            form.LoadGraph(path("locked.raw"));
            form.LoadGraph(path("missing.raw"));
            form.LoadGraph(dir.path()); // a folder
        }
        QCOMPARE(openFiles(), before);
    }

    void longFileDrawsEveryColumnAndLetsEventsRun() {
        // 400000 records: far more points than columns; the reduced drawing still marks the
        // whole span of each column and lets events run.
        std::vector<std::int16_t> values(400000);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<std::int16_t>((i % 2) ? 2000 : -2000);
        const auto scale = ScaleWaveform(values, 8715, 615);
        QImage image(581, 41, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        int calls = 0;
        DrawWaveform(image, values, *scale, 8715, 15, [&] {
            ++calls;
            QTest::qSleep(20);
            return true;
        });
        QVERIFY(calls > 0);
        // Each column spans from the value -2000 (153.75 twips above the base line, pixel 8.4)
        // to 2000 (153.75 twips below it, pixel 28.9).
        const auto whiteNear = [&](const QImage& im, int x, int y) {
            for (int dy = -1; dy <= 1; ++dy)
                if (im.pixelColor(x, y + dy) == QColor(255, 255, 255)) return true;
            return false;
        };
        for (int x = 2; x < 570; x += 37) {
            QVERIFY(whiteNear(image, x, 8));
            QVERIFY(whiteNear(image, x, 29));
            QVERIFY(image.pixelColor(x, 4).alpha() == 0);
            QVERIFY(image.pixelColor(x, 33).alpha() == 0);
        }
        // A drawing told to stop stops.
        QImage stopped(581, 41, QImage::Format_ARGB32_Premultiplied);
        stopped.fill(Qt::transparent);
        DrawWaveform(stopped, values, *scale, 8715, 15, [] {
            QTest::qSleep(20);
            return false;
        });
        QVERIFY(!whiteNear(stopped, 560, 8));
        QVERIFY(whiteNear(stopped, 5, 8));
    }

    void closingTheEditorWhileDrawingEndsTheDrawing() {
        const QString big = WriteRecords(path("big.raw"), 300000, [](int k) {
            return (k % 7) * 300 - 900;
        });
        auto* form = new Form5(*engine, fields, nullptr);
        QPointer<Form5> guard(form);
        int runs = 0;
        // The first time events run inside the drawing, the window is cancelled and deleted.
        QTimer::singleShot(0, form, [&] {
            ++runs;
            form->Command3_Click();
            delete form;
        });
        form->LoadGraph(big);
        QCOMPARE(runs, 1);
        QVERIFY(guard.isNull());
    }
};

QTEST_MAIN(WaveformTest)
#include "test_waveform.moc"
