#pragma once

// What the playback tests share: the real main window on an offline engine that a timer
// renders in step with the wall clock (as a sound card would), the rendered output kept for
// inspection, generated WAV files whose samples tell which file and which moment of it is
// sounding and at what gain, and shows built from rows of text fields.

#include "app/Form1.h"
#include "core/Module1.h"
#include "core/Shell.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "platform/Dialogs.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"
#include "playback/Mixer.h"
#include "playback/Playback.h"
#include "playback/Processes.h"
#include "playback/Transport.h"
#include "../support/TextRow.h"
#include "../support/WavHeader.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace playtest {

using namespace sorvane;

inline constexpr int kSampleRate = 48000;

// Fields: #, Description, When, Action, ActionCue, File, Volume, Rate, BeginOn, Ch, Spd,
// Count, SelectionStart, SelectionEnd.
using Fields = QStringList;

using sorvane::testing::TextRow;

// Cue builders (when: 0 along, 1 after executes, 2 after completes; auto: begins on Auto).
struct CueSpec {
    int when = 1;
    bool autoStart = true;
    int channel = 0;
    int volume = 0;
    double rate = 1;
    int speed = 10;
    int count = 1;
    double start = 0;
    double end = 0;
};

inline Fields Cue(int action, const QString& actionCue, const QString& file, const CueSpec& s) {
    return {QString(), QStringLiteral("cue"), QString::number(s.when), QString::number(action),
            actionCue, file, QString::number(s.volume), DecimalText(s.rate),
            s.autoStart ? QStringLiteral("1") : QStringLiteral("0"), QString::number(s.channel),
            QString::number(s.speed), QString::number(s.count), DecimalText(s.start),
            DecimalText(s.end)};
}
inline Fields PlayCue(const QString& file, const CueSpec& s) {
    return Cue(0, QStringLiteral("0"), file, s);
}
inline Fields ActionCue(int action, int value, const CueSpec& s) {
    return Cue(action, QString::number(value), QStringLiteral("0"), s);
}

// The generated sounds: the left channel holds 0.5, the right 0.5 * (id / 10 + t / 100),
// t the time in the file in seconds (below 10 s). So at any rendered frame of a lone sound
// the gain is left / 0.5, and right / left tells the file's id and the moment t.
struct Heard {
    bool sounding = false;
    double gain = 0;
    int id = 0;
    double t = 0;
};

class Fixture {
public:
    Fixture() {
        AudioEngine::Options o;
        o.output = AudioEngine::Output::Offline;
        o.sampleRate = kSampleRate;
        engine = std::make_unique<AudioEngine>(o);
        form = std::make_unique<Form1>(QString(), dialogs, engine.get());
        form->Show();
        ShowFolder = dir.path() + QLatin1Char('/');
        clock.start();
        pump = new QTimer(form.get());
        pump->setTimerType(Qt::PreciseTimer);
        pump->setInterval(2);
        QObject::connect(pump, &QTimer::timeout, [this] { renderToNow(); });
        pump->start();
    }
    ~Fixture() {
        ShowHalted = DelayHalted = ManualGo = IterationPending = false;
        form.reset();
    }

