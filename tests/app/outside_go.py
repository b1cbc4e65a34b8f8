#!/usr/bin/env python3
"""Started with a show on its command line, the program lists its cues in order and plays its
intro through the engine's SDL stream; then nothing sounds by itself nor on a Space on the
focused GO. A real click of GO plays the first cue whole, at its pitch and level, with silence
before; a Space, a Return and the keypad's Enter then fire the next cues.
Usage: outside_go.py PROGRAM WORKDIR"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "outside"))
from harness import RATE, frequency, run, show, sounding_runs, tone, wait_for  # noqa: E402


def go(desk, act, hz):
    """After act, one tone of hz, 1 s at half of full scale, starts promptly; none before."""
    before = desk.frames()
    act()
    desk.wait_frames(before + 3 * RATE)
    assert sounding_runs(desk.sound(before - RATE, before)) == [], f"sound before GO ({hz} Hz)"
    after = desk.sound(before)
    runs = sounding_runs(after)
    assert len(runs) == 1, f"expected one {hz} Hz tone after GO, heard {runs}"
    (first, end), = runs
    assert first < RATE // 2 and 0.95 < (end - first) / RATE < 1.05, f"the tone: {runs}"
    pitch = frequency(after, first + RATE // 10, end - RATE // 10)
    assert abs(pitch - hz) < hz / 100, f"the tone came out at {pitch:.1f} Hz, not {hz} Hz"
    peak = max(map(abs, after[2 * first:2 * end]))
    assert 0.4 < peak < 0.6, f"the tone came out at peak {peak:.3f} instead of 0.5"


def check(desk, program, workdir):
    low, high, higher, top = (tone(os.path.join(workdir, f"{hz}.wav"), hz, 1.0)
                              for hz in (1000, 1500, 2000, 2500))
    desk.start_program([program, show(os.path.join(workdir, "show.cue"),
                                      ("Outside tone", low), ("Next cue", high, 1),
                                      ("Third cue", higher, 2), ("Fourth cue", top, 3))])
    desk.find("Outside tone", "table cell", timeout=30)
    cells = [c.name for c in desk.all(role="table cell")]
    assert "Next cue" in cells[cells.index("Outside tone"):], cells
    assert wait_for(lambda: len(desk.windows()) == 1, 20), "the intro window stayed"
    intro = sounding_runs(desk.sound())
    assert intro and intro[0][0] < 2 * RATE and intro[-1][1] - intro[0][0] > RATE, intro
    button = desk.find("Go", "push button")
    desk.point(button)
    mark = desk.frames()
    desk.xdotool("key", "space")
    assert desk.wait_frames(mark + 2 * RATE), "the output stopped running"
    assert sounding_runs(desk.sound(mark)) == [], "sound with no GO, or on a key on GO"
    go(desk, lambda: desk.click(button), 1000)
    go(desk, lambda: desk.xdotool("key", "space"), 1500)  # a key GO fires any row but the first
    go(desk, lambda: desk.xdotool("key", "Return"), 2000)  # so do Return and the keypad's Enter
    go(desk, lambda: desk.xdotool("key", "KP_Enter"), 2500)


if __name__ == "__main__":
    sys.exit(run(check))
