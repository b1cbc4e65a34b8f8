#pragma once

// A cue of the list by identity, not by position: the show the list held when the reference
// was taken, and the cue within it. The reference stays with the cue when cues are inserted,
// deleted or moved around it; a load or a new show starts another show.

#include <cstdint>

namespace sorvane {

struct CueRef {
    std::uint64_t show = 0;
    std::uint64_t cue = 0; // 0: no cue
    bool operator==(const CueRef&) const = default;
};

// Where a referenced cue stands now.
enum class CuePlace {
    Selected,  // in the list and selected: the panel's edits go into it
    Listed,    // in the list, not selected
    Deleted,   // no longer in the list
    OtherShow, // another show was loaded or made since
};

} // namespace sorvane
