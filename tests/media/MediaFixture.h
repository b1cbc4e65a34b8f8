#pragma once

// What the media tests share: a stand-in main window with a status line and scripted
// dialogs, properties-panel fields that record every write, an offline sound engine, and
// generated media files.

#include "core/Shell.h"
#include "core/StatusLine.h"
#include "media/MediaFields.h"
#include "platform/Dialogs.h"
#include "platform/engine/AudioEngine.h"
#include "../support/WavHeader.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QWidget>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace sorvane::testing {

class TestShell final : public Shell {
public:
    TestShell() {
        window.setObjectName(QStringLiteral("Form1"));
        window.resize(800, 600);
        frame_.form = &window;
        frame_.client = &window;
        status_ = new StatusLine(*this, &window);
    }
    Frame& frame() override { return frame_; }
    StatusLine& status() override { return *status_; }
    Dialogs& dialogs() override { return scripted; }
    void Form_Resize() override {}
    int OuterWidthTw() const override { return 12000; }
    int OuterHeightTw() const override { return 9000; }
    void FocusGo() override {}

    QString lastStatus() const {
        const auto h = status_->history();
        return h.isEmpty() ? QString() : h.constLast().text;
    }
    QColor lastColour() const {
        const auto h = status_->history();
        return h.isEmpty() ? QColor() : h.constLast().colour;
    }

    QWidget window;
    ScriptedDialogs scripted;

private:
    Frame frame_;
    StatusLine* status_ = nullptr;
};

// The panel's three fields; every write and the list click are logged in order.
class RecordingFields final : public MediaFields {
public:
    QString file = QStringLiteral("0"), start = QStringLiteral("0"), end = QStringLiteral("0");
    QStringList log; // "End=...", "Start=...", "File=...", "Click"

    QString FileText() const override { return file; }
    QString StartPosText() const override { return start; }
    QString EndPosText() const override { return end; }
    void PutFile(const QString& t) override { file = t, log << QStringLiteral("File=") + t; }
    void PutStartPos(const QString& t) override { start = t, log << QStringLiteral("Start=") + t; }
    void PutEndPos(const QString& t) override { end = t, log << QStringLiteral("End=") + t; }
    void ListView1_Click() override { log << QStringLiteral("Click"); }
};

inline AudioEngine::Options OfflineEngine() {
    AudioEngine::Options o;
    o.output = AudioEngine::Output::Offline;
    o.sampleRate = 48000;
    return o;
}

// A 16-bit stereo WAV of a sine, `seconds` long.
inline bool WriteWav(const QString& path, double seconds, int rate = 48000,
                     double amplitude = 0.5) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    const std::uint32_t frames = static_cast<std::uint32_t>(std::lround(seconds * rate));
    const std::uint32_t data = frames * 4;
    f.write(sorvane::testing::WavHeader(sorvane::testing::kWavPcm, 2, rate, 16, data));
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames) * 2);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto s = static_cast<std::int16_t>(
            std::lround(amplitude * 32767 * std::sin(2 * M_PI * 440.0 * i / rate)));
        samples[2 * i] = s;
        samples[2 * i + 1] = s;
    }
    const auto bytes = static_cast<qint64>(samples.size() * 2);
    return f.write(reinterpret_cast<const char*>(samples.data()), bytes) == bytes;
}

// Runs ffmpeg to make a file of another format from a sine (mp3, wma ...).
inline bool MakeWithFfmpeg(const QString& path, double seconds, const QStringList& codec) {
    QStringList args{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                     QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("sine=frequency=440:sample_rate=44100:duration=%1")
                         .arg(seconds)};
    args << codec << path;
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), args);
    return p.waitForFinished(60000) && p.exitCode() == 0 && QFile::exists(path);
}

inline bool MakeMp3(const QString& path, double seconds) {
    return MakeWithFfmpeg(path, seconds,
                          {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"),
                           QStringLiteral("-b:a"), QStringLiteral("128k")});
}

// The decoder the build links into the application folder.
inline QString AppLame() {
    return qEnvironmentVariable("SORVANE_APP_DIR") + QStringLiteral("/lame");
}

} // namespace sorvane::testing
