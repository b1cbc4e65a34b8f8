#pragma once

// The real main window on an offline engine that a timer renders in step with the wall clock
// (as a sound card would), generated WAVs whose samples tell which file, which moment of it
// and which gain is sounding, and shows built from rows of text fields.

#include "../support/TextRow.h"
#include "../support/WavHeader.h"
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
using sorvane::testing::TextRow;

inline constexpr int kSampleRate = 48000;

// Fields: #, Description, When, Action, ActionCue, File, Volume, Rate, BeginOn, Ch, Spd,
// Count, SelectionStart, SelectionEnd.
using Fields = QStringList;

// when: 0 along with, 1 after the previous executes, 2 after it completes; channel 4 is
// "Any Available".
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
    auto n = [](double v) { return DecimalText(v); };
    return QStringList{QString(), "cue", n(s.when), n(action), actionCue, file}
           << n(s.volume) << n(s.rate) << n(s.autoStart) << n(s.channel) << n(s.speed) << n(s.count)
           << n(s.start) << n(s.end);
}
inline Fields PlayCue(const QString& file, const CueSpec& s = {}) {
    return Cue(0, QStringLiteral("0"), file, s);
}
inline Fields ActionCue(int action, int value, const CueSpec& s = {}) {
    return Cue(action, QString::number(value), QStringLiteral("0"), s);
}

// The generated sounds hold 0.5 on the left and 0.5 * (id / 10 + t / 100) on the right, t the
// time in the file in seconds (below 10 s): a lone sound's gain is left / 0.5, and right / left
// tells the file's id and the moment t.
struct Heard {
    double gain = 0; // 0: silence
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
        auto* pump = new QTimer(form.get());
        pump->setTimerType(Qt::PreciseTimer);
        QObject::connect(pump, &QTimer::timeout, [this] { renderToNow(); });
        pump->start(2);
    }
    ~Fixture() {
        ShowHalted = DelayHalted = ManualGo = IterationPending = false;
        form.reset();
    }

    // Renders up to the wall clock (at most a quarter second at once).
    void renderToNow() {
        const std::int64_t due = clock.nsecsElapsed() * kSampleRate / 1000000000LL;
        const std::int64_t n = std::min<std::int64_t>(due - rendered, kSampleRate / 4);
        if (n <= 0) return;
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(n) * 2);
        engine->renderOffline(out.data() + at, static_cast<int>(n));
        rendered += n;
    }
    std::int64_t now() const { return rendered; }
    Heard heard(std::int64_t frame) const {
        Heard h;
        if (frame < 0 || frame >= rendered) return h;
        const double l = out[static_cast<std::size_t>(2 * frame)];
        const double r = out[static_cast<std::size_t>(2 * frame + 1)];
        if (l < 1e-3) return h;
        h.gain = l / 0.5;
        h.id = static_cast<int>(std::floor(r / l * 10 + 1e-6));
        h.t = (r / l - h.id / 10.0) * 100;
        return h;
    }
    // The first frame at or after `from` where something sounds (-1: none).
    std::int64_t firstSound(std::int64_t from) const {
        for (std::int64_t f = std::max<std::int64_t>(0, from); f < rendered; ++f)
            if (out[static_cast<std::size_t>(2 * f)] > 1e-3) return f;
        return -1;
    }
    // What sounds `offset` frames after the first sound since `from`, once it is rendered.
    Heard heardAfter(std::int64_t from, std::int64_t offset) {
        auto ready = [&] { return firstSound(from) >= 0 && now() > firstSound(from) + offset; };
        return waitFor(ready) ? heard(firstSound(from) + offset) : Heard{};
    }

    // A WAV named `name` in the test folder with sound `id` (1..9), `seconds` long.
    QString wav(const QString& name, int id, double seconds) {
        const int n = static_cast<int>(std::lround(seconds * kSampleRate));
        std::vector<std::int16_t> s(static_cast<std::size_t>(n) * 2);
        for (int i = 0; i < n; ++i) {
            const double t = double(i) / kSampleRate;
            s[2 * i] = static_cast<std::int16_t>(std::lround(0.5 * 32767));
            s[2 * i + 1] =
                static_cast<std::int16_t>(std::lround(0.5 * (id / 10.0 + t / 100.0) * 32767));
        }
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly)) return {};
        const auto bytes = static_cast<std::uint32_t>(s.size() * 2);
        f.write(sorvane::testing::WavHeader(sorvane::testing::kWavPcm, 2, kSampleRate, 16, bytes));
        f.write(reinterpret_cast<const char*>(s.data()), bytes);
        return f.fileName();
    }

    // Rows numbered 1..N unless a row gives its own number; row 1 selected.
    void setShow(const QList<Fields>& rows) {
        std::vector<CueRow> v;
        for (Fields f : rows) {
            if (f.value(0).isEmpty()) f[0] = QString::number(v.size() + 1);
            v.push_back(TextRow(f));
        }
        cues().model().setRows(std::move(v));
        cues().ListView1Tag = QStringLiteral("-1");
        cues().SelectRow(rows.isEmpty() ? 0 : 1);
        cues().UpdateListView();
    }

    CueListEditor& cues() { return form->cues(); }
    Mixer& mixer() { return form->mixer(); }
    Transport& transport() { return form->playback().transport(); }
    Processes& processes() { return form->playback().processes(); }
    Frame& frame() { return form->frame(); }
    MediaPlayer* player(int i) { return mixer().MediaPlayer1[i]; }
    int selected() { return cues().SelectedIndex(); }
    QStringList statusTexts() {
        QStringList t;
        for (const auto& e : form->status().history())
            t << e.text;
        return t;
    }
    bool has(const QString& text) { return statusTexts().contains(text); }
    qsizetype count(const QString& text) { return statusTexts().count(text); }
    // The colour of the newest history line `text` (invalid: no such line).
    QColor colourOf(const QString& text) {
        const auto h = form->status().history();
        for (auto it = h.rbegin(); it != h.rend(); ++it)
            if (it->text == text) return it->colour;
        return {};
    }
    QString statusLine() { return form->status().lblStatus->text(); }
    // "Running Processes:" after a meter tick.
    QString running() {
        mixer().tmrChannelUpdate_Timer();
        return form->status().lblCuesRunning->text();
    }
    // Every player closed and empty.
    bool channelsEmpty() {
        for (int i = 0; i < 4; ++i)
            if (!player(i)->FileName().isEmpty() || player(i)->PlayState() != 6) return false;
        return true;
    }

    // The operator's GO: a mouse press, then the click.
    void operatorGo() {
        transport().cmdGo_MouseDown();
        transport().cmdGo_Click();
    }
    // The operator's GO, then the show runs until no cue process is left.
    bool goAndSettle(int ms = 3000) {
        operatorGo();
        return waitFor([&] { return processes().showCount() == 0; }, ms);
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
    // Runs `action` once, from the event loop, as soon as `ready` holds: it then runs inside
    // whatever wait of the program is running at that moment, as an operator's action does.
    void when(std::function<bool()> ready, std::function<void()> action, int everyMs = 2) {
        auto* t = new QTimer(form.get());
        QObject::connect(t, &QTimer::timeout, t, [t, ready, action] {
            if (!ready()) return;
            t->stop();
            t->deleteLater();
            action();
        });
        t->start(everyMs);
    }

    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<Form1> form;
    QElapsedTimer clock;
    std::int64_t rendered = 0;
    std::vector<float> out;
};

} // namespace playtest
