#pragma once

// The position-marker editor "Edit Position Markers": the waveform of the cue's media file
// with the start and end markers over it, nudges, Set Start and Set End (also the "[" and "]"
// keys), and a preview on the editor's own player. Done writes both markers into the
// properties panel's fields; Cancel writes nothing.
//
// The working markers are the player's selection. Marker positions are kept in twips as
// numbers with fractions (the widgets stand at the nearest pixel), so that reading a marker
// back gives the time it was placed at.

#include "MarkerGeometry.h"
#include "core/CueRef.h"

#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;

namespace sorvane {

class AudioEngine;
class MediaFields;
class MediaPlayer;

// The graph `Picture1`: black, the band `Shape1` in dark blue, the waveform's white lines
// over them (drawn once per load into an image), and the markers and play-head as children.
class GraphView : public QWidget {
    Q_OBJECT
public:
    explicit GraphView(QWidget* parent);
    QImage picture;                // the waveform's lines, transparent elsewhere
    bool bandVisible = false;      // Shape1.Visible
    double bandLeftTw = 0;         // Shape1.Left
    double bandWidthTw = 0;        // Shape1.Width
    std::function<void(int button, double xTw)> onMouseMove;
    std::function<void(int button, double xTw)> onMouseDown;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
};

class Form5 : public QWidget {
    Q_OBJECT
public:
    Form5(AudioEngine& engine, MediaFields& fields, QWidget* owner);
    ~Form5() override;

    // --- window ---------------------------------------------------------------------------
    void Form_Load();
    void Form_Activate();
    // Closes the window: stops the preview and the timer, hides it and reports `unloaded`.
    // Work still running inside a wait (the loop pre-roll, the waveform's drawing) sees it
    // and ends without touching the window again.
    void Unload();
    bool isUnloaded() const { return unloaded_; }

    // --- the editor's handlers --------------------------------------------------------------
    void cmdNudge_Click(int Index);
    void Command1_Click(); // Done
    void Command2_Click(); // Play / Stop
    void Command3_Click(); // Cancel
    void Command4_Click(); // Set Start
    void Command5_Click(); // Set End
    void Text1_Change();
    void Picture1_MouseDown(int Button, double X);
    void mnuPlayFromHere_Click();
    void MediaPlayer1_PlayStateChange(int NewState);

    // --- waveform ---------------------------------------------------------------------------
    void LoadGraph(const QString& filename);

    // --- markers ----------------------------------------------------------------------------
    double GetAnyPos(double val) const;
    double GetMarkerPos(std::int16_t Index) const;
    void SetMarkers();
    void pctMarker_MouseDown(int Index, int Button);
    void pctMarker_MouseUp(int Index);
    void Picture1_MouseMove(int Button, double X);
    void Timer1_Timer();

    // Left edges in twips (graph coordinates for markers and play-head, window coordinates
    // for captions and arrows).
    double MarkerLeftTw(int i) const { return markerLeft_[static_cast<size_t>(i)]; }
    double PositionLeftTw() const { return positionLeft_; }
    double CaptionLeftTw(int i) const { return captionLeft_[static_cast<size_t>(i)]; }
    double ArrowLeftTw(int i) const { return arrowLeft_[static_cast<size_t>(i)]; }
    MarkerGeometry geometry() const;

    // The cue the editor was opened for; Done writes into it, also when a cue process has
    // selected another cue meanwhile, and into no cue when it is gone.
    CueRef cue;

    // Where the timer reads the cursor: by default the real cursor over the graph; tests may
    // give the X in graph twips instead.
    std::function<double()> cursorXTw;

    // --- controls ---------------------------------------------------------------------------
    MediaPlayer* MediaPlayer1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr; // the cue's file name
    QLabel* Label4 = nullptr; // the media length
    QLabel* Label5 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label13 = nullptr; // "Buffering..."
    std::array<QRadioButton*, 2> Option1{};
    std::array<QPushButton*, 6> cmdNudge{};
    QPushButton* Command1 = nullptr; // Done
    QPushButton* Command2 = nullptr; // Play / Stop
    QPushButton* Command3 = nullptr; // Cancel
    QPushButton* Command4 = nullptr; // Set Start
    QPushButton* Command5 = nullptr; // Set End
    QCheckBox* Check1 = nullptr;     // Loop
    QLineEdit* Text1 = nullptr;
    QMenu* mnuHidden = nullptr;
    QAction* mnuPlayFromHere = nullptr;
    QTimer* Timer1 = nullptr;
    GraphView* Picture1 = nullptr;
    QWidget* pctPosition = nullptr;
    std::array<QWidget*, 2> pctMarker{};
    std::array<QLabel*, 2> lblPositionMarker{};
    std::array<QLabel*, 2> imgPositionArrow{};

signals:
    void unloaded();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Build();
    void BuildControls();
    void placeMarker(int i, double leftTw);
    void placePosition(double leftTw);
    void placeCaption(int i, double leftTw);
    void placeArrow(int i, double leftTw);
    void placeBand();
    double graphWidthTw() const;

    MediaFields& fields_;
    bool unloaded_ = false;
    std::array<double, 2> markerLeft_{};
    std::array<double, 2> captionLeft_{};
    std::array<double, 2> arrowLeft_{};
    double positionLeft_ = 0;
};

// The arrow picture above a marker, drawn in code.
QImage DrawPositionArrow(const QColor& colour);

} // namespace sorvane
