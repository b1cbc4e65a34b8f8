#pragma once

// A cue row as a show file loads it: every stored value is the text of its field.
// Fields: #, Description, When, Action, ActionCue, File, Volume, Rate, BeginOn, Ch, Spd,
// Count, SelectionStart, SelectionEnd.

#include "cuelist/CueListModel.h"

#include <QStringList>

namespace sorvane::testing {

inline CueRow TextRow(const QStringList& f) {
    CueRow r;
    r.text = f.value(0);
    for (int k = 1; k <= kSubItemCount; ++k)
        r.at(k) = {StoredValue::text(f.value(k)), f.value(k)};
    return r;
}

} // namespace sorvane::testing
