"""Test media and shows for the checks from outside, made at run time."""

import os
import subprocess


def make_tone(path, hz, seconds, rate=48000, level=0.5):
    """A stereo sine of `hz` at `level`, `seconds` long, as a 16-bit WAV (made by ffmpeg)."""
    subprocess.run(
        ["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
         f"aevalsrc={level}*sin(2*PI*{hz}*t)|{level}*sin(2*PI*{hz}*t):s={rate}:d={seconds}",
         "-c:a", "pcm_s16le", path],
        check=True, timeout=60)
    return path


def cue_line(number, description, when=0, action=0, action_cue=0, file="0", volume=0,
             rate=1, begin_on=0, channel=0, speed=10, count=1, start=0, end=0):
    """One line of a text show file: the row text and the 13 values, each followed by ","."""
    fields = [number, description, when, action, action_cue, file, volume, rate, begin_on,
              channel, speed, count, start, end]
    return "".join(f"{f}," for f in fields) + "\r\n"


def write_show(path, lines):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write("".join(lines))
    return path
