#!/usr/bin/env python3
"""From outside, on the built program: real mouse clicks on GO under a real X display, the
sound captured through SDL's disk driver. The first cue of a loaded show plays its tone only
on the operator's mouse GO (a Space on the focused GO button does not fire it); the tone
comes out of the engine's SDL stream whole, at its pitch, and nothing sounds before; the
next cue then follows on a Space.

Usage: outside_go.py PROGRAM WORKDIR. Exits 77 (skipped) when the display or the bus cannot
be started."""

import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "outside"))
import harness  # noqa: E402
import showmaker  # noqa: E402

RATE = harness.RATE


def expect_tone(prog, before, hz):
    """One tone of `hz`, 1 s long at half of full scale, starts soon after frame `before`;
    the second before it is silent."""
    prog.wait_for_frames(before + 3 * RATE)
    assert harness.sounding_runs(prog.sound(before - RATE, before)) == [], \
        f"sound came out before the GO of the {hz} Hz cue"
    after = prog.sound(before)
    runs = harness.sounding_runs(after)
    assert len(runs) == 1, f"expected one {hz} Hz tone after GO, heard {runs}"
    first, end = runs[0]
    # The output file runs a little ahead of the clock; the tone still starts promptly.
    assert first < RATE // 2, f"the tone started {first / RATE:.3f} s after GO"
    length = (end - first) / RATE
    assert 0.95 < length < 1.05, f"the tone lasted {length:.3f} s instead of 1 s"
    pitch = harness.frequency(after, first + RATE // 10, end - RATE // 10)
    assert abs(pitch - hz) < hz / 100, f"the tone came out at {pitch:.1f} Hz, not {hz} Hz"
    peak = max(harness.frame_peaks(after[2 * first:2 * end]))
    assert 0.4 < peak < 0.6, f"the tone came out at peak {peak:.3f} instead of 0.5"


def main(program, workdir):
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    tone = showmaker.make_tone(os.path.join(workdir, "tone.wav"), 1000, 1.0)
    high = showmaker.make_tone(os.path.join(workdir, "high.wav"), 1500, 1.0)
    show = showmaker.write_show(os.path.join(workdir, "show.cue"), [
        showmaker.cue_line(1, "Outside tone", file=tone),
        showmaker.cue_line(2, "Next cue", file=high, channel=1),
    ])
    desk = harness.start_desktop(workdir)
    if desk is None:
        return harness.SKIP
    try:
        prog = desk.start_program([program, show])
        desk.find("Outside tone", role="table cell", pid=prog.pid, timeout=30)
        go = desk.find("Go", role="push button", pid=prog.pid)
        assert prog.wait_until_quiet(1.0), "the intro never ended: " + prog.log()

        # A Space on the focused GO button is not the operator's GO: the first cue stays put.
        desk.point_at(go)
        desk.key("space")
        mark = prog.frames()
        prog.wait_for_frames(mark + RATE * 3 // 2)
        assert harness.sounding_runs(prog.sound(mark)) == [], \
            "a key on GO fired the first cue"

        # The operator's GO: a real click. Its tone comes out after the click, and only then.
        before = prog.frames()
        desk.click(go)
        expect_tone(prog, before, 1000)

        # The next cue on a Space: GO from the keyboard fires any row but the first.
        before = prog.frames()
        desk.key("space")
        expect_tone(prog, before, 1500)
        assert prog.running(), "the program ended: " + prog.log()
    finally:
        desk.close()
    print("outside GO check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
