// The properties panel of the cue list editor: its controls, the loading of the selected cue
// into them, and the handlers that write every change back into the selected row.

#include "PropertiesPanel.h"

#include "CueListEditor.h"
#include "CueWords.h"
#include "core/Module1.h"
#include "core/Palette.h"
#include "core/Shell.h"
#include "core/Twips.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <cmath>
#include <limits>

namespace sorvane {

namespace {

// Rows shown by each action: rows 2, 3, 4, 5, 7, 8, 9 in this order.
constexpr int kStackedRows[7] = {2, 3, 4, 5, 7, 8, 9};
constexpr bool kRowsShown[9][7] = {
    {false, true, true, true, true, false, true},      // 0 Play Sound
    {false, false, false, false, true, false, false},  // 1 Pause Sound
    {false, false, false, false, true, false, false},  // 2 Stop Sound
    {true, false, false, false, true, false, false},   // 3 Wait For End of Iteration
    {false, false, true, false, true, true, false},    // 4 Change Volume
    {true, false, false, false, false, false, false},  // 5 Trigger Specific Cue
    {false, false, false, true, true, false, false},   // 6 Change Rate
    {false, true, false, false, true, false, false},   // 7 Buffer Sound
    {true, false, false, false, false, false, false}}; // 8 Delay (ms)

QLabel* Caption(QWidget* parent, const QString& text, int left, int top, int width, int height,
                Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* l = new QLabel(text, parent);
    SetTextColour(l, kWhite);
    l->setAlignment(align);
    SetGeometryTw(l, left, top, width, height);
    return l;
}

QLineEdit* TextBox(QWidget* parent, const QString& name, const QString& accessible, int left,
                   int top, int width, int height) {
    auto* t = new QLineEdit(parent);
    // A cue's texts have no length limit: a box must hold a whole loaded text, or the load
    // would write a cut copy back into the row.
    t->setMaxLength(std::numeric_limits<int>::max());
    t->setObjectName(name);
    t->setAccessibleName(accessible);
    SetGeometryTw(t, left, top, width, height);
    return t;
}

QSlider* Slider(QWidget* parent, const QString& name, const QString& accessible, int minimum,
                int maximum, int tick, int left, int top, int width, int height) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(name);
    s->setAccessibleName(accessible);
    s->setRange(minimum, maximum);
    s->setSingleStep(1);
    s->setPageStep(5);
    s->setTickInterval(tick);
    s->setTickPosition(QSlider::TicksBelow);
    SetGeometryTw(s, left, top, width, height);
    return s;
}

} // namespace

// --- building the panel --------------------------------------------------------------------

PropertiesPanel::PropertiesPanel(CueListEditor& editor, Shell& shell, QWidget* client)
    : QWidget(client), editor_(editor), shell_(shell) {
    Build();
    Connect();
}

PropertiesPanel::~PropertiesPanel() {
    // The controls go after this object: nothing they signal while they go may reach a
    // handler.
    for (QObject* control : findChildren<QObject*>())
        control->disconnect(this);
}

int PropertiesPanel::Selected() const {
    return editor_.SelectedIndex();
}

CueListModel& PropertiesPanel::model() const {
    return editor_.model();
}

