#include "Form6.h"

#include "clsMP3.h"
#include "core/Module1.h"
#include "core/Twips.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace sorvane {

namespace {
const QColor kTrackGrey(192, 192, 192);
const QColor kTeal(0, 128, 128);

QWidget* Block(QWidget* parent, const QString& name, const QColor& colour) {
    auto* w = new QWidget(parent);
    w->setObjectName(name);
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    return w;
}
} // namespace

Form6::Form6(clsMP3& mp3, QWidget* owner) : QWidget(owner, Qt::Window), mp3_(mp3) {
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Decoding MP3"));
    setAccessibleName(windowTitle());
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(TwToPx(4815), TwToPx(1590));

    Label1 = new QLabel(QStringLiteral("Decoding MP3 to WAV format.  Please Wait..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    SetGeometryTw(Label1, 240, 150, 4335, 255);

    Picture1 = Block(this, QStringLiteral("Picture1"), kTrackGrey);
    SetGeometryTw(Picture1, 240, 495, 4335, 240);
    Picture2 = Block(Picture1, QStringLiteral("Picture2"), kTrackGrey);
    SetGeometryTw(Picture2, 0, 0, 2955, 240);
    const int lefts[6] = {15, 225, 435, 2340, 2550, 2760};
    for (int i = 0; i < 6; ++i) {
        Squares[i] = Block(Picture2, QStringLiteral("Picture%1").arg(i + 3), kTeal);
        SetGeometryTw(Squares[i], lefts[i], 30, 180, 180);
    }

    Command1 = new QPushButton(QStringLiteral("Cancel"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    SetGeometryTw(Command1, 1920, 945, 975, 330);
    connect(Command1, &QPushButton::clicked, this, &Form6::Command1_Click);

    Timer1 = new QTimer(this);
    Timer1->setInterval(10);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &Form6::Timer1_Timer);
    Form_Load();
    Timer1->start();
}

Form6::~Form6() = default;

void Form6::Form_Load() {
    stripLeft_ = -1000;
    SetLeftTw(Picture2, stripLeft_);
}

void Form6::Timer1_Timer() {
    stripLeft_ += 100;
    if (stripLeft_ >= 4500) stripLeft_ = -3000;
    SetLeftTw(Picture2, stripLeft_);
}

void Form6::Command1_Click() {
    mp3_.EndApp();
    ConvertCanceled = true;
    Unload();
}

void Form6::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    Timer1->stop();
    hide();
    deleteLater();
}

} // namespace sorvane
