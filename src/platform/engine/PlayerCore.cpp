#include "PlayerCore.h"

#include "AudioEngine.h"
#include "DecodePool.h"
#include "EngineTypes.h"
#include "MediaSource.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>

namespace sorvane {

using namespace engine;

namespace {
constexpr double kMinRate = 0.25;
constexpr double kMaxRate = 2.0;
// Frames before a start that are decoded with it: the resampler reads them as history.
constexpr std::int64_t kHistoryFrames = 512;
} // namespace

PlayerCore::PlayerCore(AudioEngine& engine, QObject* parent) : QObject(parent), engine_(&engine) {
    voice_ = engine_->acquireVoice(this);
}

PlayerCore::~PlayerCore() {
    if (source_) engine_->pool().remove(source_.get());
    if (voice_ >= 0) engine_->releaseVoice(voice_);
}

std::int64_t PlayerCore::toFrames(double seconds) const {
    if (!std::isfinite(seconds) || seconds <= 0 || sourceRate_ <= 0) return 0;
    return std::llround(std::min(seconds, 1e9) * sourceRate_);
}

void PlayerCore::setState(int state) {
    if (state == state_) return;
    state_ = state;
    emit playStateChanged(state);
}

void PlayerCore::unload() {
    if (source_) {
        engine_->pool().remove(source_.get());
        source_.reset();
    }
    fileName_.clear();
    duration_ = 0;
    hasVideo_ = false;
    sourceRate_ = 0;
    selectionStart_ = 0;
    selectionEnd_ = 0;
    pendingSeq_ = 0;
    pendingPosition_ = 0;
}

void PlayerCore::setFileName(const QString& path) {
    unload();
    lastError_.clear();
    if (voice_ < 0) {
        if (!path.isEmpty())
            lastError_ = engine_ ? QStringLiteral("every voice of the sound engine is taken")
                                 : QStringLiteral("the sound engine has closed");
        setState(Closed);
        emit mediaChanged();
        return;
    }
    std::shared_ptr<MediaSource> source;
    MediaProbe probe;
    if (!path.isEmpty()) {
        if (QFileInfo(path).isFile()) {
            // "file:" keeps a name with a colon from being taken for another protocol.
            const std::string url = "file:" + QFile::encodeName(path).toStdString();
            source = MediaSource::open(url, engine_->renderEpoch(), probe, &engine_->mp3s());
            if (!source && probe.hasVideo && probe.videoSeconds > 0) // pictures only
                source =
                    MediaSource::silence(engine_->sampleRate(),
                                         std::llround(probe.videoSeconds * engine_->sampleRate()));
            if (!source) lastError_ = QString::fromStdString(probe.error);
        } else {
            lastError_ = QStringLiteral("the file does not exist");
        }
    }
    if (!source) {
        engine_->send(CmdUnload, voice_, nullptr, 0);
        setState(Closed);
        emit mediaChanged();
        return;
    }

    source_ = source;
    sourceRate_ = source->sampleRate();
    engine_->prepareKernel(sourceRate_ * rate_ / engine_->sampleRate());
    duration_ = static_cast<double>(source->length()) / sourceRate_;
    hasVideo_ = probe.hasVideo;
    fileName_ = path;
    selectionStart_ = 0;
    selectionEnd_ = duration_;
    Voice& v = engine_->voice(voice_);
    v.selStart = 0;
    // To the end of the media, wherever decoding finds it, until an end marker is set.
    v.selEnd = std::numeric_limits<std::int64_t>::max();
    source->setCursor(0);
    source->setSeekHint(0);
    source->setLoopStart(0);
    engine_->holdForAudio(source);
    pendingSeq_ = engine_->send(CmdLoad, voice_, source.get(), 0);
    pendingPosition_ = 0;
    engine_->pool().add(source);
    fromStop_ = true;
    setState(Stopped);
    emit mediaChanged();
    if (autoStart_) play();
}

double PlayerCore::currentPosition() const {
    if (!source_) return 0;
    if (pendingSeq_ && engine_->appliedSeq() < pendingSeq_) return pendingPosition_;
    const std::int64_t frames = engine_->voice(voice_).position.load(std::memory_order_relaxed);
    return static_cast<double>(frames) / sourceRate_;
}

void PlayerCore::setCurrentPosition(double seconds) {
    if (!source_ || !std::isfinite(seconds)) return;
    const std::int64_t frames = std::clamp<std::int64_t>(toFrames(seconds), 0, source_->length());
    source_->setSeekHint(std::max<std::int64_t>(0, frames - kHistoryFrames));
    engine_->pool().wake();
    pendingSeq_ = engine_->send(CmdSeek, voice_, nullptr, frames);
    pendingPosition_ = static_cast<double>(frames) / sourceRate_;
}

void PlayerCore::setSelectionStart(double seconds) {
    selectionStart_ = seconds;
    if (!source_) return;
    const std::int64_t frames = toFrames(seconds);
    engine_->voice(voice_).selStart = frames;
    source_->setLoopStart(std::max<std::int64_t>(0, frames - kHistoryFrames));
    engine_->pool().wake();
}

void PlayerCore::setSelectionEnd(double seconds) {
    selectionEnd_ = seconds;
    if (!source_) return;
    engine_->voice(voice_).selEnd = toFrames(seconds);
}

void PlayerCore::setVolume(int hundredthsOfDb) {
    volume_ = hundredthsOfDb;
    if (voice_ >= 0) engine_->voice(voice_).volume = hundredthsOfDb;
}

void PlayerCore::setRate(double factor) {
    if (!std::isfinite(factor) || factor <= 0) return; // refused: the rate stays
    rate_ = std::clamp(factor, kMinRate, kMaxRate);
    if (voice_ < 0) return;
    if (sourceRate_ > 0) engine_->prepareKernel(sourceRate_ * rate_ / engine_->sampleRate());
    engine_->voice(voice_).rate = rate_;
}

void PlayerCore::setPlayCount(int count) {
    if (count < 0) return; // refused: the count stays
    playCount_ = count;
    if (voice_ >= 0) engine_->voice(voice_).playCount = count;
}

void PlayerCore::setMute(bool on) {
    mute_ = on;
    if (voice_ >= 0) engine_->voice(voice_).mute = on;
}

void PlayerCore::play() {
    if (!source_) return;
    if (state_ == Playing) {
        // The sound may have ended on the audio thread with the news still on its way: it
        // then starts afresh; a sound still running just goes on.
        lastPlaySeq_ = engine_->send(CmdPlay, voice_, nullptr, 2);
        return;
    }
    // From stopped (also stopped, then paused) every pass is played again; from a pause
    // the running pass goes on.
    lastPlaySeq_ = engine_->send(CmdPlay, voice_, nullptr, fromStop_ ? 1 : 0);
    fromStop_ = false;
    setState(Playing);
}

void PlayerCore::pause() {
    if (!source_) return;
    if (state_ == Playing) engine_->send(CmdPause, voice_, nullptr, 0);
    setState(Paused);
}

void PlayerCore::stop() {
    if (!source_) return;
    pendingSeq_ = engine_->send(CmdStop, voice_, nullptr, 0);
    const std::int64_t start =
        std::clamp<std::int64_t>(toFrames(selectionStart_), 0, source_->length());
    pendingPosition_ = static_cast<double>(start) / sourceRate_;
    fromStop_ = true;
    setState(Stopped);
}

void PlayerCore::onEnded(std::uint64_t runSeq) {
    if (state_ != Playing || runSeq != lastPlaySeq_) return;
    fromStop_ = true;
    setState(Stopped);
}

void PlayerCore::detachEngine() {
    if (!engine_) return;
    if (source_) {
        engine_->pool().remove(source_.get());
        source_.reset();
    }
    if (voice_ >= 0) engine_->releaseVoice(voice_);
    voice_ = -1;
    engine_ = nullptr;
    const bool hadMedia = !fileName_.isEmpty();
    unload();
    setState(Closed);
    if (hadMedia) emit mediaChanged();
}

} // namespace sorvane
