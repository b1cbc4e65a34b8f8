#pragma once

// The media player control placed on a window: it plays a sound or video file through the
// AudioEngine and, for a video, shows the pictures in its own area at the set Rate.
//
// Times are seconds; Volume is in hundredths of a decibel (0 full, -4000 and below silent);
// PlayState is 0 stopped, 1 paused, 2 playing, 6 closed (no media). PlayStateChange is
// emitted on the GUI thread for every change of PlayState.

#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>

class QTimer;

namespace sorvane {

class AudioEngine;
class PlayerCore;
namespace engine {
class VideoDecoder;
}

class MediaPlayer : public QWidget {
    Q_OBJECT
public:
    explicit MediaPlayer(AudioEngine& engine, QWidget* parent = nullptr);
    ~MediaPlayer() override;

    // The path as set; empty when the file could not be opened or decoded. Setting the
    // empty text empties the player.
    QString FileName() const;
    void setFileName(const QString& FileName);
    // Whether a load starts playback (off unless set).
    bool AutoStart() const;
    void setAutoStart(bool AutoStart);
    int PlayState() const;
    // The play position; setting it seeks, also while playing; Play starts there.
    double CurrentPosition() const;
    void setCurrentPosition(double CurrentPosition);
    // The stretch that is played; right after a load it is the whole media.
    double SelectionStart() const;
    void setSelectionStart(double SelectionStart);
    double SelectionEnd() const;
    void setSelectionEnd(double SelectionEnd);
    int Volume() const;
    void setVolume(int Volume);
    // Speed and pitch together, 0.25 to 2.
    double Rate() const;
    void setRate(double Rate);
    // Plays of the selection before the player stops by itself; 0 is endless.
    int PlayCount() const;
    void setPlayCount(int PlayCount);
    bool Mute() const;
    void setMute(bool Mute);

    void Play();
    void Pause(); // keeps the position
    void Stop();

    // Held for the window that holds the player.
    QString Tag;

signals:
    void PlayStateChange(int NewState);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void mediaChanged();
    void showFrame();

    PlayerCore* core_;
    std::unique_ptr<engine::VideoDecoder> video_;
    QImage picture_;
    QTimer* frameTimer_;
};

} // namespace sorvane
