#include "Mixer.h"

#include "PlaybackWaits.h"
#include "core/Module1.h"
#include "core/Shell.h"
#include "core/StatusLine.h"
#include "core/StoredValue.h"
#include "core/Twips.h"
#include "platform/engine/MediaPlayer.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cmath>

namespace sorvane {

namespace {

constexpr int kMinHeightForToggle = 8115;
constexpr int kBarScale = 1000; // the bar's whole steps per second

void SetTextColourIfChanged(QLabel* l, const QColor& c) {
    if (l->palette().color(QPalette::WindowText) == c) return;
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, c);
    l->setPalette(p);
}

void SetTextIfChanged(QLabel* l, const QString& text) {
    if (l->text() != text) l->setText(text);
}

// The part of the stretch already played, in whole percent, halves to even. The position
// may lie outside the stretch; a stretch without length reads as 0%.
QString PercentText(double position, double start, double end) {
    const double span = end - start;
    double pct = 0;
    if (span != 0 && std::isfinite(span)) {
        pct = RoundHalfEven((position - start) / span * 100.0, 0);
        if (!std::isfinite(pct)) pct = 0;
    }
    return QString::number(static_cast<long long>(pct)) + QLatin1Char('%');
}

} // namespace

QColor TextColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

// --- position bar ---------------------------------------------------------------------------

PositionBar::PositionBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    paintBar();
}

bool PositionBar::setMax(double seconds) {
    const float v = static_cast<float>(seconds);
    if (!std::isfinite(v) || v <= min_) return false;
    max_ = v;
    paintBar();
    return true;
}

bool PositionBar::setMin(double seconds) {
    const float v = static_cast<float>(seconds);
    if (!std::isfinite(v) || v >= max_) return false;
    min_ = v;
    paintBar();
    return true;
}

bool PositionBar::setValueSeconds(double seconds) {
    const float v = static_cast<float>(seconds);
    if (!std::isfinite(v) || v < min_ || v > max_) return false;
    if (v == value_) return true;
    value_ = v;
    paintBar();
    return true;
}

void PositionBar::paintBar() {
    auto scaled = [](float s) {
        return static_cast<int>(std::clamp(std::lround(double(s) * kBarScale), -2000000000L,
                                           2000000000L));
    };
    const int lo = scaled(min_), hi = scaled(max_);
    if (minimum() != lo || maximum() != hi) setRange(lo, std::max(lo, hi));
    const int v = scaled(value_);
    if (value() != v) setValue(v);
}

// --- the mixer ------------------------------------------------------------------------------

Mixer::Mixer(Shell& shell, AudioEngine& engine, QWidget* client, QWidget* list)
    : QObject(client), shell_(shell), list_(list) {
    Build(engine);
    tmrChannelUpdate = new QTimer(this);
    tmrChannelUpdate->setObjectName(QStringLiteral("tmrChannelUpdate"));
    tmrChannelUpdate->setInterval(50);
    connect(tmrChannelUpdate, &QTimer::timeout, this, &Mixer::tmrChannelUpdate_Timer);
    tmrChannelUpdate->start();
}

Mixer::~Mixer() = default;

