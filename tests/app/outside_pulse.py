#!/usr/bin/env python3
"""Played through a PulseAudio server on a machine whose every core is busy, cues fired by real
clicks on GO reach the server's sink whole: they overlap into one stretch of sound with no
silence of half a millisecond or more inside it, and the first starts promptly after its click.
A paplay with a 100-ms buffer plays to a sink of its own meanwhile: when it drops out too, the
server itself cannot keep up on this machine now, and the check is skipped.
Usage: outside_pulse.py PROGRAM WORKDIR"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "outside"))
from harness import RATE, SKIP, run, show, sounding_runs, tone, wait_for  # noqa: E402

DROPOUT = RATE // 2000  # frames: half a millisecond
TONES = (440, 550, 660, 880)


def silences(samples):
    """The silences of a dropout's length inside the sound, in ms."""
    runs = sounding_runs(samples, threshold=2e-3, min_gap=DROPOUT)
    return runs, [(b[0] - a[1]) * 1000 / RATE for a, b in zip(runs, runs[1:])]


def check(desk, program, workdir):
    server = desk.start_sound_server("ref")
    if not server:
        print("SKIP: no PulseAudio daemon or parec")
        sys.exit(SKIP)
    files = [tone(os.path.join(workdir, f"{hz}.wav"), hz, 3.0, 0.2) for hz in TONES]
    cues = [(f"Tone {hz}", f, n + 1) for n, (hz, f) in enumerate(zip(TONES, files))]
    desk.start_program([program, show(os.path.join(workdir, "show.cue"), *cues)], server)
    desk.find("Tone 440", "table cell", timeout=30)
    assert wait_for(lambda: len(desk.windows()) == 1, 20), "the intro window stayed"
    streams = subprocess.run(["pactl", "--server", server, "list", "sink-inputs"],
                             capture_output=True, text=True, timeout=10).stdout
    assert 'media.name = "Sorvane"' in streams, "the program does not play its own stream"
    reference = os.path.join(desk.dir, "ref.raw")
    desk.spawn(["paplay", "--server", server, "--device=ref", "--latency-msec=100",
                tone(os.path.join(workdir, "ref.wav"), 330, 20.0, 0.2)])
    load = [subprocess.Popen(["sh", "-c", "while :; do :; done"])
            for _ in range(os.cpu_count() or 1)]
    time.sleep(1)
    button = desk.find("Go", "push button")
    desk.point(button)
    mark, ref_mark = desk.frames(), os.path.getsize(reference) // 8
    clicks = []
    for _ in TONES:  # each tone 3 s, one GO about every 0.5 s: one stretch of sound
        clicks.append(desk.frames())
        desk.click(button)
        time.sleep(0.4)
    received = desk.wait_frames(clicks[-1] + 4 * RATE)
    for proc in load:
        proc.kill()
        proc.wait()
    assert received, "the sink stopped receiving"
    runs, gaps = silences(desk.sound(mark))
    assert runs, "nothing reached the sink"
    if len(runs) > 1:
        _, ref_gaps = silences(desk.sound(ref_mark, ref_mark + (runs[-1][1] + RATE), reference))
        if ref_gaps:
            print(f"SKIP: the sound server drops out on this machine now: paplay with a 100-ms "
                  f"buffer had {len(ref_gaps)} silences, the program {len(gaps)}")
            sys.exit(SKIP)
    assert len(runs) == 1, f"silences inside the sound: {['%.1f ms' % g for g in gaps]}"
    (first, end), = runs
    assert first < clicks[0] - mark + RATE, f"the first cue came {first / RATE:.3f} s late"
    seconds, clicked = (end - first) / RATE, (clicks[-1] - clicks[0]) / RATE
    assert abs(seconds - clicked - 3) < 0.5, \
        f"{seconds:.2f} s of sound for GOs over {clicked:.2f} s"


if __name__ == "__main__":
    sys.exit(run(check))
