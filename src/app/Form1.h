#pragma once

// The main window: the shell that assembles the cue list, the properties panel, the play and
// edit column, the mixer and the status strip, lays them out, and runs the window's load.

#include "core/Shell.h"

#include <QPixmap>
#include <QWidget>
#include <functional>
#include <memory>

namespace sorvane {

class AudioEngine;
class CueListEditor;
class LineEditFields;
class MediaCommands;
class clsMP3;
class Mixer;
class Playback;
class ShowFiles;
class StatusLine;

// The layout's constant sets.
enum class LayoutVariant { XP, Win98 };

// Ends the program at once: no question, nothing saved.
[[noreturn]] void EndProgram();

class Form1 : public QWidget, public Shell {
    Q_OBJECT
public:
    // `commandLine` is the text of the arguments, taken as one text.
    // `engine` is the program's sound engine; without one the channels play on a silent
    // engine of the window's own, and the media commands make a sounding one when first used.
    Form1(const QString& commandLine, Dialogs& dialogs, AudioEngine* engine = nullptr);
    ~Form1() override;

    // Loads the window (once) and shows it.
    void Show();
    void Form_Load();

    // Shell
    Frame& frame() override { return frame_; }
    StatusLine& status() override { return *status_; }
    Dialogs& dialogs() override { return dialogs_; }
    void Form_Resize() override;
    int OuterWidthTw() const override;
    int OuterHeightTw() const override;
    void FocusGo() override;

    // Sets the outer size in twips (a size correction of the layout goes through here).
    void SetOuterWidthTw(int tw);
    void SetOuterHeightTw(int tw) override;

    void ResizeXP();
    void Resize98();
    void Label8_Click();
    // What ends the program (EndProgram); a test puts its own here.
    std::function<void()> endProgram = [] { EndProgram(); };

    CueListEditor& cues() { return *cues_; }
    // Browse and Edit of the properties panel, with the test player and the decoder runner;
    // made when first used.
    MediaCommands& media();
    clsMP3& MP3();
    ShowFiles& showFiles() { return *showFiles_; }
    Playback& playback() { return *playback_; }
    Mixer& mixer();
    bool isLoaded() const { return loaded_; }


protected:
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void BuildFrame();
    void LayoutPass(LayoutVariant v);

    QString commandLine_;
    Dialogs& dialogs_;
    Frame frame_;
    StatusLine* status_ = nullptr;
    CueListEditor* cues_ = nullptr;
    ShowFiles* showFiles_ = nullptr;
    QPixmap backdrop_;
    bool loaded_ = false;
    AudioEngine* engine_ = nullptr;
    std::unique_ptr<AudioEngine> ownEngine_;
    std::unique_ptr<AudioEngine> channelEngine_; // silent, when no engine was given
    Playback* playback_ = nullptr;
    std::unique_ptr<LineEditFields> mediaFields_;
    MediaCommands* media_ = nullptr;
};

// The program's one-letter start-up switch: no intro, "Load Old" shown.
inline const QString StartUpSwitch = QStringLiteral("o");

// Pictures of the window, drawn in code.
QPixmap DrawBackdrop(); // 1600 x 1200 dark blue
QPixmap DrawLogo(int widthPx, int heightPx);

} // namespace sorvane
