#pragma once

// The four channels and the mixer panel: the channel players, one fader, number, file label,
// percentage and position bar per channel, the master fader with its link box, the 50-ms
// meter tick that mirrors the players, and the "Hide Mixer" toggle.

#include <QObject>
#include <QProgressBar>
#include <functional>

class QCheckBox;
class QLabel;
class QSlider;
class QTimer;

namespace sorvane {

class AudioEngine;
class MediaPlayer;
class Shell;

inline constexpr int kChannelCount = 4;

// A position bar in seconds. Like the bar it stands for, it refuses a maximum not above its
// minimum, a minimum not below its maximum and a value outside its range: such a setting is
// skipped and the bar keeps what it had (reported by the setters' result).
class PositionBar : public QProgressBar {
    Q_OBJECT
public:
    explicit PositionBar(QWidget* parent);
    bool setMax(double seconds);
    bool setMin(double seconds);
    bool setValueSeconds(double seconds);
    double Min() const { return min_; }
    double Max() const { return max_; }
    double Value() const { return value_; }

private:
    void paintBar();
    float min_ = 0;
    float max_ = 1;
    float value_ = 0;
};

class Mixer : public QObject {
    Q_OBJECT
public:
    // Builds the panel into the frame's `pctMixer` and the players on `engine`.
    // `list` is the cue list, whose height the toggle sets before the layout pass.
    Mixer(Shell& shell, AudioEngine& engine, QWidget* client, QWidget* list);
    ~Mixer() override;

    // The number of running cue and fade processes, for "Running Processes:".
    void setProcessCount(std::function<int()> count) { processCount_ = std::move(count); }

    // Handlers.
    void tmrChannelUpdate_Timer();
    void sldMixer_Change(int Index);
    void sldMixer_Scroll(int Index);
    void sldMixer_MouseDown(int Index);
    void sldMixer_MouseUp(int Index);
    void chkLinkChannels_Click();
    void sldLinkChannels_Change();
    void sldLinkChannels_Scroll();
    void cmdMixer_Click();

    // The players of the channels "1".."4".
    MediaPlayer* MediaPlayer1[kChannelCount] = {};

    // Controls.
    QSlider* sldMixer[kChannelCount] = {};
    PositionBar* sldPosition[kChannelCount] = {};
    QLabel* lblChannels[kChannelCount] = {};
    QLabel* lblChannelData[kChannelCount] = {};
    QLabel* lblChannelPercent[kChannelCount] = {};
    QSlider* sldLinkChannels = nullptr;
    QCheckBox* chkLinkChannels = nullptr;
    QLabel* Label8 = nullptr; // "3" beside the third channel's position bar
    QTimer* tmrChannelUpdate = nullptr;

    // Number colours by play state.
    static QColor ClosedColour() { return {100, 100, 100}; }
    static QColor StoppedColour() { return {200, 100, 0}; }
    static QColor PausedColour() { return {255, 255, 0}; }
    static QColor PlayingColour() { return {0, 200, 0}; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Build(AudioEngine& engine);
    void LinkStep();
    void MeterChannel(int i);

    Shell& shell_;
    QWidget* list_;
    std::function<int()> processCount_;
};

// The text colour of a label.
QColor TextColour(const QLabel* label);

} // namespace sorvane
