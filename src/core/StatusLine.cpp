#include "StatusLine.h"

#include "Palette.h"
#include "Shell.h"
#include "Twips.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace sorvane {

namespace {
constexpr int kStripHeightTw = 375;
constexpr int kDrawerHeightTw = 2175;

QToolButton* PictureButton(QWidget* parent, int leftTw, const QString& name) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setAutoRaise(false);
    b->setFocusPolicy(Qt::NoFocus);
    SetBackground(b, Qt::black);
    b->setStyleSheet(
        QStringLiteral("QToolButton { background: black; border: 1px solid #303030; }"));
    SetGeometryTw(b, leftTw, 15, 270, 285);
    return b;
}
} // namespace

QPixmap DrawArrow(bool up) {
    QPixmap pm(12, 12);
    pm.fill(Qt::black);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    QPainterPath path;
    if (up) {
        path.moveTo(6, 2);
        path.lineTo(11, 9);
        path.lineTo(1, 9);
    } else {
        path.moveTo(1, 3);
        path.lineTo(11, 3);
        path.lineTo(6, 10);
    }
    path.closeSubpath();
    p.drawPath(path);
    return pm;
}

QPixmap DrawListSymbol() {
    QPixmap pm(12, 12);
    pm.fill(Qt::black);
    QPainter p(&pm);
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 3; ++row) {
        p.setBrush(kBrightGreen);
        p.drawRect(1, 2 + row * 3, 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(4, 2 + row * 3, 7, 2);
    }
    return pm;
}

StatusLine::StatusLine(Shell& shell, QWidget* client) : QObject(client), shell_(shell) {
    imgUpArrow = DrawArrow(true);
    imgDownArrow = DrawArrow(false);

    Picture1 = new QFrame(client);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    SetBackground(Picture1, kStripGrey);
    Picture1->setFixedHeight(TwToPx(kStripHeightTw));

    Command2 = PictureButton(Picture1, 15, QStringLiteral("Command2"));
    Command2->setIcon(imgUpArrow);
    Command2->setAccessibleName(QStringLiteral("Status History"));
    Command4 = PictureButton(Picture1, 300, QStringLiteral("Command4"));
    Command4->setIcon(DrawListSymbol());
    Command4->setAccessibleName(QStringLiteral("History Menu"));

    lblStatus = new QLabel(Picture1);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    QFont statusFont(QStringLiteral("Arial"));
    statusFont.setPointSizeF(8.25);
    statusFont.setBold(true);
    lblStatus->setFont(statusFont);
    SetGeometryTw(lblStatus, 660, 45, 8265, 240);
    SetTextColour(lblStatus, kWhite);

    Label4 = new QLabel(QStringLiteral("Running Processes:"), Picture1);
    Label4->setObjectName(QStringLiteral("Label4"));
    SetGeometryTw(Label4, 6000, 45, 1800, 240);
    SetTextColour(Label4, kBrightGreen);
    lblCuesRunning = new QLabel(QStringLiteral("0"), Picture1);
    lblCuesRunning->setObjectName(QStringLiteral("lblCuesRunning"));
    SetGeometryTw(lblCuesRunning, 7800, 45, 450, 240);
    SetTextColour(lblCuesRunning, kBrightGreen);

    pctStatusHistory = new QFrame(client);
    pctStatusHistory->setObjectName(QStringLiteral("pctStatusHistory"));
    SetBackground(pctStatusHistory, Qt::black);
    pctStatusHistory->setFixedHeight(TwToPx(kDrawerHeightTw));
    pctStatusHistory->hide();

    lstStatusHistory = new QTreeWidget(pctStatusHistory);
    lstStatusHistory->setObjectName(QStringLiteral("lstStatusHistory"));
    lstStatusHistory->setColumnCount(1);
    lstStatusHistory->setHeaderLabels({QStringLiteral("History")});
    lstStatusHistory->setRootIsDecorated(false);
    lstStatusHistory->setUniformRowHeights(true);
    lstStatusHistory->setFocusPolicy(Qt::NoFocus);
    const QFont small = SmallFont();
    lstStatusHistory->setFont(small);
    SetBackground(lstStatusHistory, Qt::black);
    SetTextColour(lstStatusHistory, kWhite);
    SetGeometryTw(lstStatusHistory, 570, 45, 11310, 2025);

    mnuHidden = new QMenu(client);
    mnuHidden->setObjectName(QStringLiteral("mnuHidden"));
    mnuClearHistory = mnuHidden->addAction(QStringLiteral("Clear Status History"));
    mnuClearHistory->setObjectName(QStringLiteral("mnuClearHistory"));

    tmrShowStatus = new QTimer(this);
    tmrShowStatus->setObjectName(QStringLiteral("tmrShowStatus"));
    tmrShowStatus->setInterval(500);
    tmrShowStatus->setTimerType(Qt::PreciseTimer);

    scrollNewest_ = new QTimer(this);
    scrollNewest_->setSingleShot(true);
    scrollNewest_->setInterval(0);

    connect(tmrShowStatus, &QTimer::timeout, this, &StatusLine::tmrShowStatus_Timer);
    connect(scrollNewest_, &QTimer::timeout, this, &StatusLine::scrollToNewest);
    connect(Command2, &QToolButton::clicked, this, &StatusLine::Command2_Click);
    connect(Command4, &QToolButton::clicked, this, &StatusLine::Command4_Click);
    connect(mnuClearHistory, &QAction::triggered, this, &StatusLine::mnuClearHistory_Click);
}

