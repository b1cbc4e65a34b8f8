#pragma once

// The program's named colours and small fonts, and the helpers that colour a control.

#include <QColor>
#include <QFont>

class QWidget;

namespace sorvane {

inline constexpr QColor kWhite{255, 255, 255};
inline constexpr QColor kYellow{255, 255, 0};
inline constexpr QColor kRed{255, 0, 0};
// The green of the current cue in the list.
inline constexpr QColor kGreen{0, 200, 0};
// The bright green of the status line's messages and its counter.
inline constexpr QColor kBrightGreen{0, 255, 0};
// The cue list's background and the shade of its selected row.
inline constexpr QColor kListBackground{29, 29, 29};
inline constexpr QColor kListHighlight{70, 70, 70};
// The status strip's dark grey.
inline constexpr QColor kStripGrey{40, 40, 40};

// "Small Fonts" at 6.75 points: the cue list and the status history.
QFont SmallFont();
// The base font at 7 points: the properties panel and the button column.
QFont SevenPointFont(QFont base = QFont());

// The colour of a control's text (labels, lists and text boxes alike).
void SetTextColour(QWidget* w, const QColor& c);
// A control's filled background.
void SetBackground(QWidget* w, const QColor& c);

} // namespace sorvane
