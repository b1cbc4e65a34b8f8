#include "CueListEditor.h"

#include "CueListView.h"
#include "CueNumber.h"
#include "CueWords.h"
#include "PropertiesPanel.h"
#include "core/Module1.h"
#include "core/Palette.h"
#include "core/Shell.h"
#include "core/Twips.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace sorvane {

namespace {

// DecimalText for the row numbers of the editing commands: whole numbers are written
// directly when the locale writes its digits and its minus sign as plain ASCII.
class NumberTexts {
public:
    NumberTexts() {
        const QLocale locale;
        plain_ =
            locale.zeroDigit() == QLatin1String("0") && locale.negativeSign() == QLatin1String("-");
    }
    QString operator()(double v) const {
        if (plain_ && v == std::floor(v) && std::fabs(v) < 1e15)
            return v == 0 ? QStringLiteral("0") : QString::number(static_cast<qint64>(v));
        return DecimalText(v);
    }

private:
    bool plain_ = false;
};

std::optional<double> Num(const StoredValue& v) {
    if (v.kind() != StoredValue::Kind::Text) return v.toNumber();
    return ReadNumberQuick(v.toText());
}

} // namespace

// Decimal texts of the numbers the redraw meets; shows repeat the same few values. Kept from
// one redraw to the next while the locale stays the same.
class CueListEditor::RedrawTexts {
public:
    void checkLocale() {
        const QLocale current;
        if (current != locale_) {
            locale_ = current;
            texts_.clear();
            percents_.clear();
        }
    }
    const QString& operator()(double v) {
        auto it = texts_.find(v);
        if (it == texts_.end()) it = texts_.emplace(v, DecimalText(v)).first;
        return it->second;
    }
    // A volume as the list shows it: (V + 4000) / 40 to one decimal, a tie to the even digit,
    // and "%".
    const QString& percent(double volume) {
        auto it = percents_.find(volume);
        if (it == percents_.end()) {
            const double p = -1 * RoundHalfEven((volume + 4000) / -4000 * 100, 1);
            it = percents_.emplace(volume, DecimalText(p) + QLatin1Char('%')).first;
        }
        return it->second;
    }

private:
    QLocale locale_;
    std::unordered_map<double, QString> texts_;
    std::unordered_map<double, QString> percents_;
};

namespace {

void SetText(QString& target, const QString& text) {
    if (target != text) target = text;
}

// Rebuilds the display texts of When, Action, File, Volume, Begin On, Ch and Count from the
// row's stored values; a value that does not read as a number leaves its text as it is.
void RebuildRow(CueRow& r, CueListEditor::RedrawTexts& decimals) {
    const int count = r.subCount;
    // The action decides which of Volume, Ch and Count show a value.
    bool showVolume = false, showCount = false, showChannel = true;

    if (count >= kWhen) {
        if (const auto v = Num(r.at(kWhen).value)) {
            const double code = RoundDown(*v);
            if (code >= 0 && code < kWhenCount)
                SetText(r.at(kWhen).text, kWhenRedrawWords[static_cast<int>(code)]);
        }
    }
    if (count >= kAction) {
        if (const auto v = Num(r.at(kAction).value)) {
            const double code = RoundDown(*v);
            QString& t = r.at(kAction).text;
            if (code >= 0 && code < kActionDelay) {
                SetText(t, kActionWords[static_cast<int>(code)]);
            } else if (code == kActionDelay && count >= kActionCue) {
                SetText(t, QStringLiteral("Delay (") + r.at(kActionCue).value.toText() +
                               QStringLiteral("ms)"));
            }
            showVolume = code == kActionPlay || code == kActionVolume;
            showCount = code == kActionPlay;
            showChannel = code != kActionDelay;
        }
    }
    if (count >= kFile) {
        const StoredValue& v = r.at(kFile).value;
        const auto n = Num(v);
        QString& t = r.at(kFile).text;
        if (n && *n == 0) {
            SetText(t, QString());
        } else {
            SetText(t, GetFileName(v.toText()));
        }
    }
    if (count >= kVolume) {
        QString& t = r.at(kVolume).text;
        if (!showVolume) {
            SetText(t, QString());
        } else if (const auto v = Num(r.at(kVolume).value)) {
            SetText(t, decimals.percent(*v));
        }
    }
    if (count >= kBeginOn) {
        if (const auto v = Num(r.at(kBeginOn).value)) {
            const double code = RoundDown(*v);
            if (code >= 0 && code < kBeginOnCount)
                SetText(r.at(kBeginOn).text, kBeginOnWords[static_cast<int>(code)]);
        }
    }
    if (count >= kChannel) {
        QString& t = r.at(kChannel).text;
        if (!showChannel) {
            SetText(t, QString());
        } else if (const auto v = Num(r.at(kChannel).value)) {
            SetText(t, *v == kChannelAny ? kChannelAnyWord : decimals(*v + 1));
        }
    }
    if (count >= kPlayCount) {
        QString& t = r.at(kPlayCount).text;
        if (!showCount) {
            SetText(t, QString());
        } else {
            const StoredValue& v = r.at(kPlayCount).value;
            const auto n = Num(v);
            // A count that is not a number plays as 0, endless.
            SetText(t, !n || *n == 0 ? QStringLiteral("%") : v.toText());
        }
    }
}

} // namespace

