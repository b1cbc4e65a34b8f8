#pragma once

// The status strip along the bottom of the main window: the status line with its kinds and
// typewriter, the status history in its drawer, and the history menu.

#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <vector>

class QFrame;
class QLabel;
class QMenu;
class QAction;
class QTimer;
class QToolButton;
class QTreeWidget;
class QWidget;

namespace sorvane {

class Shell;

class StatusLine : public QObject {
    Q_OBJECT
public:
    StatusLine(Shell& shell, QWidget* client);

    // Shows a message in the colour of its kind and appends it to the history.
    // Kinds: 0 green, 1 yellow, 2 red, 3 white, 4 typewriter after the first "%".
    void ShowStatus(const QString& tmpText, int tmpColor);
    void ClearStatusHistory();
    // Writes the status line alone, without a history entry and without touching the timer.
    void writeDirect(const QString& caption, const QColor& colour);
    void writeDirect(const QString& caption);
    // After a buffering cue: in 2 s, go back to the newest entry without "Buffer".
    void ArmRestore();

    // Places the strip and the drawer along the bottom of the client area (pixels).
    void placeAtBottom(int clientWidthPx, int clientHeightPx);

    // Handlers.
    void tmrShowStatus_Timer();
    void Command2_Click();
    void Command4_Click();
    void mnuClearHistory_Click();

    // Controls.
    QFrame* Picture1 = nullptr;
    QToolButton* Command2 = nullptr;
    QToolButton* Command4 = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lblCuesRunning = nullptr;
    QFrame* pctStatusHistory = nullptr;
    QTreeWidget* lstStatusHistory = nullptr;
    QMenu* mnuHidden = nullptr;
    QAction* mnuClearHistory = nullptr;
    QTimer* tmrShowStatus = nullptr;
    QString tmrShowStatusTag; // characters still to type, or "!" for a pending restore
    QPixmap imgUpArrow;
    QPixmap imgDownArrow;

    QColor statusColour() const;
    // The history as (text, colour, bold), oldest first.
    struct Entry {
        QString text;
        QColor colour;
        bool bold;
    };
    QList<Entry> history() const;
    // Entries the history keeps, the newest: cues that keep starting each other can report
    // thousands of messages a second.
    static constexpr std::size_t kHistoryLimit = 10000;

private:
    void setStatusColour(const QColor& c);
    // Brings the drawer's list up to the history; with `scroll`, shows the newest entry.
    void listHistory(bool scroll);
    void scrollToNewest();
    // Lets go of the `n` oldest entries, in the drawer's list too.
    void dropOldest(std::size_t n);
    Shell& shell_;
    // The history, oldest first. The drawer's list is filled from it while the drawer is
    // open (or when it opens), so a message costs the same however long the history is.
    struct Line {
        QString text;
        QColor colour;
    };
    std::vector<Line> entries_;      // only the newest is bold
    std::size_t listed_ = 0;         // entries the drawer's list holds
    QTimer* scrollNewest_ = nullptr; // the list shows its newest entry at the next pass
};

// The three small pictures of the strip, drawn in code.
QPixmap DrawArrow(bool up);
QPixmap DrawListSymbol();

} // namespace sorvane
