#include "Processes.h"

#include "FadeStep.h"
#include "Mixer.h"
#include "Playback.h"
#include "PlaybackWaits.h"
#include "Transport.h"
#include "core/Module1.h"
#include "core/Shell.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "platform/engine/MediaPlayer.h"

#include <QPushButton>
#include <QTimer>
#include <cmath>

namespace sorvane {

namespace {

enum Action {
    PlaySoundAction = 0,
    PauseSoundAction = 1,
    StopSoundAction = 2,
    IterationAction = 3,
    VolumeAction = 4,
    TriggerAction = 5,
    RateAction = 6,
    BufferAction = 7,
    DelayAction = 8,
};

constexpr int kAnyAvailable = 4;
// Longest sleep of a completion wait pass. The end of a sound and Stop both arrive as
// events and wake the pass at once, so the pass need not look more often than this.
constexpr int kCompletionSleepMs = 100;
// Ticks run inside the waits of the ticks before them. Cues that keep starting each other
// inside their waits would nest them without end and overflow the stack: beyond a depth no
// other show reaches, a cue's tick is put off until the waits below it have ended.
constexpr int kMaxNestedTicks = 200;
constexpr int kDeferredTickMs = 10;

struct NestedTick {
    explicit NestedTick(int& depth) : depth_(depth) { ++depth_; }
    ~NestedTick() { --depth_; }
    NestedTick(const NestedTick&) = delete;
    NestedTick& operator=(const NestedTick&) = delete;
    int& depth_;
};
// Longest sleep of an iteration wait pass: the position is read at least this often.
constexpr int kIterationSleepMs = 2;

QString MissingFileText(const QString& file) {
    return QStringLiteral("Warning:  File Does Not Exist!  ") + TrimFilename(file);
}

QString UnplayableFileText(const QString& file) {
    return QStringLiteral("Warning:  File Can Not Be Played!  ") + TrimFilename(file);
}

} // namespace

ProcessInstance::~ProcessInstance() {
    if (timer) {
        timer->stop();
        timer->deleteLater(); // its tick may be the one running now
    }
}

Processes::Processes(Playback& playback) : QObject(&playback), pb_(playback) {}

Processes::~Processes() {
    tmrShow_.clear();
    tmrFader_.clear();
}

// --- the registry -----------------------------------------------------------------------------

namespace {

// The next free Index of a registry: one above the highest in use.
template <typename Registry> int NextIndex(const Registry& registry) {
    return registry.empty() ? 1 : registry.rbegin()->first + 1;
}

// A process's timer: each timeout ticks the process by its Index for as long as it lives.
template <typename Process, typename Tick>
QTimer* ProcessTimer(QObject* owner, const std::shared_ptr<Process>& p, int interval, Tick tick) {
    auto* timer = new QTimer(owner);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(interval);
    std::weak_ptr<Process> weak = p;
    QObject::connect(timer, &QTimer::timeout, owner, [weak, tick] {
        if (auto self = weak.lock()) tick(self->Index);
    });
    return timer;
}

} // namespace

bool Processes::RoomForShowProcess(int row) {
    if (showCount() < kMaxShowProcesses) return true;
    pb_.shell().ShowStatus(QStringLiteral("Warning:  Too Many Cues Running!  Cue ") +
                               QString::number(row) + QStringLiteral(" Not Started."),
                           2);
    return false;
}

int Processes::LoadShowProcess(const QString& tag, int row, bool atOnce) {
    const int index = NextIndex(tmrShow_);
    auto p = std::make_shared<CueProcess>();
    p->Index = index;
    p->stops = stops_;
    p->Tag = tag;
    p->row = row;
    p->Interval = 1;
    // The operator's GO starts its cue at the event loop's next pass, not a millisecond
    // later. A cue started by another keeps the millisecond: a cue started "along with" is
    // started in the look-ahead, before its predecessor plays, and must not run inside the
    // predecessor's first wait, or the cues of a chain would sound last to first (and on a
    // shared channel the first cue would win).
    p->timer = ProcessTimer(this, p, atOnce ? 0 : p->Interval, [this](int i) { tmrShow_Timer(i); });
    tmrShow_[index] = p;
    p->paintTicket = pb_.paintHold().hold(pb_.shell().frame().cmdGo->window());
    p->timer->start();
    return index;
}

int Processes::LoadFadeProcess(const QString& tag, int interval) {
    const int index = NextIndex(tmrFader_);
    auto p = std::make_shared<FadeProcess>();
    p->Index = index;
    p->stops = stops_;
    p->Tag = tag;
    p->Interval = interval;
    // Each tick arms the next one (single shot), due a period after the tick before it
    // was due, counted from here.
    p->timer = ProcessTimer(this, p, interval, [this](int i) { tmrFader_Timer(i); });
    p->timer->setSingleShot(true);
    p->clock.start();
    p->due = interval;
    tmrFader_[index] = p;
    p->timer->start();
    return index;
}

void Processes::UnloadAll() {
    ++stops_;
    auto fades = std::move(tmrFader_);
    tmrFader_.clear();
    for (auto& [index, fade] : fades)
        if (fade->timer) fade->timer->stop(); // a tick inside its wait has armed the next
    auto cues = std::move(tmrShow_);
    tmrShow_.clear();
    pb_.paintHold().releaseAll();
    // The instances let go here: one whose tick is inside a wait lives on in that tick.
}

void Processes::ReleasePaint(CueProcess& p) {
    pb_.paintHold().release(p.paintTicket);
    p.paintTicket = 0;
}

void Processes::Release(const std::shared_ptr<CueProcess>& p) {
    if (p->timer) p->timer->stop();
    auto it = tmrShow_.find(p->Index);
    if (it != tmrShow_.end() && it->second == p) tmrShow_.erase(it);
}

void Processes::Release(const std::shared_ptr<FadeProcess>& p) {
    if (p->timer) p->timer->stop();
    auto it = tmrFader_.find(p->Index);
    if (it != tmrFader_.end() && it->second == p) tmrFader_.erase(it);
}

QString Processes::fadeTag(int Index) const {
    auto it = tmrFader_.find(Index);
    return it == tmrFader_.end() ? QString() : it->second->Tag;
}

int Processes::fadeInterval(int Index) const {
    auto it = tmrFader_.find(Index);
    return it == tmrFader_.end() ? 0 : it->second->Interval;
}

// --- shared pieces --------------------------------------------------------------------------

int Processes::SelectedWhen() const {
    const CueListEditor& cues = pb_.cues();
    const int selected = cues.SelectedIndex();
    if (selected == 0) return -1;
    const StoredValue& v = cues.model().row(selected - 1).at(kWhen).value;
    for (int when = 0; when <= 2; ++when)
        if (v.equalsNumber(when)) return when;
    return 3;
}

bool Processes::SelectedBeginsOnAuto() const {
    const CueListEditor& cues = pb_.cues();
    const int selected = cues.SelectedIndex();
    if (selected == 0) return false;
    const CueRow& row = cues.model().row(selected - 1);
    return row.subCount >= kBeginOn && row.at(kBeginOn).value.equalsNumber(1);
}

void Processes::StartSelectedCue() {
    if (pb_.cues().SelectedIndex() == 0) return;
    if (SelectedBeginsOnAuto())
        pb_.transport().cmdGo_Click();
    else
        pb_.transport().tmrBlinkGo->start();
}

CueRecord Processes::ReadRecord(int row, double number) const {
    CueRecord rec;
    rec.Number = number;
    const CueListModel& m = pb_.cues().model();
    if (row < 1 || row > m.count()) return rec;
    const CueRow& r = m.row(row - 1);
    auto has = [&](int k) { return k <= r.subCount; };
    if (has(kDescription)) rec.Description = r.at(kDescription).value.toText();
    if (has(kWhen)) LoadField(r.at(kWhen).value, rec.When);
    if (has(kAction)) LoadField(r.at(kAction).value, rec.Action);
    if (has(kActionCue)) LoadField(r.at(kActionCue).value, rec.ActionCue);
    if (has(kFile)) rec.File = r.at(kFile).value.toText();
    if (has(kVolume)) LoadField(r.at(kVolume).value, rec.Volume);
    if (has(kRate)) LoadField(r.at(kRate).value, rec.Rate);
    if (has(kBeginOn)) LoadField(r.at(kBeginOn).value, rec.BeginOn);
    if (has(kChannel)) LoadField(r.at(kChannel).value, rec.Channel);
    if (has(kFadeSpeed)) LoadField(r.at(kFadeSpeed).value, rec.FadeSpeed);
    if (has(kPlayCount)) LoadField(r.at(kPlayCount).value, rec.PlayCount);
    if (has(kSelectionStart)) LoadField(r.at(kSelectionStart).value, rec.SelectionStart);
    if (has(kSelectionEnd)) LoadField(r.at(kSelectionEnd).value, rec.SelectionEnd);
    return rec;
}

MediaPlayer* Processes::Player(int channel) const {
    if (channel < 0 || channel >= kChannelCount) return nullptr;
    return pb_.mixer().MediaPlayer1[channel];
}

bool Processes::LookUpMedia(CueRecord& rec) {
    if (const QString found = FindMediaFile(rec.File); !found.isEmpty()) {
        rec.File = found;
        return true;
    }
    pb_.shell().ShowStatus(MissingFileText(rec.File), 2);
    return false;
}

void Processes::LoadMedia(MediaPlayer* p, const QString& file) {
    p->setFileName(file);
    if (p->FileName().isEmpty()) pb_.shell().ShowStatus(UnplayableFileText(file), 2);
}

// --- the cue process --------------------------------------------------------------------------

void Processes::tmrShow_Timer(int Index) {
    auto it = tmrShow_.find(Index);
    if (it == tmrShow_.end()) return;
    const std::shared_ptr<CueProcess> self = it->second; // lives until this tick ends
    if (self->ticking) return;
    if (nestedTicks_ >= kMaxNestedTicks) {
        ReleasePaint(*self);
        if (self->timer) self->timer->start(kDeferredTickMs);
        return;
    }
    const NestedTick nested(nestedTicks_);
    self->ticking = true;
    // 1. never again
    if (self->timer) self->timer->stop();
    RunCue(*self);
    // 6.
    self->ticking = false;
    Release(self);
}

void Processes::RunCue(CueProcess& self) {
    // 2. look-ahead
    if (SelectedWhen() == 0) {
        if (SelectedBeginsOnAuto()) {
            LetEventsRun();
            if (Stopped(self)) return;
            pb_.transport().cmdGo_Click();
        } else {
            pb_.transport().tmrBlinkGo->start();
        }
    }
    // 3. the fired row as it stands now
    bool played = false;
    bool fading = false;
    int channel = -1;
    const CueRecord rec = ReadRecord(self.row, self.Tag.toDouble());
    // 4. the action; the window repaints once a Play Sound has started its sound, or
    // before any other action, whose waits may be long
    if (rec.Action != PlaySoundAction) ReleasePaint(self);
    bool goOn = true;
    switch (rec.Action) {
    case PlaySoundAction:
        goOn = PlaySound(self, rec, channel, played);
        ReleasePaint(self);
        break;
    case PauseSoundAction:
        if (MediaPlayer* p = Player(rec.Channel)) p->Pause();
        break;
    case StopSoundAction:
        if (MediaPlayer* p = Player(rec.Channel)) p->Stop();
        break;
    case IterationAction:
        WaitForIteration(self, rec);
        break;
    case VolumeAction:
        ChangeVolume(rec, fading);
        break;
    case TriggerAction:
        TriggerCue(rec);
        break;
    case RateAction:
        if (MediaPlayer* p = Player(rec.Channel)) p->setRate(rec.Rate);
        break;
    case BufferAction:
        goOn = BufferSound(self, rec);
        break;
    case DelayAction:
        goOn = Delay(self, rec);
        break;
    default:
        break;
    }
    // 5. chaining by the start condition of the row selected now
    if (!goOn || Stopped(self)) return;
    const int when = SelectedWhen();
    if (when == 1) {
        StartSelectedCue();
    } else if (when == 2) {
        if (played) {
            CompletionWait(self, channel);
            if (!Stopped(self)) StartSelectedCue();
        } else if (!fading) {
            StartSelectedCue();
        }
    }
}

bool Processes::PlaySound(const CueProcess& self, const CueRecord& record, int& channel,
                          bool& played) {
    CueRecord rec = record;
    // 1.
    LetEventsRun();
    if (Stopped(self)) return false;
    // 2. the channel
    if (rec.Channel == kAnyAvailable) {
        channel = -1;
        for (int i = 0; i < kChannelCount; ++i) {
            const int state = Player(i)->PlayState();
            if (state == 6 || state == 0) {
                channel = i;
                break;
            }
        }
        if (channel < 0) {
            pb_.shell().status().writeDirect(QStringLiteral("CUE ") + DecimalText(rec.Number) +
                                             QStringLiteral(" WARNING:  No Channels Available!"));
            channel = 0;
        }
    } else {
        channel = rec.Channel;
    }
    // 3. the media
    if (!LookUpMedia(rec)) return false;
    // 4. the player, in this order
    MediaPlayer* p = Player(channel);
    if (p) {
        p->setAutoStart(false);
        if (p->FileName() != rec.File) {
            LoadMedia(p, rec.File);
            p->setVolume(-4000);
        }
        p->setMute(false);
        p->setPlayCount(rec.PlayCount);
        p->setRate(rec.Rate);
        p->Tag.clear();
        p->setSelectionStart(rec.SelectionStart);
        p->setSelectionEnd(rec.SelectionEnd);
        if (p->PlayState() != 2) p->setCurrentPosition(rec.SelectionStart);
        p->Play();
        p->setVolume(rec.Volume);
    }
    played = true;
    return true;
}

void Processes::WaitForIteration(const CueProcess& self, const CueRecord& rec) {
    IterationPending = true;
    pb_.shell().ShowStatus(QStringLiteral("Executing Cue ") + DecimalText(rec.Number + 1) +
                               QStringLiteral(" - Awaiting end of loop iteration..."),
                           1);
    // Besides the mark, the wait ends on Stop, on a channel that no longer plays, and when
    // the loop wraps back to its start before the mark was passed.
    QPointer<MediaPlayer> p = Player(rec.Channel);
    double last = -1;
    for (;;) {
        LetEventsRun();
        if (!p || ShowHalted || Stopped(self) || p->PlayState() != 2) return;
        const double mark = p->SelectionEnd() - rec.ActionCue * 0.001;
        const double position = p->CurrentPosition();
        if (mark < position) return;
        if (last >= 0 && position < last) return; // wrapped round without passing the mark
        last = position;
        SleepForEvents(kIterationSleepMs);
    }
}

void Processes::ChangeVolume(const CueRecord& rec, bool& fading) {
    // Speed and target as the cue's panel shows them: a stored speed above 10 would give a
    // negative tick period, and a fade never reaches a target above full level.
    const int speed = std::clamp<int>(rec.FadeSpeed, 0, 10);
    const int target = std::clamp<int>(rec.Volume, kVolumeFloor, 0);
    if (speed == 10) {
        if (MediaPlayer* p = Player(rec.Channel)) p->setVolume(target);
        return;
    }
    IterationPending = false;
    LoadFadeProcess(QString::number(target) + QLatin1Char('/') + QString::number(rec.Channel),
                    FadeInterval(speed));
    fading = true;
}

void Processes::TriggerCue(const CueRecord& rec) {
    CueListEditor& cues = pb_.cues();
    if (rec.ActionCue >= 1 && rec.ActionCue <= cues.model().count()) cues.SelectRow(rec.ActionCue);
    StartSelectedCue();
}

bool Processes::BufferSound(const CueProcess& self, const CueRecord& record) {
    CueRecord rec = record;
    MediaPlayer* player = Player(rec.Channel);
    if (!player) return true; // names no player: nothing to buffer
    QPointer<MediaPlayer> p = player;
    // 1-3.
    LetEventsRun();
    if (Stopped(self) || !LookUpMedia(rec)) return false;
    const QString channelText = QStringLiteral("Channel ") + QString::number(rec.Channel + 1);
    pb_.shell().ShowStatus(channelText + QStringLiteral(" : Buffering..."), 1);
    // 4. load and pre-roll the last half second, muted
    if (!p) return true;
    LoadMedia(p, rec.File);
    p->setMute(true);
    p->setPlayCount(2);
    p->Play();
    p->setCurrentPosition(p->SelectionEnd() - 0.5);
    p->setRate(1.0);
    p->Tag = QStringLiteral("Buffer");
    // 5. Stop ends the second at once: the channel it emptied is no buffered one.
    Wait(1, [&] { return Stopped(self); });
    // 6.
    if (!Stopped(self) && p && p->Tag == QLatin1String("Buffer")) {
        p->Pause();
        p->setCurrentPosition(0);
        pb_.shell().ShowStatus(channelText + QStringLiteral(" : Buffering Complete."), 0);
    } else {
        pb_.shell().ShowStatus(channelText + QStringLiteral(" : Buffering Interrupted."), 1);
    }
    // 7.
    pb_.shell().status().ArmRestore();
    return true;
}

bool Processes::Delay(const CueProcess& self, const CueRecord& rec) {
    DelayWithStatus(pb_.shell().status(), rec.ActionCue * 0.001, [&] { return Stopped(self); });
    return !DelayHalted;
}

void Processes::CompletionWait(const CueProcess& self, int channel) {
    QPointer<MediaPlayer> p = Player(channel);
    for (;;) {
        if (ShowHalted || Stopped(self)) return;
        LetEventsRun();
        if (!p || p->PlayState() != 2) return;
        SleepForEvents(kCompletionSleepMs);
    }
}

// --- the fade process ---------------------------------------------------------------------------

void Processes::tmrFader_Timer(int Index) {
    auto it = tmrFader_.find(Index);
    if (it == tmrFader_.end()) return;
    const std::shared_ptr<FadeProcess> self = it->second;
    if (nestedTicks_ >= kMaxNestedTicks) { // put off until the waits below have ended
        if (self->timer) self->timer->start(kDeferredTickMs);
        return;
    }
    const NestedTick nested(nestedTicks_);
    // 4. The next tick is armed before this one's wait, due a period after this one was due:
    // a late tick does not push the later ones back, and a wait that runs inside this one's
    // (a cue's completion wait, say) does not hold the fade up.
    self->Interval = FadeTickInterval(self->Interval);
    self->due += self->Interval;
    if (self->timer)
        self->timer->start(static_cast<int>(
            std::clamp<qint64>(self->due - self->clock.elapsed(), 0, self->Interval)));
    // 1. A tick that comes inside this fade's own wait steps at once: that wait lets the
    // events run already.
    if (!self->ticking) {
        self->ticking = true;
        LetEventsRun();
        self->ticking = false;
        // A tick inside the wait has ended the fade, or Stop came: no step, no cue started.
        if (self->finished || Stopped(*self)) return;
    }
    // 2. the task, read afresh
    const QString tag = self->Tag;
    const qsizetype slash = tag.indexOf(QLatin1Char('/'));
    const std::optional<double> targetValue =
        slash < 0 ? std::nullopt : ReadNumber(tag.left(slash));
    const std::optional<double> channelValue =
        slash < 0 ? std::nullopt : ReadNumber(tag.mid(slash + 1));
    MediaPlayer* p = nullptr;
    if (channelValue && *channelValue >= 0 && *channelValue < kChannelCount)
        p = Player(static_cast<int>(*channelValue));
    bool finished = true; // a fade that names no player ends as a finished fade
    if (p && targetValue) {
        const int target = static_cast<int>(std::clamp(std::floor(*targetValue), -1e9, 1e9));
        // 3.
        p->setMute(false);
        // 5, 6.
        const FadeResult r = FadeStep(p->Volume(), target, self->Interval);
        p->setVolume(r.volume);
        finished = r.finished;
    }
    if (!finished) return; // 7.
    // 8.
    self->finished = true;
    if (!IterationPending && SelectedWhen() == 2) StartSelectedCue();
    IterationPending = false;
    Release(self);
}

} // namespace sorvane