CueListEditor::CueListEditor(Shell& shell, QWidget* client)
    : QObject(client), shell_(shell), redrawTexts_(std::make_unique<RedrawTexts>()) {
    BuildList(client);
    panel_ = new PropertiesPanel(*this, shell_, client);

    Frame& f = shell_.frame();
    if (f.cmdAddCue)
        connect(f.cmdAddCue, &QPushButton::clicked, this, &CueListEditor::cmdAddCue_Click);
    if (f.cmdDeleteCue)
        connect(f.cmdDeleteCue, &QPushButton::clicked, this, &CueListEditor::cmdDeleteCue_Click);
    if (f.cmdMoveUp)
        connect(f.cmdMoveUp, &QPushButton::clicked, this, &CueListEditor::cmdMoveUp_Click);
    if (f.cmdMoveDown)
        connect(f.cmdMoveDown, &QPushButton::clicked, this, &CueListEditor::cmdMoveDown_Click);
    if (f.cmdProperties)
        connect(f.cmdProperties, &QPushButton::clicked, this, &CueListEditor::cmdProperties_Click);
}

void CueListEditor::BuildList(QWidget* client) {
    model_ = new CueListModel(this);
    listView_ = new CueListView(client);
    listView_->setObjectName(QStringLiteral("ListView1"));
    listView_->setAccessibleName(QStringLiteral("Cue List"));
    listView_->setModel(model_);
    QPalette p = listView_->palette();
    p.setColor(QPalette::Base, kListBackground);
    p.setColor(QPalette::Window, kListBackground);
    p.setColor(QPalette::Text, kWhite);
    p.setColor(QPalette::Highlight, kListHighlight);
    p.setColor(QPalette::HighlightedText, kWhite);
    listView_->setPalette(p);
    listView_->setFont(SmallFont());
    SetGeometryTw(listView_, 60, 495, 6900, 3500);
    connect(listView_, &CueListView::listClicked, this, &CueListEditor::ListView1_Click);
    connect(listView_, &CueListView::keySelected, this, &CueListEditor::ListView1_Click);
    connect(listView_, &CueListView::rowDoubleClicked, this, &CueListEditor::ListView1_DblClick);
    // A selection that becomes empty, however it happens, closes the panel at once: it must
    // never go on showing a cue its edits no longer reach.
    connect(listView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection&, const QItemSelection& deselected) {
                if (!deselected.isEmpty() && SelectedIndex() == 0) UpdateListView();
            });
}

CueListEditor::~CueListEditor() {
    // The panel's handlers write into this editor's list: the panel goes first.
    delete panel_;
}

PropertiesPanel& CueListEditor::panel() const {
    return *panel_;
}

QWidget* CueListEditor::pctProperties() const {
    return panel_;
}

QTreeView* CueListEditor::ListView1() const {
    return listView_;
}

CueRef CueListEditor::SelectedRef() const {
    const int selected = SelectedIndex();
    return {model_->showId(), selected ? model_->row(selected - 1).id : 0};
}