void Mixer::Build(AudioEngine& engine) {
    Frame& f = shell_.frame();
    auto* mixer = new QFrame(f.client);
    mixer->setObjectName(QStringLiteral("pctMixer"));
    SetGeometryTw(mixer, 90, 4630, 6910, 3105);
    f.pctMixer = mixer;
    QFont small = mixer->font();
    small.setPointSizeF(7);
    auto label = [&](const QString& text, const QString& name, int x, int y, int w, int h) {
        auto* l = new QLabel(text, mixer);
        l->setObjectName(name);
        l->setFont(small);
        SetTextColourIfChanged(l, QColor(255, 255, 255));
        l->setGeometry(x, y, w, h);
        return l;
    };
    const QString barLabelNames[4] = {QStringLiteral("Label6"), QStringLiteral("Label7"),
                                      QStringLiteral("Label8"), QStringLiteral("Label9")};
    for (int i = 0; i < kChannelCount; ++i) {
        const int x0 = 8 + i * 92;
        const QString n = QString::number(i + 1);
        MediaPlayer1[i] = new MediaPlayer(engine, mixer);
        MediaPlayer1[i]->setObjectName(QStringLiteral("MediaPlayer1(%1)").arg(i));
        MediaPlayer1[i]->hide();
        lblChannels[i] = label(n, QStringLiteral("lblChannels(%1)").arg(i), x0 + 6, 4, 20, 14);
        SetTextColourIfChanged(lblChannels[i], ClosedColour());
        sldMixer[i] = new QSlider(Qt::Vertical, mixer);
        sldMixer[i]->setObjectName(QStringLiteral("sldMixer(%1)").arg(i));
        sldMixer[i]->setAccessibleName(QStringLiteral("Channel %1 Fader").arg(n));
        sldMixer[i]->setInvertedAppearance(true); // position 0 (full level) at the top
        sldMixer[i]->setRange(0, 10);
        sldMixer[i]->setGeometry(x0, 20, 26, 120);
        lblChannelPercent[i] = label(QStringLiteral("0%"),
                                     QStringLiteral("lblChannelPercent(%1)").arg(i), x0 + 32, 60,
                                     50, 14);
        lblChannelData[i] =
            label(QString(), QStringLiteral("lblChannelData(%1)").arg(i), x0, 146, 88, 14);
        QLabel* barLabel = label(n, barLabelNames[i], x0, 166, 10, 12);
        if (i == 2) Label8 = barLabel;
        sldPosition[i] = new PositionBar(mixer);
        sldPosition[i]->setObjectName(QStringLiteral("sldPosition(%1)").arg(i));
        sldPosition[i]->setAccessibleName(QStringLiteral("Channel %1 Position").arg(n));
        sldPosition[i]->setGeometry(x0 + 12, 168, 74, 8);

        sldMixer[i]->installEventFilter(this);
        connect(sldMixer[i], &QSlider::valueChanged, this, [this, i] { sldMixer_Change(i); });
        // Every move of the operator's (a drag, a click in the groove, a key, the wheel) is
        // an action of the slider; the meter tick's setting of the value is none.
        connect(sldMixer[i], &QSlider::actionTriggered, this, [this, i] { sldMixer_Scroll(i); });
    }
    label(QStringLiteral("Master"), QStringLiteral("lblMaster"), 380, 4, 50, 14);
    sldLinkChannels = new QSlider(Qt::Vertical, mixer);
    sldLinkChannels->setObjectName(QStringLiteral("sldLinkChannels"));
    sldLinkChannels->setAccessibleName(QStringLiteral("Master Fader"));
    sldLinkChannels->setInvertedAppearance(true);
    sldLinkChannels->setGeometry(384, 20, 26, 120);
    chkLinkChannels = new QCheckBox(mixer);
    chkLinkChannels->setObjectName(QStringLiteral("chkLinkChannels"));
    chkLinkChannels->setAccessibleName(QStringLiteral("Link Channels"));
    chkLinkChannels->setGeometry(388, 146, 18, 18);
    connect(chkLinkChannels, &QCheckBox::clicked, this, &Mixer::chkLinkChannels_Click);
    connect(sldLinkChannels, &QSlider::valueChanged, this, &Mixer::sldLinkChannels_Change);
    connect(sldLinkChannels, &QSlider::sliderMoved, this, &Mixer::sldLinkChannels_Scroll);
    if (f.cmdMixer) connect(f.cmdMixer, &QPushButton::clicked, this, &Mixer::cmdMixer_Click);
}

bool Mixer::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonRelease) {
        for (int i = 0; i < kChannelCount; ++i) {
            if (watched != sldMixer[i]) continue;
            if (e->type() == QEvent::MouseButtonPress)
                sldMixer_MouseDown(i);
            else
                sldMixer_MouseUp(i);
        }
    }
    return QObject::eventFilter(watched, e);
}

// --- the meter tick -------------------------------------------------------------------------

void Mixer::tmrChannelUpdate_Timer() {
    LetEventsRun();
    for (int i = 0; i < kChannelCount; ++i)
        MeterChannel(i);
    const int n = processCount_ ? processCount_() : 0;
    SetTextIfChanged(shell_.status().lblCuesRunning, QString::number(n));
}

