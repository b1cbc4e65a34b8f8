#pragma once

// The real main window on an offline engine rendered in step with the wall clock.

#include "../support/TextRow.h"
#include "../support/WavHeader.h"
#include "app/Form1.h"
#include "core/Module1.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "platform/Dialogs.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"
#include "playback/Mixer.h"
#include "playback/Playback.h"
#include "playback/Processes.h"
#include "playback/Transport.h"

#include <QtTest>
#include <QtWidgets>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace playtest {

using namespace sorvane;
using namespace sorvane::testing;

inline constexpr int kSampleRate = 48000;

using Fields = QStringList;

// when: 0 along with, 1 after the previous executes, 2 after it completes.
struct CueSpec {
    QString number = QString(); // empty: the row's position
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
    return QStringList{s.number, "cue", n(s.when), n(action), actionCue, file}
           << n(s.volume) << n(s.rate) << n(s.autoStart) << n(s.channel) << n(s.speed) << n(s.count)
           << n(s.start) << n(s.end);
}
inline Fields PlayCue(const QString& file, const CueSpec& s = {}) {
    return Cue(0, QStringLiteral("0"), file, s);
}
inline Fields ActionCue(int action, int value, const CueSpec& s = {}) {
    return Cue(action, QString::number(value), QStringLiteral("0"), s);
}

// The sounds hold 0.5 on the left and 0.5 * (id / 10 + t / 100) on the right, t the time in
// the file in seconds: a lone sound's gain is left / 0.5, right / left gives its id and t.
struct Heard {
    double gain = 0; // 0: silence
    int id = 0;
    double t = 0;
};

class Fixture {
public:
    Fixture() {
        engine = std::make_unique<AudioEngine>(AudioEngine::Options{
            .output = AudioEngine::Output::Offline, .sampleRate = kSampleRate});
        form = std::make_unique<Form1>(QString(), dialogs, engine.get());
        form->Show();
        ShowFolder = dir.path() + QLatin1Char('/');
        clock.start();
        auto* pump = new QTimer(form.get());
        pump->setTimerType(Qt::PreciseTimer);
        QObject::connect(pump, &QTimer::timeout, [this] { renderToNow(); });
        pump->start(2);
    }
    ~Fixture() { ShowHalted = DelayHalted = ManualGo = IterationPending = false; }

    void renderToNow() {
        const std::int64_t due = clock.nsecsElapsed() * kSampleRate / 1000000000LL;
        const std::int64_t n = std::min<std::int64_t>(due - rendered, kSampleRate / 4);
        if (n <= 0) return;
        out.resize(out.size() + static_cast<std::size_t>(n) * 2);
        engine->renderOffline(out.data() + 2 * rendered, static_cast<int>(n));
        rendered += n;
    }
    Heard heard(std::int64_t frame) const {
        if (frame < 0 || frame >= rendered || out[2 * frame] < 1e-3) return {};
        const double v = out[2 * frame + 1] / out[2 * frame];
        const int id = static_cast<int>(std::floor(v * 10 + 1e-6));
        return {out[2 * frame] / 0.5, id, (v - id / 10.0) * 100};
    }
    std::int64_t firstSound(std::int64_t from) const {
        for (std::int64_t f = std::max<std::int64_t>(0, from); f < rendered; ++f)
            if (out[2 * f] > 1e-3) return f;
        return -1;
    }
    Heard heardAfter(std::int64_t from, std::int64_t offset) {
        auto ready = [&] { return firstSound(from) >= 0 && rendered > firstSound(from) + offset; };
        return waitFor(ready) ? heard(firstSound(from) + offset) : Heard{};
    }

    QString wav(const QString& name, int id, double seconds) {
        std::vector<float> s;
        for (long i = 0; i < std::lround(seconds * kSampleRate); ++i)
            s.insert(s.end(), {0.5f, float(0.5 * (id / 10.0 + i / (100.0 * kSampleRate)))});
        QFile f(dir.filePath(name));
        QDir().mkpath(QFileInfo(f).path());
        const auto bytes = static_cast<std::uint32_t>(s.size() * sizeof(float));
        if (!f.open(QIODevice::WriteOnly)) return {};
        f.write(WavHeader(kWavFloat, 2, kSampleRate, 32, bytes));
        f.write(reinterpret_cast<const char*>(s.data()), bytes);
        return f.fileName();
    }

    void setShow(const QList<Fields>& rows, int select = 1) {
        std::vector<CueRow> v;
        for (Fields f : rows) {
            if (f.value(0).isEmpty()) f[0] = QString::number(v.size() + 1);
            v.push_back(TextRow(f));
        }
        cues().model().setRows(std::move(v));
        cues().SelectRow(rows.isEmpty() ? 0 : select);
        cues().UpdateListView();
    }

    CueListEditor& cues() { return form->cues(); }
    Mixer& mixer() { return form->mixer(); }
    Transport& transport() { return form->playback().transport(); }
    Processes& processes() { return form->playback().processes(); }
    MediaPlayer* player(int i) { return mixer().MediaPlayer1[i]; }
    int selected() { return cues().SelectedIndex(); }
    QStringList statusTexts() {
        QStringList t;
        for (const auto& e : form->status().history())
            t << e.text;
        return t;
    }
    bool has(const QString& text) { return statusTexts().contains(text); }
    // The colour of the newest line `text` (invalid: none).
    QColor colourOf(const QString& text) {
        QColor c;
        for (const auto& e : form->status().history())
            if (e.text == text) c = e.colour;
        return c;
    }
    QString statusLine() { return form->status().lblStatus->text(); }
    QString running() {
        mixer().tmrChannelUpdate_Timer();
        return form->status().lblCuesRunning->text();
    }
    bool channelsEmpty() {
        for (MediaPlayer* p : mixer().MediaPlayer1)
            if (!p->FileName().isEmpty() || p->PlayState() != 6) return false;
        return true;
    }

    // The operator's GO, on `row` when it is given.
    void operatorGo(int row = 0) {
        if (row > 0) cues().SelectRow(row);
        transport().cmdGo_MouseDown();
        transport().cmdGo_Click();
    }
    bool goAndSettle(int row = 0, int ms = 3000) {
        operatorGo(row);
        return waitFor([&] { return processes().showCount() == 0; }, ms);
    }
    static bool waitFor(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            QTest::qWait(2);
        }
        return true;
    }
    // Runs `action` once, as soon as `ready` holds, inside whatever wait runs at that moment.
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
