#pragma once

// One cue as a record: a snapshot of a cue row. Writing to a record changes nothing in the list.

#include "core/StoredValue.h"

#include <QString>
#include <cstdint>

namespace sorvane {

struct CueRecord {
    double Number = 0;
    QString Description;
    std::int16_t When = 0;
    std::int16_t Action = 0;
    // The action's value: a tolerance or a delay in milliseconds, or a target cue's position.
    // Held in 32 bits so that a delay longer than 32.767 s loads as it stands.
    std::int32_t ActionCue = 0;
    QString File;
    std::int16_t Volume = 0;
    double Rate = 0;
    std::int16_t BeginOn = 0;
    std::int16_t Channel = 0;
    std::int16_t FadeSpeed = 0;
    std::int16_t PlayCount = 0;
    double SelectionStart = 0;
    double SelectionEnd = 0;
};

// Field loaders: each takes a stored value into a record field and reports whether it did.
// A value that does not convert leaves the field as it was.
inline bool LoadField(const StoredValue& v, std::int16_t& field) {
    const auto n = v.toInt16(); // rounded down
    if (!n) return false;
    field = *n;
    return true;
}

inline bool LoadField(const StoredValue& v, std::int32_t& field) {
    const auto n = v.toInt32(); // rounded down
    if (!n) return false;
    field = *n;
    return true;
}

inline bool LoadField(const StoredValue& v, double& field) {
    const auto n = v.toNumber();
    if (!n) return false;
    field = *n;
    return true;
}

} // namespace sorvane
