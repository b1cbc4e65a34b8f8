#pragma once

// What the main window offers the subsystems that are assembled into it. Each subsystem
// builds its own controls into the window and connects its own buttons of the frame; it
// reaches the rest of the window only through this interface.

#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace sorvane {

class Dialogs;
class LineControl;
class StatusLine;

// The controls of the main window's frame, by the names the program uses for them.
struct Frame {
    QWidget* form = nullptr;   // the main window itself
    QWidget* client = nullptr; // the window's client area, parent of the panels

    // The column of play and edit buttons.
    QWidget* pctActionControls = nullptr;
    QPushButton* cmdGo = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdPrev = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdAddCue = nullptr;    // "Insert Cue"
    QPushButton* cmdDeleteCue = nullptr; // "Delete Cue"
    QPushButton* cmdMoveUp = nullptr;
    QPushButton* cmdMoveDown = nullptr;
    QPushButton* cmdLoadShow = nullptr;   // "Load"
    QPushButton* cmdSave = nullptr;       // "Save"
    QPushButton* Command1 = nullptr;      // "Create New"
    QPushButton* Command7 = nullptr;      // "Load Old", hidden unless started with the switch
    QPushButton* cmdProperties = nullptr; // "< Properties" / "Properties >"
    QPushButton* cmdMixer = nullptr;      // "Hide Mixer" / "Show Mixer"

    // Headings and rules.
    QLabel* Label1 = nullptr; // "Cue List"
    LineControl* Line2 = nullptr;
    QLabel* Label2 = nullptr; // "Cue Properties"
    LineControl* Line1 = nullptr;
    QLabel* lblMixer = nullptr; // "Mixer"
    LineControl* Line3 = nullptr;
    QLabel* imgSVLogo = nullptr;

    QWidget* pctMixer = nullptr;
};

class Shell {
public:
    virtual ~Shell() = default;

    virtual Frame& frame() = 0;
    virtual StatusLine& status() = 0;
    virtual Dialogs& dialogs() = 0;

    // Shorthands for the status line's public operations.
    void ShowStatus(const QString& tmpText, int tmpColor);
    void ClearStatusHistory();

    // Lays the window out again for its size and the panels' states.
    virtual void Form_Resize() = 0;
    // The window's outer width and height in twips (W and H of the layout).
    virtual int OuterWidthTw() const = 0;
    virtual int OuterHeightTw() const = 0;
    // Sets the window's outer height in twips.
    virtual void SetOuterHeightTw(int tw) { (void)tw; }
    // Gives the GO button the keyboard focus.
    virtual void FocusGo() = 0;
};

} // namespace sorvane
