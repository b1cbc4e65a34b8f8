#include "Form1.h"

#include "core/Module1.h"
#include "core/Palette.h"
#include "core/StatusLine.h"
#include "core/Twips.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/PropertiesPanel.h"
#include "media/LineEditFields.h"
#include "media/MediaCommands.h"
#include "media/clsMP3.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"
#include "playback/Mixer.h"
#include "playback/Playback.h"
#include "showfiles/FileAssoc.h"
#include "showfiles/ShowFiles.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTreeView>
#include <QTreeWidget>
#include <QWindow>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sorvane {

namespace {

// The two constant sets of the layout.
struct LayoutConstants {
    int listHeightMixer;   // ListView1.Height = H - this, mixer shown
    int minHeightNoMixer;  // minimum outer height, mixer hidden
    int listHeightNoMixer; // ListView1.Height = H - this, mixer hidden
    int minWidth;
    bool setsHistoryWidth; // lstStatusHistory.Width = W - 800
    int mixerLabelTop;     // lblMixer.Top = H - this
    bool drawerHidesLogo;
    int logoTop;          // imgSVLogo.Top = H - this
    int mixerTop;         // pctMixer.Top = H - this
    int propertiesHeight; // pctProperties.Height = H - this
    int mixerRuleY;       // Line3.Y1 = Y2 = H - this
    int columns[14];      // column 2 (index 1) is computed
};

constexpr LayoutConstants kXP{
    5150, 6000, 1460, 9100, true, 4500,
    true, 1500, 4070, 2100, 4215, {300, 0, 950, 950, 0, 1100, 700, 0, 850, 400, 0, 600, 0, 0}};
constexpr LayoutConstants k98{
    4950,  5565, 1360, 9165, false, 4360,
    false, 1400, 3970, 2000, 4070,  {300, 0, 900, 1000, 0, 700, 700, 0, 850, 400, 0, 600, 450, 0}};

constexpr int kMinHeightMixer = 8115;
constexpr int kDescriptionMin = 1000;

QLabel* Heading(QWidget* parent, const QString& text, const QString& name, int left, int top) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    QFont f = l->font();
    f.setBold(true);
    f.setPointSizeF(9.75);
    l->setFont(f);
    SetTextColour(l, kWhite);
    SetGeometryTw(l, left, top, 2400, 285);
    return l;
}

} // namespace

QPixmap DrawBackdrop() {
    QPixmap pm(1600, 1200);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, 1200);
    g.setColorAt(0.0, QColor(12, 26, 72));
    g.setColorAt(1.0, QColor(3, 8, 30));
    p.fillRect(pm.rect(), g);
    // A faint sweep of sound waves across the backdrop.
    p.setRenderHint(QPainter::Antialiasing);
    for (int k = 0; k < 6; ++k) {
        QPainterPath wave;
        const double base = 260 + k * 150;
        wave.moveTo(0, base);
        for (int x = 0; x <= 1600; x += 8)
            wave.lineTo(x, base + std::sin(x / (90.0 + k * 17)) * (18 + k * 5));
        p.setPen(QPen(QColor(60, 90, 170, 26 - k * 3), 2));
        p.drawPath(wave);
    }
    return pm;
}

QPixmap DrawLogo(int widthPx, int heightPx) {
    QPixmap pm(std::max(1, widthPx), std::max(1, heightPx));
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const int h = pm.height();
    // A small waveform mark, then the name.
    p.setPen(QPen(QColor(120, 180, 255), 2));
    for (int i = 0; i < 9; ++i) {
        const int amp = static_cast<int>((h / 2 - 3) * std::fabs(std::sin(i * 0.8 + 0.6)));
        p.drawLine(6 + i * 4, h / 2 - amp, 6 + i * 4, h / 2 + amp);
    }
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(std::max(8, h * 2 / 3));
    f.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(f);
    p.setPen(QColor(230, 238, 255));
    p.drawText(QRect(48, 0, pm.width() - 48, h), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("SORVANE"));
    return pm;
}

void EndProgram() {
    std::fflush(nullptr);
    std::_Exit(0);
}

