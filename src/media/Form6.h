#pragma once

// The decoding window: "Decoding MP3 to WAV format.  Please Wait...", a strip of six teal
// squares sliding across a grey track every 10 ms, and Cancel, which ends the decoder.

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

namespace sorvane {

class clsMP3;

class Form6 : public QWidget {
    Q_OBJECT
public:
    // `owner` is the main window; the window is a separate top-level window it owns.
    Form6(clsMP3& mp3, QWidget* owner);
    ~Form6() override;

    void Form_Load();
    void Timer1_Timer();
    void Command1_Click(); // Cancel
    // Hides the window and deletes it once control is back in the event loop.
    void Unload();
    bool isUnloaded() const { return unloaded_; }

    // The strip's left edge inside the track, in twips.
    int StripLeftTw() const { return stripLeft_; }

    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;
    QWidget* Picture1 = nullptr; // the grey track
    QWidget* Picture2 = nullptr; // the strip inside it
    QWidget* Squares[6] = {};    // Picture3 .. Picture8
    QTimer* Timer1 = nullptr;

private:
    clsMP3& mp3_;
    int stripLeft_ = 0;
    bool unloaded_ = false;
};

} // namespace sorvane