QColor StatusLine::statusColour() const {
    return lblStatus->palette().color(QPalette::WindowText);
}

void StatusLine::setStatusColour(const QColor& c) {
    SetTextColour(lblStatus, c);
}

void StatusLine::ShowStatus(const QString& tmpText, int tmpColor) {
    tmrShowStatus->stop();
    tmrShowStatusTag.clear();
    lblStatus->setText(tmpText);
    switch (tmpColor) {
    case 0:
        setStatusColour(kBrightGreen);
        break;
    case 1:
        setStatusColour(kYellow);
        break;
    case 2:
        setStatusColour(kRed);
        break;
    case 3:
        setStatusColour(kWhite);
        break;
    case 4: {
        const qsizetype p = tmpText.indexOf(QLatin1Char('%'));
        if (p >= 0) {
            lblStatus->setText(tmpText.left(p));
            tmrShowStatusTag = tmpText.mid(p + 1).left(1000);
        }
        setStatusColour(kBrightGreen);
        tmrShowStatus->setInterval(500);
        tmrShowStatus->start();
        break;
    }
    default:
        break;
    }
    QString entryText = tmpText;
    if (tmpColor == 4) entryText.remove(QLatin1Char('%'));
    entries_.push_back({entryText, statusColour()});
    if (entries_.size() >= kHistoryLimit + kHistoryLimit / 4)
        dropOldest(entries_.size() - kHistoryLimit);
    if (pctStatusHistory->isHidden()) return;
    // A scroll lays the whole list out again. Of messages that come in a burst, the first
    // is scrolled to at once and the newest at the event loop's next pass.
    if (scrollNewest_->isActive()) {
        listHistory(false);
    } else {
        listHistory(true);
        scrollNewest_->start();
    }
}

void StatusLine::dropOldest(std::size_t n) {
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(n));
    const std::size_t listed = std::min(n, listed_);
    lstStatusHistory->model()->removeRows(0, static_cast<int>(listed));
    listed_ -= listed;
}

void StatusLine::listHistory(bool scroll) {
    if (listed_ == entries_.size()) return;
    // Only the newest entry is bold, so only the last one listed can need clearing.
    const QFont plain = lstStatusHistory->font();
    if (const int n = lstStatusHistory->topLevelItemCount(); n > 0)
        lstStatusHistory->topLevelItem(n - 1)->setFont(0, plain);
    QFont bold = plain;
    bold.setBold(true);
    QList<QTreeWidgetItem*> items;
    for (std::size_t i = listed_; i < entries_.size(); ++i) {
        auto* item = new QTreeWidgetItem(QStringList{entries_[i].text});
        item->setForeground(0, entries_[i].colour);
        item->setFont(0, i + 1 == entries_.size() ? bold : plain);
        items.append(item);
    }
    lstStatusHistory->addTopLevelItems(items);
    listed_ = entries_.size();
    if (scroll) lstStatusHistory->scrollToItem(items.back());
}