Form1::Form1(const QString& commandLine, Dialogs& dialogs, AudioEngine* engine)
    : QWidget(nullptr), commandLine_(commandLine), dialogs_(dialogs), engine_(engine) {
    if (!engine) {
        // A window made without the program's engine (a test of its other parts) plays its
        // channels on a silent engine of its own that opens no sound device, so that it never
        // disturbs the device of another engine in the same process.
        AudioEngine::Options silent;
        silent.output = AudioEngine::Output::Offline;
        channelEngine_ = std::make_unique<AudioEngine>(silent);
    }
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Sorvane"));
    setAccessibleName(QStringLiteral("Sorvane"));
    backdrop_ = DrawBackdrop();
    frame_.form = this;
    frame_.client = this;
    BuildFrame();
    status_ = new StatusLine(*this, this);
    cues_ = new CueListEditor(*this, this);
    showFiles_ = new ShowFiles(*this, *cues_, this);
    connect(cues_->panel().cmdBrowse(), &QPushButton::clicked, this,
            [this] { media().cmdBrowse_Click(); });
    connect(cues_->panel().Command6(), &QPushButton::clicked, this,
            [this] { media().Command6_Click(); });
    playback_ = new Playback(*this, *cues_, engine ? *engine : *channelEngine_, this);
    mixer().Label8->installEventFilter(this);
    // Keep the strip and the drawer above the panels they cover.
    status_->pctStatusHistory->raise();
    status_->Picture1->raise();
    resize(TwToPx(12105), TwToPx(8700));
}

Form1::~Form1() {
    delete media_; // its players and windows go before the engine and the fields
    // The channel players go before an engine of the window's own.
    for (MediaPlayer*& p : mixer().MediaPlayer1) {
        delete p;
        p = nullptr;
    }
    delete playback_;
    playback_ = nullptr;
}

Mixer& Form1::mixer() {
    return playback_->mixer();
}

MediaCommands& Form1::media() {
    if (!media_) {
        PropertiesPanel& p = cues_->panel();
        mediaFields_ = std::make_unique<LineEditFields>(
            LineEditFields::Field{p.txtFile(), [&p] { p.txtFile_Change(); }},
            LineEditFields::Field{p.txtStartPos(), [&p] { p.txtStartPos_Change(); }},
            LineEditFields::Field{p.txtEndPos(), [&p] { p.txtEndPos_Change(); }},
            [this] { cues_->ListView1_Click(); },
            LineEditFields::Cues{
                [this] { return cues_->SelectedRef(); },
                [this](const CueRef& c) { return cues_->Locate(c); },
                [this](const CueRef& c, const QString& file, const QString& start,
                       const QString& end) { cues_->StoreMedia(c, file, start, end); }});
        if (!engine_) {
            ownEngine_ = std::make_unique<AudioEngine>();
            engine_ = ownEngine_.get();
        }
        media_ = new MediaCommands(*this, *engine_, *mediaFields_, this);
    }
    return *media_;
}

clsMP3& Form1::MP3() {
    return media().MP3();
}

void Form1::BuildFrame() {
    frame_.Label1 = Heading(this, QStringLiteral("Cue List"), QStringLiteral("Label1"), 120, 105);
    frame_.Line2 = new LineControl(this, 90, 8000, 390, kWhite);
    frame_.Line2->setObjectName(QStringLiteral("Line2"));
    frame_.Label2 =
        Heading(this, QStringLiteral("Cue Properties"), QStringLiteral("Label2"), 8275, 105);
    frame_.Line1 = new LineControl(this, 8275, 11905, 390, kWhite);
    frame_.Line1->setObjectName(QStringLiteral("Line1"));
    frame_.lblMixer = Heading(this, QStringLiteral("Mixer"), QStringLiteral("lblMixer"), 120, 4200);
    frame_.Line3 = new LineControl(this, 90, 7000, 4485, kWhite);
    frame_.Line3->setObjectName(QStringLiteral("Line3"));

    frame_.imgSVLogo = new QLabel(this);
    frame_.imgSVLogo->setObjectName(QStringLiteral("imgSVLogo"));
    frame_.imgSVLogo->setAccessibleName(QStringLiteral("Sorvane"));
    SetGeometryTw(frame_.imgSVLogo, 7500, 7200, 4170, 525);
    frame_.imgSVLogo->setPixmap(DrawLogo(TwToPx(4170), TwToPx(525)));

    auto* col = new QWidget(this);
    col->setObjectName(QStringLiteral("pctActionControls"));
    SetGeometryTw(col, 7055, 495, 1125, 3870);
    frame_.pctActionControls = col;

    const QFont small = SevenPointFont(font());
    auto button = [&](const QString& caption, const QString& name, int left, int top, int width,
                      int height) {
        auto* b = new QPushButton(caption, col);
        b->setObjectName(name);
        b->setFont(small);
        SetGeometryTw(b, left, top, width, height);
        return b;
    };
    frame_.cmdGo = button(QStringLiteral("Go"), QStringLiteral("cmdGo"), 0, 0, 1125, 570);
    QFont big = font();
    big.setBold(true);
    big.setPointSizeF(12);
    frame_.cmdGo->setFont(big);
    frame_.cmdStop = button(QStringLiteral("Stop"), QStringLiteral("cmdStop"), 0, 600, 1125, 240);
    frame_.cmdPrev = button(QStringLiteral("Prev"), QStringLiteral("cmdPrev"), 0, 855, 555, 240);
    frame_.cmdNext = button(QStringLiteral("Next"), QStringLiteral("cmdNext"), 570, 855, 555, 240);
    frame_.cmdAddCue =
        button(QStringLiteral("Insert Cue"), QStringLiteral("cmdAddCue"), 0, 1110, 1125, 240);
    frame_.cmdDeleteCue =
        button(QStringLiteral("Delete Cue"), QStringLiteral("cmdDeleteCue"), 0, 1365, 1125, 240);
    frame_.cmdMoveUp =
        button(QStringLiteral("Move Up"), QStringLiteral("cmdMoveUp"), 0, 1620, 1125, 240);
    frame_.cmdMoveDown =
        button(QStringLiteral("Move Down"), QStringLiteral("cmdMoveDown"), 0, 1875, 1125, 240);
    frame_.cmdLoadShow =
        button(QStringLiteral("Load"), QStringLiteral("cmdLoadShow"), 0, 2130, 1125, 240);
    frame_.cmdSave = button(QStringLiteral("Save"), QStringLiteral("cmdSave"), 0, 2385, 1125, 240);
    frame_.Command1 =
        button(QStringLiteral("Create New"), QStringLiteral("Command1"), 0, 2640, 1125, 240);
    frame_.Command7 =
        button(QStringLiteral("Load Old"), QStringLiteral("Command7"), 0, 2895, 1125, 240);
    frame_.Command7->hide();
    frame_.cmdProperties =
        button(QStringLiteral("< Properties"), QStringLiteral("cmdProperties"), 0, 3150, 1125, 240);
    frame_.cmdProperties->setEnabled(false);
    frame_.cmdMixer =
        button(QStringLiteral("Hide Mixer"), QStringLiteral("cmdMixer"), 0, 3405, 1125, 240);
}

