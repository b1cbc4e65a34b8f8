#pragma once

// The intro window: plays the intro video, opens the main window and closes itself.

#include <QWidget>
#include <functional>

namespace sorvane {

class AudioEngine;
class MediaPlayer;

class Form2 : public QWidget {
    Q_OBJECT
public:
    // `showMain` creates (once), loads and shows the main window. The intro plays on
    // `engine`.
    Form2(AudioEngine& engine, const QString& commandLine, std::function<void()> showMain);
    ~Form2() override;

    // The program's entry. Returns when the intro window has been unloaded.
    void Form_Load();

    // The intro video's file: the application folder and "intro.avi".
    static QString IntroPath();

    // Whether the intro video could be loaded (set by Form_Load).
    bool introPlayable() const { return playable_; }
    // How often the intro window was shown (0 when skipped).
    int timesShown() const { return timesShown_; }

    MediaPlayer* MediaPlayer1 = nullptr;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void build(AudioEngine& engine);
    bool LoadIntro();
    void SetRate(double rate);
    void PlayIntro();
    void ShowIntro();
    QString commandLine_;
    std::function<void()> showMain_;
    bool playable_ = false;
    int timesShown_ = 0;
};

} // namespace sorvane