void StatusLine::scrollToNewest() {
    if (const int n = lstStatusHistory->topLevelItemCount(); n > 0 && pctStatusHistory->isVisible())
        lstStatusHistory->scrollToItem(lstStatusHistory->topLevelItem(n - 1));
}

void StatusLine::ClearStatusHistory() {
    entries_.clear();
    listed_ = 0;
    lstStatusHistory->clear();
}

void StatusLine::writeDirect(const QString& caption, const QColor& colour) {
    lblStatus->setText(caption);
    setStatusColour(colour);
}

void StatusLine::writeDirect(const QString& caption) {
    lblStatus->setText(caption);
}

void StatusLine::ArmRestore() {
    tmrShowStatus->setInterval(2000);
    tmrShowStatusTag = QStringLiteral("!");
    tmrShowStatus->start();
}

void StatusLine::tmrShowStatus_Timer() {
    if (tmrShowStatus->interval() == 500) tmrShowStatus->setInterval(10);
    if (tmrShowStatusTag == QLatin1String("!")) {
        QString text;
        QColor colour;
        bool found = false;
        // Newest to oldest; the history may change while events run, so look it up afresh.
        for (auto i = static_cast<std::ptrdiff_t>(entries_.size()) - 1; i >= 0; --i) {
            QCoreApplication::processEvents();
            if (static_cast<std::size_t>(i) >= entries_.size()) continue;
            const Line& entry = entries_[static_cast<std::size_t>(i)];
            if (!entry.text.contains(QLatin1String("Buffer"))) {
                text = entry.text;
                colour = entry.colour;
                found = true;
                break;
            }
        }
        if (!found && !entries_.empty()) {
            text = entries_.back().text;
            colour = entries_.back().colour;
            found = true;
        }
        if (found) writeDirect(text, colour);
        tmrShowStatus->stop();
        return;
    }
    if (tmrShowStatusTag.isEmpty()) {
        tmrShowStatus->stop();
        return;
    }
    lblStatus->setText(lblStatus->text() + tmrShowStatusTag.front());
    tmrShowStatusTag.remove(0, 1);
    if (tmrShowStatusTag.isEmpty()) tmrShowStatus->stop();
}

void StatusLine::Command2_Click() {
    if (pctStatusHistory->isVisible()) {
        pctStatusHistory->hide();
        Command2->setIcon(imgUpArrow);
    } else {
        pctStatusHistory->show();
        pctStatusHistory->raise();
        Command2->setIcon(imgDownArrow);
        listHistory(false);
        scrollToNewest();
    }
    shell_.Form_Resize();
}

void StatusLine::Command4_Click() {
    mnuHidden->exec(QCursor::pos());
    shell_.FocusGo();
}

void StatusLine::mnuClearHistory_Click() {
    ClearStatusHistory();
    shell_.FocusGo();
}

void StatusLine::placeAtBottom(int clientWidthPx, int clientHeightPx) {
    const int strip = Picture1->height();
    Picture1->setGeometry(0, clientHeightPx - strip, clientWidthPx, strip);
    const int drawer = pctStatusHistory->height();
    pctStatusHistory->setGeometry(0, clientHeightPx - strip - drawer, clientWidthPx, drawer);
}

QList<StatusLine::Entry> StatusLine::history() const {
    QList<Entry> out;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        out.append({entries_[i].text, entries_[i].colour, i + 1 == entries_.size()});
    return out;
}

void Shell::ShowStatus(const QString& tmpText, int tmpColor) {
    status().ShowStatus(tmpText, tmpColor);
}
void Shell::ClearStatusHistory() {
    status().ClearStatusHistory();
}

} // namespace sorvane
