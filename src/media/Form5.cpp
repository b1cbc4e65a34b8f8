// The marker editor window: its controls, the nudges, Set Start and Set End, the keys, the
// preview and Done and Cancel.

#include "Form5.h"

#include "MediaFields.h"
#include "core/Module1.h"
#include "core/Palette.h"
#include "core/StoredValue.h"
#include "core/Twips.h"
#include "platform/engine/MediaPlayer.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace sorvane {

namespace {
const QColor kLightGreen(128, 255, 128);
const QColor kLightRed(255, 128, 128);
const QColor kLightYellow(255, 255, 128);

constexpr double kNudge[6] = {-0.5, -0.1, 0.1, 0.5, -0.05, 0.05};
const char* const kNudgeCaption[6] = {"< .5s", "< .1s", ".1s >", ".5s >", "< .05s", ".05s >"};

void Paint(QWidget* w, const QColor& background, const QColor& text = QColor()) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, background);
    p.setColor(QPalette::Button, background);
    if (text.isValid()) {
        p.setColor(QPalette::WindowText, text);
        p.setColor(QPalette::ButtonText, text);
    }
    w->setPalette(p);
}
} // namespace

Form5::Form5(AudioEngine& engine, MediaFields& fields, QWidget* owner)
    : QWidget(owner, Qt::Dialog), fields_(fields) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Edit Position Markers"));
    setAccessibleName(windowTitle());
    setFixedSize(TwToPx(10335), TwToPx(4410));
    MediaPlayer1 = new MediaPlayer(engine, this);
    MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
    MediaPlayer1->setAutoStart(false);
    MediaPlayer1->hide();
    connect(MediaPlayer1, &MediaPlayer::PlayStateChange, this,
            &Form5::MediaPlayer1_PlayStateChange);
    Build();
    Form_Load();
    Timer1->start();
}

Form5::~Form5() = default;

void Form5::Build() {
    auto label = [this](const QString& text, const QString& name, int l, int t, int w, int h) {
        auto* lb = new QLabel(text, this);
        lb->setObjectName(name);
        SetGeometryTw(lb, l, t, w, h);
        return lb;
    };
    Label1 = label(QStringLiteral("Edit Position Markers"), QStringLiteral("Label1"), 120, 90,
                   4500, 315);
    QFont bold = Label1->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.25);
    Label1->setFont(bold);
    Label5 = label(QStringLiteral("File:"), QStringLiteral("Label5"), 120, 450, 480, 255);
    Label2 = label(QStringLiteral("empty.wav"), QStringLiteral("Label2"), 600, 450, 8900, 255);

    Picture1 = new GraphView(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setAccessibleName(QStringLiteral("Waveform"));
    SetGeometryTw(Picture1, 810, 1185, 8715, 615);
    Picture1->onMouseMove = [this](int b, double x) { Picture1_MouseMove(b, x); };
    Picture1->onMouseDown = [this](int b, double x) { Picture1_MouseDown(b, x); };

    pctPosition = new QWidget(Picture1);
    pctPosition->setObjectName(QStringLiteral("pctPosition"));
    pctPosition->setAccessibleName(QStringLiteral("Play Position"));
    pctPosition->setAutoFillBackground(true);
    Paint(pctPosition, kLightYellow);
    SetGeometryTw(pctPosition, 0, 0, 15, 615);
    const QColor markerColour[2] = {kLightGreen, kLightRed};
    const QString markerName[2] = {QStringLiteral("Start Marker"), QStringLiteral("End Marker")};
    for (int i = 0; i < 2; ++i) {
        auto* m = new QWidget(Picture1);
        m->setObjectName(QStringLiteral("pctMarker(%1)").arg(i));
        m->setAccessibleName(markerName[i]);
        m->setAutoFillBackground(true);
        Paint(m, markerColour[i]);
        m->setCursor(Qt::SizeHorCursor);
        SetGeometryTw(m, 0, 0, 15, 615);
        m->installEventFilter(this);
        pctMarker[static_cast<size_t>(i)] = m;

        auto* cap = label(QString(), QStringLiteral("lblPositionMarker(%1)").arg(i), 0, 690, 1500,
                          255);
        cap->setAutoFillBackground(false);
        Paint(cap, QColor(), markerColour[i].darker(170));
        lblPositionMarker[static_cast<size_t>(i)] = cap;
        auto* arrow = label(QString(), QStringLiteral("imgPositionArrow(%1)").arg(i), 0, 960, 120,
                            210);
        arrow->setPixmap(QPixmap::fromImage(DrawPositionArrow(markerColour[i].darker(130))));
        arrow->setAccessibleName(i == 0 ? QStringLiteral("Start Arrow")
                                        : QStringLiteral("End Arrow"));
        imgPositionArrow[static_cast<size_t>(i)] = arrow;
    }
    Label8 = label(QStringLiteral("0.00 s"), QStringLiteral("Label8"), 810, 1860, 1200, 255);
    Label4 = label(QString(), QStringLiteral("Label4"), 8025, 1860, 1500, 255);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    BuildControls();
}

