#include "MediaPlayer.h"

#include "PlayerCore.h"
#include "VideoDecoder.h"

#include <QFile>
#include <QPainter>
#include <QTimer>

namespace sorvane {

MediaPlayer::MediaPlayer(AudioEngine& engine, QWidget* parent)
    : QWidget(parent), core_(new PlayerCore(engine, this)), frameTimer_(new QTimer(this)) {
    connect(core_, &PlayerCore::playStateChanged, this, &MediaPlayer::PlayStateChange);
    connect(core_, &PlayerCore::mediaChanged, this, &MediaPlayer::mediaChanged);
    frameTimer_->setInterval(10);
    connect(frameTimer_, &QTimer::timeout, this, &MediaPlayer::showFrame);
}

MediaPlayer::~MediaPlayer() = default;

QString MediaPlayer::FileName() const {
    return core_->fileName();
}
void MediaPlayer::setFileName(const QString& FileName) {
    core_->setFileName(FileName);
}
bool MediaPlayer::AutoStart() const {
    return core_->autoStart();
}
void MediaPlayer::setAutoStart(bool AutoStart) {
    core_->setAutoStart(AutoStart);
}
int MediaPlayer::PlayState() const {
    return core_->playState();
}
double MediaPlayer::CurrentPosition() const {
    return core_->currentPosition();
}
void MediaPlayer::setCurrentPosition(double CurrentPosition) {
    core_->setCurrentPosition(CurrentPosition);
}
double MediaPlayer::SelectionStart() const {
    return core_->selectionStart();
}
void MediaPlayer::setSelectionStart(double SelectionStart) {
    core_->setSelectionStart(SelectionStart);
}
double MediaPlayer::SelectionEnd() const {
    return core_->selectionEnd();
}
void MediaPlayer::setSelectionEnd(double SelectionEnd) {
    core_->setSelectionEnd(SelectionEnd);
}
int MediaPlayer::Volume() const {
    return core_->volume();
}
void MediaPlayer::setVolume(int Volume) {
    core_->setVolume(Volume);
}
double MediaPlayer::Rate() const {
    return core_->rate();
}
void MediaPlayer::setRate(double Rate) {
    core_->setRate(Rate);
}
int MediaPlayer::PlayCount() const {
    return core_->playCount();
}
void MediaPlayer::setPlayCount(int PlayCount) {
    core_->setPlayCount(PlayCount);
}
bool MediaPlayer::Mute() const {
    return core_->mute();
}
void MediaPlayer::setMute(bool Mute) {
    core_->setMute(Mute);
}
void MediaPlayer::Play() {
    core_->play();
}
void MediaPlayer::Pause() {
    core_->pause();
}
void MediaPlayer::Stop() {
    core_->stop();
}

void MediaPlayer::mediaChanged() {
    video_.reset();
    picture_ = QImage();
    if (core_->hasVideo())
        video_ = engine::VideoDecoder::open("file:" +
                                            QFile::encodeName(core_->fileName()).toStdString());
    if (video_)
        frameTimer_->start();
    else
        frameTimer_->stop();
    update();
}

void MediaPlayer::showFrame() {
    if (!video_) return;
    engine::VideoDecoder::Frame frame;
    if (!video_->takeFrame(core_->currentPosition(), frame)) return;
    picture_ = QImage(reinterpret_cast<const uchar*>(frame.pixels.data()), frame.width,
                      frame.height, frame.width * 4, QImage::Format_RGB32)
                   .copy();
    update();
}

void MediaPlayer::paintEvent(QPaintEvent*) {
    if (!video_) return; // a sound has nothing to show
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (picture_.isNull()) return;
    // The whole picture, as large as the area allows, centred.
    const QSize size = picture_.size().scaled(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture_);
}

} // namespace sorvane
