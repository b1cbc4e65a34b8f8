#include "Form2.h"

#include "Form1.h"
#include "core/Module1.h"
#include "core/Twips.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

namespace sorvane {

Form2::Form2(AudioEngine& engine, const QString& commandLine, std::function<void()> showMain)
    : QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint), commandLine_(commandLine),
      showMain_(std::move(showMain)) {
    build(engine);
}

void Form2::build(AudioEngine& engine) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Sorvane"));
    setFixedSize(480, 270);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    MediaPlayer1 = new MediaPlayer(engine, this);
    MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
    MediaPlayer1->setGeometry(rect());
}

Form2::~Form2() {
    delete MediaPlayer1; // before the engine it plays on
}

QString Form2::IntroPath() {
    return ApplicationFolder() + PathSeparator + QStringLiteral("intro.avi");
}

bool Form2::LoadIntro() {
    MediaPlayer1->setFileName(IntroPath());
    return !MediaPlayer1->FileName().isEmpty();
}
void Form2::SetRate(double rate) {
    MediaPlayer1->setRate(rate);
}
void Form2::PlayIntro() {
    MediaPlayer1->Play();
}

void Form2::ShowIntro() {
    // Without a playable video there is nothing to show; the timing stays the same.
    if (!playable_) return;
    show();
    raise();
    ++timesShown_;
}

void Form2::Form_Load() {
    // 1. the switch: straight to the main window
    if (commandLine_ == StartUpSwitch) {
        showMain_();
        return;
    }
    playable_ = LoadIntro(); // 2.
    ShowIntro();             // 3.
    SetRate(2.0);            // 4.
    PlayIntro();
    Wait(2);      // 5.
    SetRate(1.0); // 6.
    Wait(2);      // 7.
    showMain_();  // 8.
    ShowIntro();  // 9.
    Wait(1);      // 10.
    hide();       // 11. unloaded: the caller releases the window
}

void Form2::closeEvent(QCloseEvent* e) {
    // Closing the intro does not end the start-up.
    e->accept();
}

} // namespace sorvane