CuePlace CueListEditor::Locate(const CueRef& cue) const {
    if (cue.show != model_->showId()) return CuePlace::OtherShow;
    const int index = cue.cue ? model_->indexOfId(cue.cue) : -1;
    if (index < 0) return cue == SelectedRef() ? CuePlace::Selected : CuePlace::Deleted;
    return index + 1 == SelectedIndex() ? CuePlace::Selected : CuePlace::Listed;
}

void CueListEditor::StoreMedia(const CueRef& cue, const QString& file, const QString& start,
                               const QString& end) {
    if (cue.show != model_->showId() || cue.cue == 0) return;
    const int index = model_->indexOfId(cue.cue);
    if (index >= 0) panel().StoreMedia(index + 1, file, start, end);
}

int CueListEditor::SelectedIndex() const {
    const QItemSelectionModel* sel = listView_->selectionModel();
    if (!sel) return 0;
    const QModelIndexList rows = sel->selectedRows();
    if (rows.isEmpty()) return 0;
    return rows.first().row() + 1;
}

void CueListEditor::SelectRow(int position) {
    QItemSelectionModel* sel = listView_->selectionModel();
    if (!sel) return;
    if (position < 1 || position > model_->count()) {
        sel->clearSelection();
        return;
    }
    const QModelIndex index = model_->index(position - 1, 0);
    sel->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    listView_->scrollTo(index);
}

// --- the redraw ---------------------------------------------------------------------------

void CueListEditor::UpdateListView() {
    Frame& f = shell_.frame();
    const int selected = SelectedIndex();
    // 1. no selected cue
    if (selected == 0) {
        if (f.cmdProperties) f.cmdProperties->setEnabled(false);
        HideProperties();
        shell_.Form_Resize();
        return;
    }
    // 2.
    if (f.cmdProperties) f.cmdProperties->setEnabled(true);
    if (AutoShowProperties) {
        ShowProperties();
        shell_.Form_Resize();
    }
    const int n = model_->count();
    // The rows on screen as they look now: only those whose look changes are repainted.
    const auto [firstShown, lastShown] = listView_->shownRows();
    std::vector<CueRow> shownBefore;
    for (int i = firstShown; i <= lastShown; ++i)
        shownBefore.push_back(model_->row(i));
    // 3. every row white and normal
    for (int i = 0; i < n; ++i) {
        CueRow& r = model_->mutableRow(i);
        r.colour = kWhite;
        r.bold = false;
    }
    // 4. the current cue green
    if (const auto tag = ReadNumber(ListView1Tag); tag && *tag > -1) {
        const double position = RoundDown(*tag);
        if (position >= 1 && position <= n) {
            CueRow& r = model_->mutableRow(static_cast<int>(position) - 1);
            r.colour = kGreen;
            r.bold = true;
        }
    }
    // 5. the selected cue yellow
    {
        CueRow& r = model_->mutableRow(selected - 1);
        r.colour = kYellow;
        r.bold = true;
    }
    // 6. display texts
    redrawTexts_->checkLocale();
    for (int i = 0; i < n; ++i)
        RebuildRow(model_->mutableRow(i), *redrawTexts_);
    // 7.
    for (int i = firstShown; i <= lastShown; ++i)
        if (!SameLook(shownBefore[static_cast<size_t>(i - firstShown)], model_->row(i)))
            model_->refreshRows(i, i);
    // 8. the ready message
    const CueRow& sel = model_->row(selected - 1);
    if (sel.subCount >= kDescription)
        shell_.ShowStatus(QStringLiteral("Cue ") + sel.text + QStringLiteral(" Ready  >  %") +
                              sel.at(kDescription).text,
                          4);
    // 9.
    shell_.FocusGo();
}

void CueListEditor::ListView1_Click() {
    const int selected = SelectedIndex();
    if (selected == 0) return;
    panel_->LoadCue(selected, SelectedCue);
    UpdateListView();
}

// --- list editing ---------------------------------------------------------------------------

