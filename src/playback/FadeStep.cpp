#include "FadeStep.h"

namespace sorvane {

FadeResult FadeStep(int current, int target, int interval) {
    FadeResult r{current, FadeTickInterval(interval), false};
    if (target > current) {
        // Up: the last stretch below full level is taken in one jump.
        r.volume = current + 2 * kFadeStep > 0 ? 0 : current + kFadeStep;
        if (r.volume >= target) {
            r.volume = target;
            r.finished = true;
        }
    } else {
        r.volume = current - kFadeStep;
        const int floorTarget = target < kVolumeFloor ? kVolumeFloor : target;
        if (r.volume <= floorTarget) {
            r.volume = floorTarget;
            r.finished = true;
        }
    }
    return r;
}

} // namespace sorvane
