#pragma once

// The running work of a show: cue processes (instances of `tmrShow`, one per fired cue) and
// fade processes (instances of `tmrFader`, one per volume fade). Each instance is an object
// with its Index, Tag and Interval, held in a registry by Index. The registry can be emptied
// at any moment (Stop); a tick that is inside one of its waits keeps its own object alive.
// Each instance remembers how many Stops came before it was loaded: a tick whose show was
// stopped since then leaves its wait at once and ends there, so nothing it would still have
// done (play, fade, start the next cue) happens after the Stop, while cues the operator fires
// after the Stop run as usual, even inside the waits of the stopped ones.

#include "cuelist/CueRecord.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <map>
#include <memory>

class QTimer;

namespace sorvane {

class Playback;
class MediaPlayer;

// One instance of a timer array.
struct ProcessInstance {
    int Index = 0;
    QString Tag;
    int Interval = 1;
    QPointer<QTimer> timer;
    bool ticking = false; // a tick of this instance is running (perhaps inside a wait)
    unsigned stops = 0;   // the Stops before it was loaded
    ~ProcessInstance();
};

struct CueProcess : ProcessInstance {
    int row = 0;         // 1-based position of the row GO fired
    int paintTicket = 0; // the window's repaint waits for this cue's sound to start
};

struct FadeProcess : ProcessInstance {
    QElapsedTimer clock;   // from the fade's start
    qint64 due = 0;        // when the next tick is due, ms from the start
    bool finished = false; // a tick has reached the target
};

class Processes : public QObject {
    Q_OBJECT
public:
    explicit Processes(Playback& playback);
    ~Processes() override;

    // Cue processes that may live at once. Cues that keep starting each other could
    // otherwise fill the program with processes faster than they end.
    static constexpr int kMaxShowProcesses = 256;
    // Whether a further cue process may be loaded; when not, says so in red, naming the
    // cue at `row` that is not started.
    bool RoomForShowProcess(int row);
    // Loads and enables a cue process for the row at `row` whose number text is `tag`;
    // returns its Index. The process ticks after its Interval of 1 ms, or, for the
    // operator's own GO (`atOnce`), at the event loop's next pass.
    int LoadShowProcess(const QString& tag, int row, bool atOnce = false);
    // Loads and enables a fade process; returns its Index.
    int LoadFadeProcess(const QString& tag, int interval);
    // Releases every instance (Stop). A tick inside a wait ends when its wait returns, which
    // it does at once.
    void UnloadAll();
    // Whether the show was stopped since `p` was loaded.
    bool Stopped(const ProcessInstance& p) const { return p.stops != stops_; }

    // Loaded instances, without the templates.
    int showCount() const { return static_cast<int>(tmrShow_.size()); }
    int fadeCount() const { return static_cast<int>(tmrFader_.size()); }
    bool hasShow(int Index) const { return tmrShow_.count(Index) != 0; }
    // Ticks running now, those inside a wait included, loaded or not.
    int runningTicks() const { return nestedTicks_; }
    bool hasFade(int Index) const { return tmrFader_.count(Index) != 0; }
    QString fadeTag(int Index) const;
    int fadeInterval(int Index) const;

    // The ticks.
    void tmrShow_Timer(int Index);
    void tmrFader_Timer(int Index);

private:
    // Starts the selected cue: Auto fires it, Go makes GO blink; no selection does nothing.
    void StartSelectedCue();
    // The selected row's start condition (-1 when no row is selected) and begin-on value.
    int SelectedWhen() const;
    bool SelectedBeginsOnAuto() const;
    CueRecord ReadRecord(int row, double number) const;
    MediaPlayer* Player(int channel) const;
    // The stored path, else the bare name in the show's media folder; empty when neither
    // exists (reported in red).
    bool LookUpMedia(CueRecord& rec);
    // Loads `file` into `p`; a file that cannot be played is reported in red.
    void LoadMedia(MediaPlayer* p, const QString& file);

    // The look-ahead, the action and the chaining of a cue's tick.
    void RunCue(CueProcess& self);
    // Actions; each returns false for an early end (no chaining).
    bool PlaySound(const CueProcess& self, const CueRecord& rec, int& channel, bool& played);
    void WaitForIteration(const CueProcess& self, const CueRecord& rec);
    void ChangeVolume(const CueRecord& rec, bool& fading);
    void TriggerCue(const CueRecord& rec);
    bool BufferSound(const CueProcess& self, const CueRecord& rec);
    bool Delay(const CueProcess& self, const CueRecord& rec);
    void CompletionWait(const CueProcess& self, int channel);

    void Release(const std::shared_ptr<CueProcess>& p);
    void Release(const std::shared_ptr<FadeProcess>& p);
    void ReleasePaint(CueProcess& p);

    Playback& pb_;
    std::map<int, std::shared_ptr<CueProcess>> tmrShow_;
    int nestedTicks_ = 0; // ticks running now, each inside the waits of those before
    std::map<int, std::shared_ptr<FadeProcess>> tmrFader_;
    unsigned stops_ = 0; // Stops so far
};

} // namespace sorvane
