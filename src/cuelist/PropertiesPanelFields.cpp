// The properties panel's fields: the program's puts into the controls, the loading of a cue
// into them, and the handlers that write every change back into the selected row.

#include "PropertiesPanel.h"

#include "CueListEditor.h"
#include "CueWords.h"
#include "core/Module1.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cmath>
#include <optional>

namespace sorvane {

// --- program writes into the controls ---------------------------------------------------------

namespace {
// A text box lays its whole text out at every change and paint. A longer text (a description
// of megabytes) is shown by its start in a read-only box, and the box keeps the whole text
// beside it, so the cue gets it back whole and the panel stays quick.
constexpr qsizetype kBoxChars = 65536;
constexpr char kWholeText[] = "sorvaneWholeText";

QString ShownText(QLineEdit* box, const QString& text) {
    const bool cut = text.size() > kBoxChars;
    box->setProperty(kWholeText, cut ? QVariant(text) : QVariant());
    box->setReadOnly(cut);
    return cut ? text.left(kBoxChars) : text;
}

QString WholeText(const QLineEdit* box) {
    const QVariant whole = box->property(kWholeText);
    return whole.isValid() ? whole.toString() : box->text();
}
} // namespace

bool PropertiesPanel::PutText(QLineEdit* box, const QString& whole, Handler handler) {
    const QString text = ShownText(box, whole);
    if (box->text() == text)
        (this->*handler)();
    else
        box->setText(text); // textChanged runs the handler
    return true;
}

bool PropertiesPanel::PutSlider(QSlider* slider, double value, Handler handler) {
    if (!std::isfinite(value) || value < slider->minimum() || value > slider->maximum())
        return false;
    const int v = static_cast<int>(value);
    if (slider->value() == v)
        (this->*handler)();
    else
        slider->setValue(v); // valueChanged runs the handler
    return true;
}

bool PropertiesPanel::PutIndex(QComboBox* box, int index) {
    if (index < 0 || index >= box->count()) return false;
    bool& changed = box == cboAction_ ? cboActionChanged_ : cboWhenChanged_;
    if (box->currentIndex() == index) {
        if (box == cboAction_)
            cboAction_Click();
        else
            cboWhen_Click();
    } else {
        box->setCurrentIndex(index); // currentIndexChanged runs the handler
    }
    changed = false;
    return true;
}

bool PropertiesPanel::PutOption(QRadioButton* const* buttons, int count, int index,
                                void (PropertiesPanel::*handler)(std::int16_t)) {
    if (index < 0 || index >= count) return false;
    QRadioButton* b = buttons[index];
    if (b->isChecked())
        (this->*handler)(static_cast<std::int16_t>(index));
    else
        b->setChecked(true); // toggled runs the handler
    return true;
}

void PropertiesPanel::ShowUnloaded(int k, const CueRow& row, const CueRecord* refused) {
    const QString stored = k <= row.subCount ? row.at(k).value.toText() : QString();
    // A slider stands at the row's value as near as it can (at its start for a value that is
    // no number), so that a nudge starts from this cue's value; no handler runs.
    auto place = [](QSlider* slider, std::optional<double> v) {
        const QSignalBlocker block(slider);
        const double lo = slider->minimum(), hi = slider->maximum();
        slider->setValue(static_cast<int>(v && std::isfinite(*v) ? std::clamp(*v, lo, hi) : lo));
    };
    auto text = [](QLineEdit* box, const QString& t) {
        const QSignalBlocker block(box);
        box->setText(ShownText(box, t));
    };
    auto none = [](QRadioButton* const* buttons, int count) {
        QButtonGroup* group = buttons[0]->group();
        group->setExclusive(false);
        for (int i = 0; i < count; ++i) {
            const QSignalBlocker block(buttons[i]);
            buttons[i]->setChecked(false);
        }
        group->setExclusive(true);
    };
    auto blank = [](QComboBox* box) {
        const QSignalBlocker block(box);
        box->setCurrentIndex(-1);
    };
    switch (k) {
    case kDescription:
        text(txtDescription_, QString());
        break;
    case kWhen:
        blank(cboWhen_);
        break;
    case kAction:
        blank(cboAction_);
        break;
    case kActionCue:
        text(txtAction_, stored);
        break;
    case kFile:
        text(txtFile_, stored);
        break;
    case kVolume:
        if (refused) {
            const double V = refused->Volume + 4000.0;
            place(sldVolume_, V);
            text(txtVolume_, DecimalText(-1 * RoundHalfEven(V / -4000 * 100, 1)));
        } else {
            place(sldVolume_, std::nullopt);
            text(txtVolume_, QString());
        }
        break;
    case kRate:
        if (refused) {
            place(sldRate_, RoundHalfEven(refused->Rate * 100, 0));
            text(txtRate_, DecimalText(refused->Rate));
        } else {
            place(sldRate_, std::nullopt);
            text(txtRate_, QString());
        }
        break;
    case kFadeSpeed:
        place(sldSpeed_, refused ? std::optional<double>(refused->FadeSpeed) : std::nullopt);
        break;
    case kBeginOn:
        none(optBeginOn_.data(), kBeginOnCount);
        break;
    case kChannel:
        none(optChannel_.data(), kChannelCount);
        break;
    case kPlayCount:
        text(txtPlayCount_, stored);
        break;
    case kSelectionStart:
        text(txtStartPos_, stored);
        break;
    case kSelectionEnd:
        text(txtEndPos_, stored);
        break;
    default:
        break;
    }
}

// --- loading the selected cue ---------------------------------------------------------------

void PropertiesPanel::LoadCue(int selected, CueRecord& c) {
    if (selected < 1 || selected > model().count()) return;
    const int index = selected - 1;
    const CueRow before = model().row(index);
    auto present = [&](int k) { return k <= before.subCount; };
    auto value = [&](int k) -> const StoredValue& { return before.at(k).value; };

    // The record, every field read before any control is put.
    bool loaded[kSubItemCount + 1] = {};
    c.Number = selected;
    if (present(kDescription)) {
        c.Description = before.at(kDescription).text;
        loaded[kDescription] = true;
    }
    loaded[kWhen] = present(kWhen) && LoadField(value(kWhen), c.When);
    loaded[kAction] = present(kAction) && LoadField(value(kAction), c.Action);
    loaded[kActionCue] = present(kActionCue) && LoadField(value(kActionCue), c.ActionCue);
    if (present(kFile)) {
        c.File = value(kFile).toText();
        loaded[kFile] = true;
    }
    loaded[kVolume] = present(kVolume) && LoadField(value(kVolume), c.Volume);
    loaded[kRate] = present(kRate) && LoadField(value(kRate), c.Rate);
    loaded[kBeginOn] = present(kBeginOn) && LoadField(value(kBeginOn), c.BeginOn);
    loaded[kChannel] = present(kChannel) && LoadField(value(kChannel), c.Channel);
    loaded[kFadeSpeed] = present(kFadeSpeed) && LoadField(value(kFadeSpeed), c.FadeSpeed);
    loaded[kPlayCount] = present(kPlayCount) && LoadField(value(kPlayCount), c.PlayCount);
    loaded[kSelectionStart] =
        present(kSelectionStart) && LoadField(value(kSelectionStart), c.SelectionStart);
    loaded[kSelectionEnd] =
        present(kSelectionEnd) && LoadField(value(kSelectionEnd), c.SelectionEnd);

    // The puts, play count last. A field that did not load, or that its control refused,
    // is shown as it stands in the row and put nowhere, so that no control goes on showing
    // the value of the cue loaded before.
    bool put[kSubItemCount + 1] = {};
    auto step = [&](int k, auto&& doPut) {
        if (!loaded[k])
            ShowUnloaded(k, before, nullptr);
        else if (!(put[k] = doPut()))
            ShowUnloaded(k, before, &c);
    };
    txtCueNumber_->setText(DecimalText(c.Number));
    step(kDescription, [&] {
        return PutText(txtDescription_, c.Description, &PropertiesPanel::txtDescription_Change);
    });
    step(kWhen, [&] { return PutIndex(cboWhen_, c.When); });
    step(kAction, [&] { return PutIndex(cboAction_, c.Action); });
    step(kActionCue, [&] {
        return PutText(txtAction_, DecimalText(c.ActionCue), &PropertiesPanel::txtAction_Change);
    });
    step(kFile, [&] { return PutText(txtFile_, c.File, &PropertiesPanel::txtFile_Change); });
    step(kVolume, [&] {
        return PutSlider(sldVolume_, int(c.Volume) + 4000, &PropertiesPanel::sldVolume_Change);
    });
    step(kRate, [&] {
        return PutSlider(sldRate_, RoundHalfEven(c.Rate * 100, 0),
                         &PropertiesPanel::sldRate_Change);
    });
    step(kBeginOn, [&] {
        return PutOption(optBeginOn_.data(), kBeginOnCount, c.BeginOn,
                         &PropertiesPanel::optBeginOn_Click);
    });
    step(kChannel, [&] {
        return PutOption(optChannel_.data(), kChannelCount, c.Channel,
                         &PropertiesPanel::optChannel_Click);
    });
    step(kFadeSpeed,
         [&] { return PutSlider(sldSpeed_, c.FadeSpeed, &PropertiesPanel::sldSpeed_Change); });
    step(kSelectionStart, [&] {
        return PutText(txtStartPos_, DecimalText(c.SelectionStart),
                       &PropertiesPanel::txtStartPos_Change);
    });
    step(kSelectionEnd, [&] {
        return PutText(txtEndPos_, DecimalText(c.SelectionEnd), &PropertiesPanel::txtEndPos_Change);
    });
    step(kPlayCount, [&] {
        return PutText(txtPlayCount_, DecimalText(c.PlayCount),
                       &PropertiesPanel::txtPlayCount_Change);
    });

    // A field that was not put keeps its stored value and text, also where another field's
    // handler wrote it (the tolerance proposal of the action selector).
    if (index < model().count() && Selected() == selected) {
        for (int k = 1; k <= kSubItemCount; ++k) {
            if (put[k] || !present(k)) continue;
            const SubItem& s = before.at(k);
            model().setSubItem(index, k, s.value, s.text);
        }
        model().mutableRow(index).subCount = before.subCount;
    }
}

// --- field handlers ------------------------------------------------------------------------

void PropertiesPanel::WriteText(QLineEdit* box, int k) {
    StoreText(Selected(), k, WholeText(box));
}

void PropertiesPanel::WriteMarker(QLineEdit* box, int k) {
    StoreMarker(Selected(), k, box->text());
}

void PropertiesPanel::StoreText(int position, int k, const QString& text) {
    if (position == 0) return;
    model().setSubItem(position - 1, k, StoredValue::text(text), text);
}

void PropertiesPanel::StoreMarker(int position, int k, const QString& text) {
    const auto v = ReadNumber(text);
    if (!v) return; // not a number: the marker stays as it was
    if (position == 0) return;
    model().setSubItem(position - 1, k, StoredValue::number(*v), DecimalText(*v));
}

void PropertiesPanel::StoreMedia(int position, const QString& file, const QString& start,
                                 const QString& end) {
    StoreMarker(position, kSelectionEnd, end);
    StoreMarker(position, kSelectionStart, start);
    if (!file.isNull()) StoreText(position, kFile, file);
}

void PropertiesPanel::txtDescription_Change() {
    WriteText(txtDescription_, kDescription);
}

void PropertiesPanel::txtAction_Change() {
    WriteText(txtAction_, kActionCue);
    const int selected = Selected();
    if (selected == 0) return;
    const CueRow& r = model().row(selected - 1);
    if (r.subCount >= kAction && r.at(kAction).value.equalsNumber(kActionDelay))
        model().setSubText(selected - 1, kAction,
                           QStringLiteral("Delay: ") + txtAction_->text() + QStringLiteral("ms"));
}

void PropertiesPanel::txtFile_Change() {
    WriteText(txtFile_, kFile);
}

void PropertiesPanel::txtPlayCount_Change() {
    WriteText(txtPlayCount_, kPlayCount);
}

void PropertiesPanel::txtStartPos_Change() {
    WriteMarker(txtStartPos_, kSelectionStart);
}

void PropertiesPanel::txtEndPos_Change() {
    WriteMarker(txtEndPos_, kSelectionEnd);
}

void PropertiesPanel::optBeginOn_Click(std::int16_t Index) {
    const int selected = Selected();
    if (selected == 0) return;
    model().setSubItem(selected - 1, kBeginOn, StoredValue::int16(Index),
                       kBeginOnWords[Index == 0 ? 0 : 1]);
}

void PropertiesPanel::optChannel_Click(std::int16_t Index) {
    const int selected = Selected();
    if (selected == 0) return;
    model().setSubItem(selected - 1, kChannel, StoredValue::int16(Index),
                       Index == kChannelAny ? kChannelAnyWord : DecimalText(Index + 1));
}

void PropertiesPanel::WriteVolume() {
    const std::int32_t V = sldVolume_->value();
    const QString percent = DecimalText(-1 * RoundHalfEven(V / -4000.0 * 100, 1));
    txtVolume_->setText(percent);
    const int selected = Selected();
    if (selected == 0) return;
    model().setSubItem(selected - 1, kVolume, StoredValue::int32(V - 4000),
                       percent + QLatin1Char('%'));
}

void PropertiesPanel::WriteRate() {
    const std::int32_t V = sldRate_->value();
    const QString rate = DecimalText(V / 100.0);
    txtRate_->setText(rate);
    const int selected = Selected();
    if (selected == 0) return;
    model().setSubItem(selected - 1, kRate, StoredValue::text(rate), rate);
}

void PropertiesPanel::WriteSpeed() {
    const std::int32_t V = sldSpeed_->value();
    const int selected = Selected();
    if (selected == 0) return;
    model().setSubItem(selected - 1, kFadeSpeed, StoredValue::int32(V), DecimalText(V));
}

void PropertiesPanel::sldVolume_Change() {
    WriteVolume();
}
void PropertiesPanel::sldVolume_Scroll() {
    WriteVolume();
}
void PropertiesPanel::sldRate_Change() {
    WriteRate();
}
void PropertiesPanel::sldRate_Scroll() {
    WriteRate();
}
void PropertiesPanel::sldSpeed_Change() {
    WriteSpeed();
}
void PropertiesPanel::sldSpeed_Scroll() {
    WriteSpeed();
}

} // namespace sorvane