void PropertiesPanel::Build() {
    setObjectName(QStringLiteral("pctProperties"));
    setAccessibleName(QStringLiteral("Cue Properties"));
    setFont(SevenPointFont());
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, kWhite); // captions of the option buttons
    setPalette(palette);
    SetGeometryTw(this, 8275, 495, 3600, 6375);
    QWidget* panel = this;

    Caption(panel, QStringLiteral("Cue #"), 105, 120, 600, 255);
    txtCueNumber_ =
        TextBox(panel, QStringLiteral("txtCueNumber"), QStringLiteral("Cue #"), 705, 90, 735, 285);
    txtCueNumber_->setText(QStringLiteral("0"));
    txtCueNumber_->installEventFilter(this);

    // The ten rows: Top, Height (and Left, Width for the value row).
    struct RowPlace {
        int left, top, width, height;
    };
    static constexpr RowPlace places[10] = {
        {0, 510, 3600, 540},  {0, 1050, 3600, 555},  {2670, 1575, 825, 540}, {0, 2115, 3600, 525},
        {0, 2670, 3600, 550}, {0, 3250, 3600, 1155}, {0, 4435, 3600, 435},   {0, 4900, 3600, 435},
        {0, 5365, 3600, 650}, {0, 6045, 3600, 345}};
    for (int i = 0; i < 10; ++i) {
        auto* row = new QWidget(panel);
        row->setObjectName(QStringLiteral("pctProperty(%1)").arg(i));
        const RowPlace& p = places[i];
        SetGeometryTw(row, p.left, p.top, p.width, p.height);
        pctProperty_[static_cast<size_t>(i)] = row;
    }
    QWidget* const* rows = pctProperty_.data();

    // 0 description
    Caption(rows[0], QStringLiteral("Cue Description:"), 105, 0, 3390, 225);
    txtDescription_ = TextBox(rows[0], QStringLiteral("txtDescription"),
                              QStringLiteral("Cue Description"), 105, 225, 3390, 285);

    // 1 start condition
    Caption(rows[1], QStringLiteral("Execute This Cue When:"), 105, 0, 3390, 225);
    cboWhen_ = new QComboBox(rows[1]);
    cboWhen_->setObjectName(QStringLiteral("cboWhen"));
    cboWhen_->setAccessibleName(QStringLiteral("Execute This Cue When"));
    for (int i = 0; i < kWhenCount; ++i)
        cboWhen_->addItem(kWhenItems[i], i);
    cboWhen_->setCurrentIndex(-1);
    SetGeometryTw(cboWhen_, 105, 225, 3390, 315);

    // the action selector, left of the value row
    Caption(panel, QStringLiteral("Action:"), 105, 1575, 2520, 180);
    cboAction_ = new QComboBox(panel);
    cboAction_->setObjectName(QStringLiteral("cboAction"));
    cboAction_->setAccessibleName(QStringLiteral("Action"));
    for (int i = 0; i < kActionCount; ++i)
        cboAction_->addItem(kActionItems[i], i);
    cboAction_->setCurrentIndex(-1);
    SetGeometryTw(cboAction_, 105, 1755, 2520, 315);

    // 2 value
    lblAction1_ = Caption(rows[2], QStringLiteral("Value:"), 0, 0, 825, 180);
    lblAction1_->setObjectName(QStringLiteral("lblAction1"));
    txtAction_ =
        TextBox(rows[2], QStringLiteral("txtAction"), QStringLiteral("Value"), 0, 180, 825, 300);

    // 3 media file
    Caption(rows[3], QStringLiteral("File:"), 105, 0, 1000, 210);
    txtFile_ =
        TextBox(rows[3], QStringLiteral("txtFile"), QStringLiteral("File"), 105, 210, 2550, 285);
    cmdBrowse_ = new QPushButton(QStringLiteral("Browse"), rows[3]);
    cmdBrowse_->setObjectName(QStringLiteral("cmdBrowse"));
    SetGeometryTw(cmdBrowse_, 2730, 195, 765, 315);

    // 4 volume
    Caption(rows[4], QStringLiteral("Volume:"), 105, 0, 1000, 210);
    sldVolume_ = Slider(rows[4], QStringLiteral("sldVolume"), QStringLiteral("Volume"), 0, 4000,
                        500, 105, 210, 2550, 330);
    txtVolume_ = TextBox(rows[4], QStringLiteral("txtVolume"), QStringLiteral("Volume (%)"), 2730,
                         225, 765, 285);
    txtVolume_->setAlignment(Qt::AlignCenter);
    txtVolume_->setText(QStringLiteral("0"));

    // 5 position markers and rate
    Caption(rows[5], QStringLiteral("Position Markers:"), 105, 0, 2000, 210);
    Caption(rows[5], QStringLiteral("Start:"), 105, 255, 450, 225);
    txtStartPos_ = TextBox(rows[5], QStringLiteral("txtStartPos"), QStringLiteral("Start"), 555,
                           225, 855, 285);
    Caption(rows[5], QStringLiteral("End:"), 1500, 255, 375, 225);
    txtEndPos_ =
        TextBox(rows[5], QStringLiteral("txtEndPos"), QStringLiteral("End"), 1875, 225, 855, 285);
    Command6_ = new QPushButton(QStringLiteral("Edit"), rows[5]);
    Command6_->setObjectName(QStringLiteral("Command6"));
    SetGeometryTw(Command6_, 2820, 210, 675, 315);
    Caption(rows[5], QStringLiteral("Play Rate (Pitch):"), 105, 570, 2000, 210);
    sldRate_ = Slider(rows[5], QStringLiteral("sldRate"), QStringLiteral("Play Rate (Pitch)"), 25,
                      200, 10, 105, 780, 2550, 330);
    sldRate_->setValue(100);
    txtRate_ = TextBox(rows[5], QStringLiteral("txtRate"), QStringLiteral("Play Rate"), 2730, 795,
                       765, 285);
    txtRate_->setAlignment(Qt::AlignCenter);
    txtRate_->setText(QStringLiteral("1"));

    // 6 begin on
    Caption(rows[6], QStringLiteral("Begin On:"), 105, 90, 1000, 255);
    auto* beginGroup = new QButtonGroup(this);
    const QString* beginCaptions = kBeginOnWords;
    for (int i = 0; i < kBeginOnCount; ++i) {
        auto* o = new QRadioButton(beginCaptions[i], rows[6]);
        o->setObjectName(QStringLiteral("optBeginOn(%1)").arg(i));
        o->setAccessibleName(beginCaptions[i]);
        o->setAccessibleDescription(QStringLiteral("Begin On"));
        SetGeometryTw(o, 1155 + i * 945, 90, 900, 255);
        beginGroup->addButton(o, i);
        optBeginOn_[static_cast<size_t>(i)] = o;
    }

    // 7 channel
    Caption(rows[7], QStringLiteral("Channel:"), 105, 0, 1000, 195);
    auto* channelGroup = new QButtonGroup(this);
    const QString* channelCaptions = kChannelItems;
    for (int i = 0; i < kChannelCount; ++i) {
        auto* o = new QRadioButton(channelCaptions[i], rows[7]);
        o->setObjectName(QStringLiteral("optChannel(%1)").arg(i));
        o->setAccessibleName(channelCaptions[i]);
        o->setAccessibleDescription(QStringLiteral("Channel"));
        SetGeometryTw(o, 105 + i * 480, 195, i < 4 ? 450 : 1500, 225);
        channelGroup->addButton(o, i);
        optChannel_[static_cast<size_t>(i)] = o;
    }

    // 8 fade speed
    Caption(rows[8], QStringLiteral("Fade Speed:"), 105, 0, 1500, 195);
    sldSpeed_ = Slider(rows[8], QStringLiteral("sldSpeed"), QStringLiteral("Fade Speed"), 0, 10, 1,
                       105, 195, 3390, 300);
    Caption(rows[8], QStringLiteral("Slow"), 105, 480, 700, 165);
    Caption(rows[8], QStringLiteral("Fast"), 2790, 480, 700, 165,
            Qt::AlignRight | Qt::AlignVCenter);

    // 9 play count
    Caption(rows[9], QStringLiteral("Play Count:"), 105, 60, 1000, 225);
    txtPlayCount_ = TextBox(rows[9], QStringLiteral("txtPlayCount"), QStringLiteral("Play Count"),
                            1155, 30, 675, 285);
    Caption(rows[9], QStringLiteral("(0 = Loop Forever)"), 1935, 60, 1600, 225);

    // The selectors and sliders take the wheel only once a click has given them the focus:
    // the operator scrolls with the pointer anywhere during a show.
    for (QWidget* w :
         std::initializer_list<QWidget*>{cboWhen_, cboAction_, sldVolume_, sldRate_, sldSpeed_}) {
        w->setFocusPolicy(Qt::StrongFocus);
        w->installEventFilter(this);
    }
}