void Form5::BuildControls() {
    auto label = [this](const QString& text, int l, int t, int w) {
        auto* lb = new QLabel(text, this);
        SetGeometryTw(lb, l, t, w, 255);
        QFont f = lb->font();
        f.setBold(true);
        lb->setFont(f);
        return lb;
    };
    auto button = [this](const QString& text, const QString& name, int l, int t, int w) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        SetGeometryTw(b, l, t, w, 315);
        return b;
    };
    label(QStringLiteral("Set Markers"), 240, 2280, 2600);
    Option1[0] = new QRadioButton(QStringLiteral("Start Position"), this);
    Option1[1] = new QRadioButton(QStringLiteral("End Position"), this);
    for (int i = 0; i < 2; ++i) {
        Option1[static_cast<size_t>(i)]->setObjectName(QStringLiteral("Option1(%1)").arg(i));
        // In the colours of the markers they move.
        Paint(Option1[static_cast<size_t>(i)], QColor(), i == 0 ? kLightGreen : kLightRed);
        SetGeometryTw(Option1[static_cast<size_t>(i)], 240, 2580 + i * 330, 1700, 285);
    }
    Command4 = button(QStringLiteral("Set Start"), QStringLiteral("Command4"), 1995, 2565, 1000);
    Command5 = button(QStringLiteral("Set End"), QStringLiteral("Command5"), 1995, 2895, 1000);

    label(QStringLiteral("Nudge"), 3360, 2280, 2300);
    const int nudgeLeft[6] = {3360, 4080, 4080, 4800, 3360, 4800};
    const int nudgeTop[6] = {2565, 2565, 2895, 2565, 2895, 2895};
    // Left moves on the top row, right moves below; the 0.05-s pair at the ends.
    for (int i = 0; i < 6; ++i)
        cmdNudge[static_cast<size_t>(i)] =
            button(QString::fromLatin1(kNudgeCaption[i]), QStringLiteral("cmdNudge(%1)").arg(i),
                   nudgeLeft[i], nudgeTop[i], 690);

    label(QStringLiteral("Controls"), 5880, 2280, 2000);
    label(QStringLiteral("Preview:"), 5880, 2595, 900);
    Command2 = button(QStringLiteral("Play"), QStringLiteral("Command2"), 6780, 2565, 900);
    Check1 = new QCheckBox(QStringLiteral("Loop"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    SetGeometryTw(Check1, 7800, 2580, 900, 285);
    Label13 = new QLabel(QStringLiteral("Buffering..."), this);
    Label13->setObjectName(QStringLiteral("Label13"));
    Paint(Label13, QColor(), kYellow);
    SetGeometryTw(Label13, 6780, 2925, 1500, 255);
    Label13->hide();

    Command1 = button(QStringLiteral("Done"), QStringLiteral("Command1"), 7680, 3690, 1000);
    Command3 = button(QStringLiteral("Cancel"), QStringLiteral("Command3"), 8790, 3690, 1000);
    Command1->setDefault(false);

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Marker Keys"));
    SetGeometryTw(Text1, -1200, -1200, 600, 285); // outside the visible area

    mnuHidden = new QMenu(this);
    mnuHidden->setObjectName(QStringLiteral("mnuHidden"));
    mnuPlayFromHere = mnuHidden->addAction(QStringLiteral("Play From Here"));
    mnuPlayFromHere->setObjectName(QStringLiteral("mnuPlayFromHere"));

    Timer1 = new QTimer(this);
    Timer1->setInterval(10);
    Timer1->setTimerType(Qt::PreciseTimer);

    for (int i = 0; i < 6; ++i)
        connect(cmdNudge[static_cast<size_t>(i)], &QPushButton::clicked, this,
                [this, i] { cmdNudge_Click(i); });
    connect(Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form5::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form5::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form5::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form5::Command5_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form5::Text1_Change);
    connect(mnuPlayFromHere, &QAction::triggered, this, &Form5::mnuPlayFromHere_Click);
    connect(Timer1, &QTimer::timeout, this, &Form5::Timer1_Timer);
}

void Form5::Form_Load() {
    DragMarker = -1;
    placePosition(0);
    pctPosition->hide();
    Command2->setText(QStringLiteral("Play"));
    Text1->clear();
    Option1[0]->setChecked(true);
    Check1->setChecked(false);
}

void Form5::Form_Activate() {
    if (unloaded_) return;
    LoadGraph(MediaPlayer1->FileName());
}

bool Form5::event(QEvent* e) {
    const bool handled = QWidget::event(e);
    if (e->type() == QEvent::WindowActivate) Form_Activate();
    return handled;
}

void Form5::closeEvent(QCloseEvent* e) {
    // Closing the window by its frame is a Cancel.
    e->ignore();
    Command3_Click();
}

void Form5::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    Timer1->stop();
    DragMarker = -1;
    MediaPlayer1->Stop();
    MediaPlayer1->setFileName(QString());
    hide();
    emit unloaded();
}