bool Form1::eventFilter(QObject* watched, QEvent* e) {
    // Only a left click on the "3" ends the program; any other button does nothing.
    if (playback_ && watched == mixer().Label8 && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        Label8_Click();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void Form1::Label8_Click() {
    endProgram();
}

void Form1::Show() {
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
    }
    show();
    Form_Resize();
}

void Form1::Form_Load() {
    // 1. the start-up switch shows "Load Old"
    if (commandLine_ == StartUpSwitch) frame_.Command7->show();
    // 2, 3. the show file type, rewritten at every start
    UnregisterFileType(QStringLiteral("cue"));
    RegisterFileType(QStringLiteral("cue"), ApplicationFolder(), QStringLiteral("sorvane"),
                     QStringLiteral("Sorvane Show"),
                     ApplicationFolder() + PathSeparator + QStringLiteral("sorvane.ico"));
    // 4, 5
    cues_->HideProperties();
    AutoShowProperties = true;
    // 6
    MediaLength = 0;
    // 7. the faders and the cue volume slider
    mixer().sldLinkChannels->setMaximum(4000);
    for (QSlider* s : mixer().sldMixer)
        s->setMaximum(4000);
    if (cues_->panel().sldVolume()) cues_->panel().sldVolume()->setMaximum(4000);
    // 8
    WindowsVersion = GetWindowsVersion();
    // 9. the show path: the command line without any double quote
    QString showPath = commandLine_;
    showPath.remove(QLatin1Char('"'));
    // 10
    status_->ShowStatus(QStringLiteral("Sorvane 1.0 Ready.     rev.2"), 3);
    // 11
    if (!showPath.isEmpty() && FileExists(showPath)) showFiles_->LoadShow(showPath);
}

int Form1::OuterWidthTw() const {
    return KeptTw(this, "twOuterWidth", frameGeometry().width());
}
int Form1::OuterHeightTw() const {
    return KeptTw(this, "twOuterHeight", frameGeometry().height());
}

void Form1::SetOuterWidthTw(int tw) {
    const int extra = frameGeometry().width() - width();
    KeepTw(this, "twOuterWidth", tw);
    resize(TwToPx(tw) - extra, height());
}

void Form1::SetOuterHeightTw(int tw) {
    const int extra = frameGeometry().height() - height();
    KeepTw(this, "twOuterHeight", tw);
    resize(width(), TwToPx(tw) - extra);
}

void Form1::FocusGo() {
    frame_.cmdGo->setFocus(Qt::OtherFocusReason);
}

void Form1::Form_Resize() {
    if (isMinimized()) return;
    if (WindowsVersion == QLatin1String("Windows XP"))
        ResizeXP();
    else
        Resize98();
}

void Form1::ResizeXP() {
    LayoutPass(LayoutVariant::XP);
}
void Form1::Resize98() {
    LayoutPass(LayoutVariant::Win98);
}

void Form1::LayoutPass(LayoutVariant v) {
    const LayoutConstants& k = v == LayoutVariant::XP ? kXP : k98;
    const bool mixerShown = !frame_.pctMixer->isHidden();
    const bool propertiesShown = !cues_->pctProperties()->isHidden();
    const bool drawerOpen = !status_->pctStatusHistory->isHidden();
    QTreeView* list = cues_->ListView1();
    auto W = [this] { return OuterWidthTw(); };
    auto H = [this] { return OuterHeightTw(); };

    // 1. status strip
    SetLeftTw(status_->Label4, W() - 2250);
    SetLeftTw(status_->lblCuesRunning, W() - 500);
    // The window manager is told the minimum too, so that a drag stops there instead of
    // being undone afterwards
    const int minHeight = mixerShown ? kMinHeightMixer : k.minHeightNoMixer;
    // (whole pixels below the minimum, so that the pass itself still sets the exact size).
    const auto floorPx = [](int tw) { return static_cast<int>(tw / TwipsPerPixel()); };
    const QSize minimum(std::max(0, floorPx(k.minWidth) - (frameGeometry().width() - width())),
                        std::max(0, floorPx(minHeight) - (frameGeometry().height() - height())));
    if (minimumSize() != minimum) setMinimumSize(minimum);
    // 2. height and the list's height
    if (mixerShown) {
        if (H() < kMinHeightMixer) SetOuterHeightTw(kMinHeightMixer);
        SetHeightTw(list, H() - k.listHeightMixer);
    } else {
        if (H() < k.minHeightNoMixer) SetOuterHeightTw(k.minHeightNoMixer);
        SetHeightTw(list, H() - k.listHeightNoMixer);
    }
    // 3. width
    if (W() < k.minWidth) SetOuterWidthTw(k.minWidth);
    // 4. the list's width and the button column
    if (propertiesShown) {
        SetWidthTw(list, W() - 5190);
        SetLeftTw(frame_.pctActionControls, W() - 5050);
        frame_.Line2->setX2(W() - 3930);
    } else {
        SetWidthTw(list, W() - 1490);
        SetLeftTw(frame_.pctActionControls, W() - 1340);
        frame_.Line2->setX2(W() - 220);
    }
    // 5. history list
    if (k.setsHistoryWidth) SetWidthTw(status_->lstStatusHistory, W() - 800);
    // 6.
    SetTopTw(frame_.lblMixer, H() - k.mixerLabelTop);
    // 7. logo
    if (k.drawerHidesLogo && drawerOpen) {
        frame_.imgSVLogo->hide();
    } else {
        frame_.imgSVLogo->setVisible(mixerShown || propertiesShown);
        SetLeftTw(frame_.imgSVLogo, W() - 4600);
        SetTopTw(frame_.imgSVLogo, H() - k.logoTop);
    }
    // 8. mixer
    SetTopTw(frame_.pctMixer, H() - k.mixerTop);
    SetWidthTw(frame_.pctMixer, W() - 5195);
    // 9. properties panel and its heading
    QWidget* props = cues_->pctProperties();
    SetLeftTw(props, W() - 3830);
    frame_.Line1->setX1(W() - 3830);
    frame_.Line1->setX2(W() - 200);
    SetLeftTw(frame_.Label2, W() - 3830);
    // 10.
    SetHeightTw(props, H() - k.propertiesHeight);
    // 11. mixer rule
    frame_.Line3->setX2(WidthTw(frame_.pctMixer) + 100);
    frame_.Line3->setY1(H() - k.mixerRuleY);
    frame_.Line3->setY2(H() - k.mixerRuleY);
    // 12, 13. column widths; Description takes the rest
    QHeaderView* header = list->header();
    header->setMinimumSectionSize(0);
    header->setStretchLastSection(false);
    int others = 0;
    for (int c = 0; c < 14 && c < header->count(); ++c) {
        if (c == 1) continue;
        SetColumnWidthTw(list, c, k.columns[c]);
        others += k.columns[c];
    }
    const int description = std::max(kDescriptionMin, WidthTw(list) - (others + 100));
    if (header->count() > 1) SetColumnWidthTw(list, 1, description);
}

void Form1::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    status_->placeAtBottom(width(), height());
    if (loaded_) Form_Resize();
}

void Form1::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && loaded_ && !isMinimized()) Form_Resize();
}

void Form1::paintEvent(QPaintEvent* e) {
    // Only the part asked for: the window repaints behind its controls at every GO, and
    // drawing the whole backdrop each time took milliseconds from the start of the sound.
    const QRect asked = e->rect();
    QPainter p(this);
    p.fillRect(asked, QColor(3, 8, 30));
    const QRect shown = asked & backdrop_.rect();
    if (!shown.isEmpty()) p.drawPixmap(shown.topLeft(), backdrop_, shown);
}

void Form1::closeEvent(QCloseEvent* e) {
    // Closing the window ends the program as it stands: no question, nothing saved.
    e->accept();
    endProgram();
}

} // namespace sorvane