    // --- the engine's clock -------------------------------------------------------------
    // Renders up to the wall clock (at most a quarter second at once).
    void renderToNow() {
        if (paused) return;
        const std::int64_t due = clock.nsecsElapsed() * kSampleRate / 1000000000LL + base;
        std::int64_t n = std::min<std::int64_t>(due - rendered, kSampleRate / 4);
        if (n <= 0) return;
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(n) * 2);
        engine->renderOffline(out.data() + at, static_cast<int>(n));
        rendered += n;
    }
    std::int64_t now() const { return rendered; }

    Heard heard(std::int64_t frame) const {
        Heard h;
        if (frame < 0 || 2 * frame + 1 >= static_cast<std::int64_t>(out.size())) return h;
        const double l = out[static_cast<std::size_t>(2 * frame)];
        const double r = out[static_cast<std::size_t>(2 * frame + 1)];
        if (l < 1e-3) return h;
        h.sounding = true;
        h.gain = l / 0.5;
        const double v = r / l;
        h.id = static_cast<int>(std::floor(v * 10 + 1e-6));
        h.t = (v - h.id / 10.0) * 100;
        return h;
    }
    // The first frame at or after `from` where something sounds (-1: none).
    std::int64_t firstSound(std::int64_t from) const {
        for (std::int64_t f = std::max<std::int64_t>(0, from); 2 * f + 1 < (std::int64_t)out.size();
             ++f)
            if (out[static_cast<std::size_t>(2 * f)] > 1e-3) return f;
        return -1;
    }

    // --- media --------------------------------------------------------------------------
    // A WAV named `name` in the test folder with sound `id` (1..9), `seconds` long.
    QString wav(const QString& name, int id, double seconds) {
        const QString path = dir.filePath(name);
        const int n = static_cast<int>(std::lround(seconds * kSampleRate));
        std::vector<std::int16_t> s(static_cast<std::size_t>(n) * 2);
        for (int i = 0; i < n; ++i) {
            const double t = double(i) / kSampleRate;
            s[2 * i] = static_cast<std::int16_t>(std::lround(0.5 * 32767));
            s[2 * i + 1] = static_cast<std::int16_t>(std::lround(0.5 * (id / 10.0 + t / 100.0) * 32767));
        }
        writeWav(path, s, 2);
        return path;
    }
    static void writeWav(const QString& path, const std::vector<std::int16_t>& s, int channels) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return;
        const auto bytes = static_cast<std::uint32_t>(s.size() * 2);
        f.write(sorvane::testing::WavHeader(sorvane::testing::kWavPcm, channels, kSampleRate, 16, bytes));
        f.write(reinterpret_cast<const char*>(s.data()), bytes);
    }

    // --- the show -------------------------------------------------------------------------
    void setShow(const QList<Fields>& rows) {
        std::vector<CueRow> v;
        int n = 0;
        for (Fields f : rows) {
            ++n;
            if (f.value(0).isEmpty()) f[0] = QString::number(n);
            v.push_back(TextRow(f));
        }
        cues().model().setRows(std::move(v));
        cues().ListView1Tag = QStringLiteral("-1");
        cues().SelectRow(rows.isEmpty() ? 0 : 1);
        cues().UpdateListView();
    }

    // --- access ---------------------------------------------------------------------------
    CueListEditor& cues() { return form->cues(); }
    Playback& pb() { return form->playback(); }
    Mixer& mixer() { return form->mixer(); }
    Transport& transport() { return pb().transport(); }
    Processes& processes() { return pb().processes(); }
    Frame& frame() { return form->frame(); }
    MediaPlayer* player(int i) { return mixer().MediaPlayer1[i]; }
    int selected() { return cues().SelectedIndex(); }
    QStringList statusTexts() {
        QStringList t;
        for (const auto& e : form->status().history())
            t << e.text;
        return t;
    }
    QColor statusColourOf(const QString& text) {
        const auto h = form->status().history();
        for (auto it = h.rbegin(); it != h.rend(); ++it)
            if (it->text == text) return it->colour;
        return {};
    }
    QString statusLine() { return form->status().lblStatus->text(); }
    QString running() {
        mixer().tmrChannelUpdate_Timer();
        return form->status().lblCuesRunning->text();
    }

    // The operator's GO: a mouse press, then the click.
    void operatorGo() {
        transport().cmdGo_MouseDown();
        transport().cmdGo_Click();
    }
    // Lets events run until `done` holds or `ms` have passed; true when it holds.
    static bool waitFor(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            QTest::qWait(2);
        }
        return true;
    }
    static void settle(int ms) { QTest::qWait(ms); }
    // Runs `action` once, from the event loop, as soon as `ready` holds: it then runs inside
    // whatever wait of the program is running at that moment, as an operator's action does.
    void when(std::function<bool()> ready, std::function<void()> action, int everyMs = 2) {
        auto* t = new QTimer(form.get());
        t->setInterval(everyMs);
        QObject::connect(t, &QTimer::timeout, t, [t, ready, action] {
            if (!ready()) return;
            t->stop();
            t->deleteLater();
            action();
        });
        t->start();
    }
    // Runs `action` once after `ms`.
    void after(int ms, std::function<void()> action) {
        QTimer::singleShot(ms, form.get(), std::move(action));
    }

    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<Form1> form;
    QTimer* pump = nullptr;
    QElapsedTimer clock;
    std::int64_t base = 0;
    std::int64_t rendered = 0;
    bool paused = false;
    std::vector<float> out;
};

} // namespace playtest