void CueListEditor::cmdAddCue_Click() {
    // 1. after the selected cue, or at the top
    const int selected = SelectedIndex();
    const int P = selected ? selected + 1 : 1;
    // 2. renumber the cues that follow
    const int N = model_->count();
    const NumberTexts numberText;
    for (int position = P; position <= N; ++position) {
        CueRow& r = model_->mutableRow(position - 1);
        if (const auto v = ReadNumberQuick(r.text)) r.text = numberText(*v + 1);
    }
    // 3, 4. the new cue with its defaults
    CueRow row;
    row.text = DecimalText(P);
    row.ownValue = StoredValue::int32(P);
    row.at(kDescription).text = QStringLiteral("New Action #") + DecimalText(P);
    struct Default {
        int k;
        std::int16_t value;
        const char* text;
    };
    static constexpr Default defaults[] = {
        {kWhen, 0, "0"},      {kAction, 0, "Play Sound"}, {kActionCue, 0, "0"},
        {kFile, 0, "0"},      {kVolume, 0, "0"},          {kRate, 1, "1"},
        {kBeginOn, 1, "1"},   {kChannel, 0, "0"},         {kFadeSpeed, 0, "0"},
        {kPlayCount, 1, "1"}, {kSelectionStart, 0, "0"},  {kSelectionEnd, 0, "0"}};
    for (const Default& d : defaults) {
        row.at(d.k).value = StoredValue::int16(d.value);
        row.at(d.k).text = QString::fromLatin1(d.text);
    }
    model_->insertRow(P - 1, std::move(row));
    // 5, 6. selected and current
    SelectRow(P);
    ListView1Tag = model_->row(P - 1).text;
    // 7, 8.
    ListView1_Click();
    panel_->RefreshProperties();
}

void CueListEditor::cmdDeleteCue_Click() {
    // 1.
    const int D = SelectedIndex();
    if (D == 0) return;
    // 2.
    model_->removeRow(D - 1);
    // 3. positions from D on
    const NumberTexts numberText;
    const int n = model_->count();
    for (int position = D; position <= n; ++position) {
        model_->setOwnValue(position - 1, StoredValue::int32(position));
        model_->mutableRow(position - 1).text = numberText(position);
    }
    // 4. The cue that took the removed one's place (the new last cue when the last one went)
    // is selected and loaded, so the panel and the status line name a cue that exists.
    if (n == 0) {
        SelectRow(0);
        UpdateListView();
        return;
    }
    SelectRow(std::min(D, n));
    ListView1_Click();
}

void CueListEditor::cmdMoveUp_Click() {
    const int S = SelectedIndex();
    if (S <= 1) return;
    model_->swapSubItems(S - 1, S - 2);
    SelectRow(S - 1);
    UpdateListView();
}

void CueListEditor::cmdMoveDown_Click() {
    const int S = SelectedIndex();
    if (S == 0 || S >= model_->count()) return;
    model_->swapSubItems(S - 1, S);
    SelectRow(S + 1);
    UpdateListView();
}

// --- show and hide ---------------------------------------------------------------------------

void CueListEditor::HideProperties() {
    Frame& f = shell_.frame();
    const int W = shell_.OuterWidthTw();
    panel_->hide();
    SetWidthTw(listView_, W - 1490);
    if (f.pctActionControls) SetLeftTw(f.pctActionControls, W - 1340);
    if (f.cmdProperties) f.cmdProperties->setText(QStringLiteral("< Properties"));
    if (f.Line2) f.Line2->setX2(W - 220);
    if (f.Line1) f.Line1->hide();
    if (f.Label2) f.Label2->hide();
}

void CueListEditor::ShowProperties() {
    Frame& f = shell_.frame();
    const int W = shell_.OuterWidthTw();
    SetWidthTw(listView_, W - 5190);
    panel_->show();
    if (f.pctActionControls) SetLeftTw(f.pctActionControls, W - 5050);
    if (f.cmdProperties) f.cmdProperties->setText(QStringLiteral("Properties >"));
    if (f.Line2) f.Line2->setX2(W - 3930);
    if (f.Line1) f.Line1->show();
    if (f.Label2) f.Label2->show();
    panel_->RefreshProperties();
}

void CueListEditor::cmdProperties_Click() {
    if (!panel_->isHidden()) {
        AutoShowProperties = false;
        HideProperties();
    } else {
        AutoShowProperties = true;
        ShowProperties();
    }
    shell_.Form_Resize();
    shell_.FocusGo();
}

} // namespace sorvane