void Mixer::MeterChannel(int i) {
    MediaPlayer* p = MediaPlayer1[i];
    QSlider* fader = sldMixer[i];
    // 1. the fader follows the volume (a volume the fader cannot show is skipped)
    const int position = -p->Volume();
    if (position >= fader->minimum() && position <= fader->maximum()) fader->setValue(position);
    // 2. mute at the bottom; a buffering channel is never unmuted here
    if (fader->value() == fader->maximum()) {
        if (!p->Mute()) p->setMute(true);
    } else if (p->Tag != QLatin1String("Buffer")) {
        if (p->Mute()) p->setMute(false);
    }
    // 3. the number's colour by play state; a stopped player is emptied
    switch (p->PlayState()) {
    case 6:
        SetTextColourIfChanged(lblChannels[i], ClosedColour());
        break;
    case 0:
        SetTextColourIfChanged(lblChannels[i], StoppedColour());
        p->setFileName(QString());
        break;
    case 1:
        SetTextColourIfChanged(lblChannels[i], PausedColour());
        break;
    case 2:
        SetTextColourIfChanged(lblChannels[i], PlayingColour());
        break;
    default:
        break;
    }
    // 4, 5. file, percentage and position
    const QString file = p->FileName();
    PositionBar* bar = sldPosition[i];
    if (!file.isEmpty()) {
        const double start = p->SelectionStart();
        const double end = p->SelectionEnd();
        const double pos = p->CurrentPosition();
        SetTextIfChanged(lblChannelData[i], QLatin1Char(' ') + TrimFilename(file).left(20));
        SetTextIfChanged(lblChannelPercent[i], PercentText(pos, start, end));
        bar->setMax(end);
        bar->setMin(start);
        bar->setValueSeconds(pos);
    } else {
        SetTextIfChanged(lblChannelData[i], QString());
        bar->setMin(0);
        bar->setMax(1);
        bar->setValueSeconds(0);
    }
}

// --- faders -----------------------------------------------------------------------------------

void Mixer::sldMixer_Change(int Index) {
    if (Index < 0 || Index >= kChannelCount) return;
    MediaPlayer1[Index]->setVolume(-sldMixer[Index]->value());
    if (sldMixer[Index]->value() < sldMixer[Index]->maximum()) MediaPlayer1[Index]->setMute(false);
}

void Mixer::sldMixer_Scroll(int Index) {
    if (Index < 0 || Index >= kChannelCount) return;
    MediaPlayer1[Index]->setVolume(-sldMixer[Index]->value());
    chkLinkChannels->setChecked(false);
    if (sldMixer[Index]->value() < sldMixer[Index]->maximum()) MediaPlayer1[Index]->setMute(false);
}

void Mixer::sldMixer_MouseDown(int) {
    tmrChannelUpdate->stop();
}

void Mixer::sldMixer_MouseUp(int) {
    tmrChannelUpdate->start();
}

void Mixer::LinkStep() {
    if (!chkLinkChannels->isChecked()) return;
    for (int i = 0; i < kChannelCount; ++i) {
        LetEventsRun();
        MediaPlayer1[i]->setVolume(-sldLinkChannels->value());
    }
}

void Mixer::chkLinkChannels_Click() {
    LinkStep();
}
void Mixer::sldLinkChannels_Change() {
    LinkStep();
}
void Mixer::sldLinkChannels_Scroll() {
    LinkStep();
}

void Mixer::cmdMixer_Click() {
    Frame& f = shell_.frame();
    if (shell_.OuterHeightTw() < kMinHeightForToggle) shell_.SetOuterHeightTw(kMinHeightForToggle);
    if (!f.pctMixer->isHidden()) {
        f.pctMixer->hide();
        if (list_) SetHeightTw(list_, shell_.OuterHeightTw() - 1360);
        f.cmdMixer->setText(QStringLiteral("Show Mixer"));
        f.lblMixer->hide();
        if (f.Line3) f.Line3->hide();
    } else {
        if (list_) SetHeightTw(list_, shell_.OuterHeightTw() - 4550);
        f.pctMixer->show();
        f.cmdMixer->setText(QStringLiteral("Hide Mixer"));
        f.lblMixer->show();
        if (f.Line3) f.Line3->show();
    }
    shell_.Form_Resize();
}

} // namespace sorvane
