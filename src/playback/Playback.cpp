#include "Playback.h"

#include "Mixer.h"
#include "PlaybackWaits.h"
#include "Processes.h"
#include "Transport.h"
#include "core/Shell.h"
#include "cuelist/CueListEditor.h"

#include <QTreeView>

namespace sorvane {

Playback::Playback(Shell& shell, CueListEditor& cues, AudioEngine& engine, QObject* parent)
    : QObject(parent), shell_(shell), cues_(cues) {
    mixer_ = new Mixer(shell, engine, shell.frame().client, cues.ListView1());
    mixer_->setParent(this);
    paintHold_ = new PaintHold(this);
    processes_ = new Processes(*this);
    transport_ = new Transport(*this);
    mixer_->setProcessCount([this] { return RunningProcesses(); });
}

Playback::~Playback() {
    // Processes go first: their timers must not fire into a half-destroyed window.
    delete processes_;
    processes_ = nullptr;
}

int Playback::RunningProcesses() const {
    return processes_ ? processes_->showCount() + processes_->fadeCount() : 0;
}

} // namespace sorvane
