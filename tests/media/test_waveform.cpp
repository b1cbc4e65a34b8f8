// The waveform drawn into the editor's graph, files that give none, and closing while drawing.

#include "MediaFixture.h"
#include "media/Waveform.h"

#include <atomic>
#include <thread>
#include <unistd.h>

using namespace sorvane;
using namespace sorvane::testing;

namespace {

// `records` records of 128 bytes after 5504 skipped bytes; record k starts with v(k), then filler.
QString WriteRecords(const QString& path, int records, int (*v)(int), int tail = 0) {
    QByteArray bytes(5504 + 128 * records + tail, '\x7f');
    for (int k = 0; k < records; ++k)
        qToLittleEndian(static_cast<std::int16_t>(v(k)), bytes.data() + 5504 + 128 * k);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? path : QString();
}

int Peak(int k) {
    return k % 50 == 20 ? 2000 : k % 50 == 35 ? -1000 : 0;
}

// The rows of the topmost and the lowest white pixel of column x; {-1, -1} when none.
std::pair<int, int> WhiteSpan(const QImage& image, int x) {
    std::pair<int, int> span{-1, -1};
    for (int y = 0; y < image.height(); ++y)
        if (image.pixelColor(x, y) == Qt::white) span = {span.first < 0 ? y : span.first, y};
    return span;
}

} // namespace

class WaveformTest : public QObject, MediaFixture {
    Q_OBJECT
    // Peaks of 2000 and -1000 every 50 records (about 69 to a column): 205 twips below and 102.5
    // above the base line at 615 / 2.2 twips (pixels 32.3 and 11.8).
    QString peaks;

private slots:
    void initTestCase() {
        QCOMPARE(TwipsPerPixel(), 15.0);
        peaks = WriteRecords(path("peaks.raw"), 40000, Peak);
    }
    void init() { open(); }

    void everyFileOpenedIsClosed() {
        auto form = openEditor(1, 6);
        form->LoadGraph(peaks); // the first load may open lasting things (fonts, caches)
        const QImage drawn = form->Picture1->picture;
        for (int x = 1; x < drawn.width(); ++x) {
            const auto [top, bottom] = WhiteSpan(drawn, x);
            if (x < 576)
                QVERIFY2(top >= 11 && top <= 12 && bottom >= 32 && bottom <= 33,
                         qPrintable(QStringLiteral("%1: %2 to %3").arg(x).arg(top).arg(bottom)));
            else if (x > 577)
                QCOMPARE(top, -1);
        }
        QVERIFY(form->Picture1->bandVisible);
        QFile(path("empty.raw")).open(QIODevice::WriteOnly);
        const auto openFiles = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
        const auto before = openFiles();
        // A file that cannot be read leaves the picture; an empty, a short one (no whole value
        // after the 5504 bytes) or a silent one clears the graph. Either way the band is hidden.
        const std::pair<QString, bool> files[] = {
            {path("missing.raw"), true},
            {dir.path(), true},
            {path("empty.raw"), false},
            {WriteRecords(path("short.raw"), 0, nullptr, 1), false},
            {WriteRecords(path("zeros.raw"), 50, [](int) { return 0; }), false}};
        for (const auto& [file, keeps] : files) {
            form->LoadGraph(peaks);
            form->LoadGraph(file);
            QVERIFY(!form->Picture1->bandVisible);
            QCOMPARE(form->Picture1->picture == drawn, keeps);
            QCOMPARE(WhiteSpan(form->Picture1->picture, 100).first >= 0, keeps);
        }
        QCOMPARE(openFiles(), before);
    }

    // n counts the 44 records skipped: 400 values (the last in a record that ends after its two
    // bytes) reach 400 / 444 of the width less 60 twips; the last, the largest, at the bottom.
    void theValuesSpanTheirShareOfTheWidth() {
        auto form = openEditor(1, 6);
        form->LoadGraph(WriteRecords(
            path("four-hundred.raw"), 399, [](int k) { return k % 2 ? 500 : -500; }, 2));
        const QImage drawn = form->Picture1->picture;
        int right = drawn.width() - 1;
        while (right > 0 && WhiteSpan(drawn, right).first < 0)
            --right;
        const double expected = (WidthTw(form->Picture1) - 60) * 400 / 444 / TwipsPerPixel();
        QVERIFY2(std::abs(right - expected) <= 1, qPrintable(QString::number(right - expected)));
        QVERIFY(WhiteSpan(drawn, right).second >= drawn.height() - 4);
    }

    // A file that shrinks and grows again while it is read (another program rewriting it)
    // ends a reading where it ends, never the program; read whole, it draws its picture.
    void aFileChangingWhileReadOnlyEndsTheReading() {
        auto form = openEditor(1, 6);
        const QString same = WriteRecords(path("same.raw"), 40000, Peak);
        const QString changing = path("changing.raw");
        constexpr qint64 kFull = qint64(64) << 20; // zeros after the peaks, costing no disk
        QVERIFY(QFile::resize(same, kFull) && QFile::copy(same, changing));
        std::atomic<bool> stop{false};
        std::thread changer([&] {
            const QByteArray name = QFile::encodeName(changing);
            while (!stop.load())
                if (::truncate(name.constData(), 6000) != 0 || ::truncate(name.constData(), kFull))
                    return;
        });
        for (int i = 0; i < 5; ++i)
            form->LoadGraph(changing);
        stop = true;
        changer.join();
        QVERIFY(QFile::remove(changing) && QFile::copy(same, changing));
        form->LoadGraph(same);
        QVERIFY(WhiteSpan(form->Picture1->picture, 2).first >= 0);
        const QImage drawn = form->Picture1->picture;
        form->LoadGraph(changing);
        QVERIFY(form->Picture1->bandVisible);
        QVERIFY(form->Picture1->picture == drawn);
    }

    void closingTheEditorWhileDrawingEndsTheDrawing() {
        QPointer<Form5> form = openEditor(1, 6).release();
        int runs = 0;
        QTimer::singleShot(0, form, [&] {
            ++runs;
            form->Command3_Click();
            delete form;
        });
        form->LoadGraph(peaks);
        QCOMPARE(runs, 1);
        QVERIFY(form.isNull());
    }
};

QTEST_MAIN(WaveformTest)
#include "test_waveform.moc"