void PropertiesPanel::Connect() {
    connect(txtDescription_, &QLineEdit::textChanged, this,
            &PropertiesPanel::txtDescription_Change);
    connect(txtAction_, &QLineEdit::textChanged, this, &PropertiesPanel::txtAction_Change);
    connect(txtFile_, &QLineEdit::textChanged, this, &PropertiesPanel::txtFile_Change);
    connect(txtPlayCount_, &QLineEdit::textChanged, this, &PropertiesPanel::txtPlayCount_Change);
    connect(txtStartPos_, &QLineEdit::textChanged, this, &PropertiesPanel::txtStartPos_Change);
    connect(txtEndPos_, &QLineEdit::textChanged, this, &PropertiesPanel::txtEndPos_Change);

    // A slider dragged by the operator runs its Scroll handler at every step; any other
    // change of its value runs the Change handler.
    auto slider = [this](QSlider* s, Handler change, Handler scroll) {
        connect(s, &QSlider::valueChanged, this,
                [this, s, change, scroll] { (this->*(s->isSliderDown() ? scroll : change))(); });
    };
    slider(sldVolume_, &PropertiesPanel::sldVolume_Change, &PropertiesPanel::sldVolume_Scroll);
    slider(sldRate_, &PropertiesPanel::sldRate_Change, &PropertiesPanel::sldRate_Scroll);
    slider(sldSpeed_, &PropertiesPanel::sldSpeed_Change, &PropertiesPanel::sldSpeed_Scroll);

    for (int i = 0; i < kBeginOnCount; ++i)
        connect(optBeginOn_[static_cast<size_t>(i)], &QRadioButton::toggled, this,
                [this, i](bool on) {
                    if (on) optBeginOn_Click(static_cast<std::int16_t>(i));
                });
    for (int i = 0; i < kChannelCount; ++i)
        connect(optChannel_[static_cast<size_t>(i)], &QRadioButton::toggled, this,
                [this, i](bool on) {
                    if (on) optChannel_Click(static_cast<std::int16_t>(i));
                });

    // A pick that changes the item runs the handler through the index change; picking the
    // item already chosen runs it through the activation alone.
    connect(cboAction_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        cboActionChanged_ = true;
        cboAction_Click();
    });
    connect(cboAction_, &QComboBox::activated, this, [this] {
        if (cboActionChanged_)
            cboActionChanged_ = false;
        else
            cboAction_Click();
    });
    connect(cboWhen_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        cboWhenChanged_ = true;
        cboWhen_Click();
    });
    connect(cboWhen_, &QComboBox::activated, this, [this] {
        if (cboWhenChanged_)
            cboWhenChanged_ = false;
        else
            cboWhen_Click();
    });
}

