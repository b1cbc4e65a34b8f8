#pragma once

// One step of a volume fade, without any timer or player: the 40-unit step, the floor of
// -4000 when fading down, the jump to full level near the top, and the slow-down of the
// slowest speed.

namespace sorvane {

inline constexpr int kFadeStep = 40;
inline constexpr int kVolumeFloor = -4000;

struct FadeResult {
    int volume;    // the volume to write
    int interval;  // the tick period from now on, ms
    bool finished; // the target is reached: this was the last step
};

// The tick period from a tick on: the slowest speed's 101 ms become 300 ms after its first tick.
inline int FadeTickInterval(int interval) {
    return interval > 100 ? 300 : interval;
}

// `current` is the player's volume before the step, `interval` the fade's tick period.
FadeResult FadeStep(int current, int target, int interval);

// The tick period of a fade at `speed` 0..9: 101, 91, ... 11 ms.
inline int FadeInterval(int speed) {
    return (10 - speed) * 10 + 1;
}

} // namespace sorvane
