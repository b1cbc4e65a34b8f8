#!/usr/bin/env python3
"""From outside, on the built program: started with a show on its command line under a real
X display, it shows the show's cues on the accessibility bus, its intro's sound leaves through
the engine's SDL stream (captured by SDL's disk driver), and once the intro is over nothing
sounds until the operator acts.

Usage: outside_start.py PROGRAM WORKDIR. Exits 77 (skipped) when the display or the bus
cannot be started."""

import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "outside"))
import harness  # noqa: E402
import showmaker  # noqa: E402



def main(program, workdir):
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    tone = showmaker.make_tone(os.path.join(workdir, "tone.wav"), 1000, 1.0)
    show = showmaker.write_show(os.path.join(workdir, "show.cue"), [
        showmaker.cue_line(1, "Outside tone", file=tone),
        showmaker.cue_line(2, "Second cue", file=tone, channel=1),
    ])
    desk = harness.start_desktop(workdir)
    if desk is None:
        return harness.SKIP
    try:
        prog = desk.start_program([program, show])
        # The show named on the command line is in the cue list, in its order.
        desk.find("Outside tone", role="table cell", pid=prog.pid, timeout=30)
        cells = desk.names("table cell", pid=prog.pid)
        assert "Second cue" in cells, cells
        assert cells.index("Outside tone") < cells.index("Second cue"), cells
        desk.find("Go", role="push button", pid=prog.pid)

        # The intro's sound came out of the SDL stream; wait until it has ended.
        intro = prog.wait_until_quiet(1.0)
        assert intro, "the intro's sound never came out, or never ended: " + prog.log()
        first, end = intro[0][0], intro[-1][1]
        assert first < 2 * harness.RATE, f"the intro's sound starts late: frame {first}"
        assert end - first > harness.RATE, f"the intro's sound is short: {end - first} frames"

        # Nothing sounds by itself once the intro is over.
        mark = prog.frames()
        prog.wait_for_frames(mark + 2 * harness.RATE, 10)
        after = prog.sound(mark)
        assert len(after) >= harness.RATE * harness.CHANNELS, "the output stopped running"
        assert harness.sounding_runs(after) == [], "sound came out with no GO"
        assert prog.running(), "the program ended: " + prog.log()
    finally:
        desk.close()
    print("outside start-up check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
