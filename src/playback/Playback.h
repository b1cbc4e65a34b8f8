#pragma once

// Show playback as the main window assembles it: the mixer with the four channel players,
// the transport controls and the running cue and fade processes.

#include <QObject>

namespace sorvane {

class AudioEngine;
class CueListEditor;
class Mixer;
class PaintHold;
class Processes;
class Shell;
class Transport;

class Playback : public QObject {
    Q_OBJECT
public:
    Playback(Shell& shell, CueListEditor& cues, AudioEngine& engine, QObject* parent);
    ~Playback() override;

    Shell& shell() const { return shell_; }
    CueListEditor& cues() const { return cues_; }
    Mixer& mixer() const { return *mixer_; }
    Transport& transport() const { return *transport_; }
    Processes& processes() const { return *processes_; }
    // Holds the window's repaint while a cue is on its way to its sound.
    PaintHold& paintHold() const { return *paintHold_; }

    // "Running Processes:": cue processes plus fade processes.
    int RunningProcesses() const;

private:
    Shell& shell_;
    CueListEditor& cues_;
    Mixer* mixer_ = nullptr;
    Transport* transport_ = nullptr;
    Processes* processes_ = nullptr;
    PaintHold* paintHold_ = nullptr;
};

} // namespace sorvane
