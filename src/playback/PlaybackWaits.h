#pragma once

// The waits of the cue and fade processes. Each pass lets every pending event and timer run;
// when the condition still holds, the pass then sleeps until the next event arrives or
// `maxSleepMs` has gone, so a long wait costs next to nothing. A player's state change is an
// event and so ends the sleep at once.

namespace sorvane {

// Lets pending events and timer ticks run once, without sleeping.
void LetEventsRun();

// Sleeps until an event arrives (and runs it) or `maxSleepMs` have passed.
void SleepForEvents(int maxSleepMs);

} // namespace sorvane
