#pragma once

// The working of one media player, without any widget: the members a player offers and
// their effects, on one voice of the AudioEngine. All calls come from the engine's thread
// (the GUI thread); none of them waits for decoding, only a load waits for the file to
// open. State changes are reported by playStateChanged on that thread.

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

namespace sorvane {

class AudioEngine;
namespace engine {
class MediaSource;
}

class PlayerCore : public QObject {
    Q_OBJECT
public:
    enum State { Stopped = 0, Paused = 1, Playing = 2, Closed = 6 };

    explicit PlayerCore(AudioEngine& engine, QObject* parent = nullptr);
    ~PlayerCore() override;

    // The path as set, or empty when nothing is loaded or the file could not be played.
    QString fileName() const { return fileName_; }
    // Loads `path` (the empty text empties the player). Position 0, the selection the
    // whole media, state stopped (playing with autoStart); volume, rate, count and mute stay.
    void setFileName(const QString& path);
    bool autoStart() const { return autoStart_; }
    void setAutoStart(bool on) { autoStart_ = on; }

    int playState() const { return state_; }

    // Seconds from the start of the media.
    double currentPosition() const;
    void setCurrentPosition(double seconds);
    double selectionStart() const { return selectionStart_; }
    void setSelectionStart(double seconds);
    double selectionEnd() const { return selectionEnd_; }
    void setSelectionEnd(double seconds);

    int volume() const { return volume_; }
    void setVolume(int hundredthsOfDb);
    double rate() const { return rate_; }
    void setRate(double factor);
    int playCount() const { return playCount_; }
    void setPlayCount(int count);
    bool mute() const { return mute_; }
    void setMute(bool on);

    void play();
    void pause();
    void stop();

    // What was loaded: the length of the media (seconds) and whether it has pictures.
    double duration() const { return duration_; }
    bool hasVideo() const { return hasVideo_; }
    // Why the last load failed (empty after a good load).
    QString lastError() const { return lastError_; }

signals:
    void playStateChanged(int newState);
    // A new file was loaded or the player was emptied.
    void mediaChanged();

private:
    friend class AudioEngine;
    void onEnded(std::uint64_t runSeq);
    // The engine is going away: the player lets go of it and stays empty.
    void detachEngine();
    void setState(int state);
    void unload();
    std::int64_t toFrames(double seconds) const;

    AudioEngine* engine_; // null once the engine has gone
    int voice_ = -1;
    std::shared_ptr<engine::MediaSource> source_;
    int sourceRate_ = 0;
    QString fileName_;
    QString lastError_;
    bool autoStart_ = false;
    int state_ = Closed;
    double duration_ = 0;
    bool hasVideo_ = false;
    double selectionStart_ = 0;
    double selectionEnd_ = 0;
    int volume_ = 0;
    double rate_ = 1.0;
    int playCount_ = 1;
    bool mute_ = false;
    std::uint64_t lastPlaySeq_ = 0;
    bool fromStop_ = true;         // the next Play starts the passes afresh
    std::uint64_t pendingSeq_ = 0; // a position set here that the audio thread has not taken yet
    double pendingPosition_ = 0;
};

} // namespace sorvane