// --- the wheel and the jump box ------------------------------------------------------------

bool PropertiesPanel::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Wheel && watched != txtCueNumber_ &&
        !static_cast<QWidget*>(watched)->hasFocus()) {
        e->ignore(); // on to the panel
        return true;
    }
    if (watched == txtCueNumber_ && e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (!key->text().isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab) {
            txtCueNumber_KeyPress(static_cast<std::int16_t>(key->text().at(0).unicode()));
            // The typed key then replaces the box's text, ready for the next jump.
            txtCueNumber_->selectAll();
        }
    }
    return QObject::eventFilter(watched, e);
}

void PropertiesPanel::txtCueNumber_KeyPress(std::int16_t KeyAscii) {
    Q_UNUSED(KeyAscii); // every key jumps, whichever it is
    // 1. the text as it stands before this key
    bool found = false;
    if (const auto P = ReadNumber(txtCueNumber_->text())) {
        const double position = RoundDown(*P);
        if (position >= 1 && position <= model().count()) {
            editor_.SelectRow(static_cast<int>(position));
            found = true;
        }
    }
    // 2.
    editor_.ListView1_Click();
    // 3.
    if (found)
        shell_.ShowStatus(
            QStringLiteral("Cue ") + txtCueNumber_->text() + QStringLiteral(" Ready."), 0);
    else
        shell_.ShowStatus(QStringLiteral("Warning! - Cue Not Found"), 1);
}

// --- the selectors ---------------------------------------------------------------------------

void PropertiesPanel::cboAction_Click() {
    // 1.
    const int selected = Selected();
    if (selected == 0) return;
    const int item = cboAction_->currentIndex();
    if (item < 0) return;
    // 2.
    model().setSubValue(selected - 1, kAction,
                        StoredValue::int32(cboAction_->itemData(item).toInt()));
    // 3.
    lblAction1_->setText(QStringLiteral("Value:"));
    txtAction_->setAccessibleName(QStringLiteral("Value"));
    // 4.
    const auto code = model().row(selected - 1).at(kAction).value.toInt32();
    if (code && *code >= 0 && *code < kActionCount) {
        model().setSubText(selected - 1, kAction, kActionWords[*code]);
        if (*code == kActionIteration) {
            lblAction1_->setText(QStringLiteral("Tolerance (ms):"));
            txtAction_->setAccessibleName(QStringLiteral("Tolerance (ms)"));
            PutText(txtAction_, QStringLiteral("80"), &PropertiesPanel::txtAction_Change);
        }
        for (int j = 0; j < 7; ++j)
            pctProperty_[static_cast<size_t>(kStackedRows[j])]->setVisible(kRowsShown[*code][j]);
    }
    // 5, 6.
    RefreshProperties();
    editor_.UpdateListView();
}

void PropertiesPanel::cboWhen_Click() {
    const int selected = Selected();
    if (selected == 0) return;
    const int item = cboWhen_->currentIndex();
    if (item < 0) return;
    model().setSubValue(selected - 1, kWhen, StoredValue::int32(cboWhen_->itemData(item).toInt()));
    const auto code = model().row(selected - 1).at(kWhen).value.toInt32();
    if (code && *code >= 0 && *code < kWhenCount)
        model().setSubText(selected - 1, kWhen, kWhenWords[*code]);
}

void PropertiesPanel::RefreshProperties() {
    for (int i = 4; i <= 9; ++i) {
        const QWidget* above = pctProperty_[static_cast<size_t>(i - 1)];
        const int top = above->isHidden() ? TopTw(above) : TopTw(above) + HeightTw(above) + 30;
        SetTopTw(pctProperty_[static_cast<size_t>(i)], top);
    }
}

} // namespace sorvane