void Form5::cmdNudge_Click(int Index) {
    if (Index < 0 || Index > 5) return;
    const double amount = kNudge[Index];
    if (Option1[0]->isChecked()) {
        const double v = MediaPlayer1->SelectionStart() + amount;
        MediaPlayer1->setSelectionStart(v < 0 ? 0 : v);
    } else {
        const double v = MediaPlayer1->SelectionEnd() + amount;
        MediaPlayer1->setSelectionEnd(v > MediaLength ? MediaLength : v);
    }
    SetMarkers();
}

void Form5::Command4_Click() {
    MediaPlayer1->setSelectionStart(MediaPlayer1->CurrentPosition());
    SetMarkers();
}

void Form5::Command5_Click() {
    MediaPlayer1->setSelectionEnd(MediaPlayer1->CurrentPosition());
    SetMarkers();
}

void Form5::Text1_Change() {
    const QString text = Text1->text();
    if (text.isEmpty()) return;
    if (text == QLatin1String("[")) Command4_Click();
    else if (text == QLatin1String("]")) Command5_Click();
    Text1->clear(); // any other key is swallowed
}

void Form5::Command2_Click() {
    if (unloaded_) return;
    if (Command2->text() == QLatin1String("Play")) {
        Command2->setText(QStringLiteral("Stop"));
        if (Check1->isChecked()) {
            // A muted pre-roll across the loop point, so the first repeat does not stutter.
            MediaPlayer1->setPlayCount(0);
            MediaPlayer1->setCurrentPosition(GetMarkerPos(1) - 0.5);
            MediaPlayer1->setMute(true);
            MediaPlayer1->Play();
            Label13->show();
            Timer1->stop();
            Wait(1);
            if (unloaded_) return; // the window was closed meanwhile: nothing more to do
            Timer1->start();
            Label13->hide();
            MediaPlayer1->Pause();
        } else {
            MediaPlayer1->setPlayCount(1);
        }
        MediaPlayer1->setCurrentPosition(GetMarkerPos(0));
        MediaPlayer1->setMute(false);
        MediaPlayer1->Play();
    } else {
        Command2->setText(QStringLiteral("Play"));
        MediaPlayer1->Stop();
    }
    Text1->setFocus(Qt::OtherFocusReason);
}

void Form5::MediaPlayer1_PlayStateChange(int) {
    if (unloaded_) return;
    if (MediaPlayer1->PlayState() == 2) {
        Command2->setText(QStringLiteral("Stop"));
        pctPosition->show();
    } else {
        Command2->setText(QStringLiteral("Play"));
        pctPosition->hide();
    }
}

void Form5::Picture1_MouseDown(int Button, double X) {
    if (Button != 2) return;
    GraphClickX = static_cast<std::int16_t>(std::lround(X));
    mnuHidden->popup(QCursor::pos());
}

void Form5::mnuPlayFromHere_Click() {
    if (unloaded_) return;
    MediaPlayer1->setCurrentPosition(geometry().PlayFromHere(GraphClickX));
    MediaPlayer1->Play();
    Text1->setFocus(Qt::OtherFocusReason); // "[" and "]" go on working while it plays
}

void Form5::Command1_Click() {
    if (unloaded_) return;
    const QString start = DecimalText(MediaPlayer1->SelectionStart());
    const QString end = DecimalText(MediaPlayer1->SelectionEnd());
    switch (fields_.Locate(cue)) {
    case CuePlace::Selected:
        fields_.PutStartPos(start);
        fields_.PutEndPos(end);
        break;
    case CuePlace::Listed:
        fields_.StoreInCue(cue, QString(), start, end);
        break;
    case CuePlace::Deleted:
    case CuePlace::OtherShow:
        break;
    }
    Unload();
}

void Form5::Command3_Click() {
    Unload();
}

QImage DrawPositionArrow(const QColor& colour) {
    QImage image(8, 14, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 8; ++x) {
            // A shaft down the middle, widening into a head at the bottom.
            const bool shaft = y < 8 && (x == 3 || x == 4);
            const bool head = y >= 8 && std::abs(2 * x - 7) <= 2 * (13 - y) + 1;
            if (shaft || head) image.setPixelColor(x, y, colour);
        }
    return image;
}

} // namespace sorvane
