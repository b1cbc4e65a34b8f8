#!/usr/bin/env python3
"""Fade timing on a real display, read from outside: the built program on a private X display
(Xvfb), its window shown, GO given with real key presses, the sound captured through SDL's disk
driver. A constant signal at half of full scale is played and faded from full level to silence
at speeds 9, 6 and 4; every sample then shows the gain, so each of the 100 steps is found in
the capture. The figure is the time from the first step to the last (99 step periods), with
the longest step period, with the machine as it is and with as many busy processes running as
there are half the cores (moderate load; "--loads 0,4" gives the counts).
Usage: bench_fade_on_display.py PROGRAM [--loads N,N...] [--runs N]"""

import argparse
import bisect
import multiprocessing
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "outside"))
from harness import RATE, Desktop, wait_for  # noqa: E402

SPEEDS = (9, 6, 4)


class WallClock(threading.Thread):
    """SDL's disk driver does not write in step with the wall clock (it sleeps whole
    milliseconds between buffers): the moment each frame reached the file is recorded."""

    def __init__(self, desk):
        super().__init__(daemon=True)
        self.desk, self.times, self.frames, self.running = desk, [], [], True

    def run(self):
        while self.running:
            n = self.desk.frames()
            if not self.frames or n != self.frames[-1]:
                self.times.append(time.monotonic())
                self.frames.append(n)
            time.sleep(0.0005)

    def at(self, frame):
        """The moment frame was written. A look at the file may come late (this thread is
        not always running), never early: the earliest moment that the next looks allow at
        the driver's mean rate, and not before the last look that did not see the frame."""
        rate = (self.frames[-1] - self.frames[0]) / (self.times[-1] - self.times[0])
        i = bisect.bisect_right(self.frames, frame)
        later = range(i, min(i + 20, len(self.frames)))
        best = min((self.times[j] - (self.frames[j] - frame) / rate for j in later),
                   default=self.times[-1])
        return max(best, self.times[i - 1]) if i > 0 else best


def spin():
    while True:
        pass


def level_file(path, seconds):
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    f"aevalsrc=0.5|0.5:s={RATE}:d={seconds}", "-c:a", "pcm_f32le", path],
                   check=True, timeout=60)
    return path


def write_show(path, level, rounds):
    """Per round: a looping Play of the level file, then a fade to -4000, both on GO."""
    rows = []
    for speed in rounds:
        rows.append((1, 0, level, 0, 10, 0))  # when, action, file, volume, speed, count
        rows.append((1, 4, "0", -4000, speed, 1))
    with open(path, "w", newline="") as f:
        for n, (when, action, file, volume, speed, count) in enumerate(rows):
            values = (n + 1, f"cue {n + 1}", when, action, 0, file, volume, 1, 0, 0, speed,
                      count, 0, 0)
            f.write("".join(f"{v}," for v in values) + "\r\n")
    return path


def steps(desk, first, end):
    """The frame of each of the 100 steps from full level to silence, from frame first on: the
    step to -40 k hundredths of a decibel is where the level crosses the middle of its ramp
    (the engine glides each change over 10 ms); the last, to silence, where it crosses half of
    the level before it."""
    sound = desk.sound(first, end)
    found, i = [], 0
    for k in range(1, 101):
        below = 0.5 * 10 ** (-(40 * k - 20) / 2000) if k < 100 else 0.25 * 10 ** (-3960 / 2000)
        while i < len(sound) and sound[i] >= below:
            i += 2
        if i >= len(sound):
            break
        found.append(first + i // 2)
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("program")
    ap.add_argument("--loads", default=f"0,{(os.cpu_count() or 8) // 2}")
    ap.add_argument("--runs", type=int, default=3)
    a = ap.parse_args()
    loads = [int(n) for n in a.loads.split(",")]
    rounds = [speed for _ in loads for speed in SPEEDS for _ in range(a.runs)]
    work = tempfile.mkdtemp(prefix="sorvane-fade-")
    desk = Desktop(work)
    spinners, clock = [], None
    ok = True
    try:
        if reason := desk.start():
            print("fade on a display:", reason, "- MISS")
            return 1
        show = write_show(os.path.join(work, "show.cue"),
                          level_file(os.path.join(work, "level.wav"), 20), rounds)
        desk.start_program([a.program, show])
        desk.find("cue 1", "table cell", timeout=30)
        wait_for(lambda: len(desk.windows()) == 1, 20)
        desk.point(desk.find("Go", "push button"))
        clock = WallClock(desk)
        clock.start()
        time.sleep(0.5)
        first = True
        for load, speed in ((n, s) for n in loads for s in SPEEDS):
            if speed == SPEEDS[0]:
                for s in spinners:
                    s.terminate()
                spinners = [multiprocessing.Process(target=spin, daemon=True)
                            for _ in range(load)]
                for s in spinners:
                    s.start()
            expected = 99 * ((10 - speed) * 10 + 1) / 1000
            results = []
            for _ in range(a.runs):
                desk.xdotool("click", 1) if first else desk.xdotool("key", "space")
                first = False
                time.sleep(1.0)  # the level plays at full
                mark = desk.frames()
                desk.xdotool("key", "space")
                time.sleep(expected + 1.5)
                found = steps(desk, mark, desk.frames())
                if len(found) < 2:
                    results.append(None)
                    continue
                at = [clock.at(f) for f in found]
                gaps = [b - c for c, b in zip(at, at[1:])]
                results.append((at[-1] - at[0], len(found), max(gaps)))
            good = [r for r in results if r]
            fine = len(good) == a.runs and all(abs(r[0] - expected) <= 0.05 * expected and
                                               r[1] == 100 for r in good)
            ok &= fine
            text = ", ".join(f"{r[0]:.3f} s ({r[1]} steps, longest {1000 * r[2]:.0f} ms)"
                             for r in good)
            print(f"fade on a display, speed {speed}, {load} busy processes: {text} "
                  f"target {expected:.3f} s "
                  f"+- 5 %, 100 steps {'PASS' if fine else 'MISS'}", flush=True)
    finally:
        if clock:
            clock.running = False
        for s in spinners:
            s.terminate()
        desk.close()
        shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
