#!/usr/bin/env python3
"""From outside, on the built program: a cue's media chosen with Browse through the real file
dialog, an MP3 decoded to WAV after the real question, a long decoding cancelled in the
decoding window, and the markers set in the marker editor, all by accessible names with real
mouse clicks and keys.

Usage: outside_media.py PROGRAM WORKDIR. Exits 77 (skipped) when the display or the bus
cannot be started."""

import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "outside"))
import harness  # noqa: E402

SKIP = 77


def make_mp3(path, seconds, repeat=1):
    """A constant-bit-rate MP3 of `seconds`, its frames repeated `repeat` times."""
    one = path + ".one.mp3"
    subprocess.run(
        ["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
         f"aevalsrc=0.4*sin(2*PI*440*t)|0.4*sin(2*PI*660*t):s=44100:d={seconds}",
         "-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0", "-id3v2_version", "0",
         "-f", "mp3", one],
        check=True, timeout=120)
    with open(one, "rb") as f:
        frames = f.read()
    os.remove(one)
    with open(path, "wb") as f:
        for _ in range(repeat):
            f.write(frames)
    return path


def text_of(acc):
    return acc.queryText().getText(0, -1)


def wait_text(desk, acc, predicate, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = text_of(acc)
        if predicate(value):
            return value
        time.sleep(0.1)
    return text_of(acc)


def choose(desk, pid, path):
    """Browse, then the file typed into the real open dialog."""
    desk.click(desk.find("Browse", role="push button", pid=pid))
    desk.find("Open File", pid=pid)
    time.sleep(0.5)  # the dialog takes the keyboard focus in its name box
    desk.type_text(path)
    desk.key("Return")


def main(program, workdir):
    shutil.rmtree(workdir, ignore_errors=True)
    media = os.path.join(workdir, "my media")
    os.makedirs(media)
    song = make_mp3(os.path.join(media, "Song Take.2.mp3"), 2)
    long_song = make_mp3(os.path.join(media, "long.mp3"), 60, repeat=40)
    try:
        desk = harness.Desktop(os.path.join(workdir, "desktop"))
        desk.start()
    except harness.Unavailable as e:
        print(f"SKIP: {e}")
        return SKIP
    try:
        prog = desk.start_program([program, "o"])
        pid = prog.pid
        desk.click(desk.find("Insert Cue", role="push button", pid=pid, timeout=30))
        file_box = desk.find("File", role="text", pid=pid)

        # An MP3 chosen and decoded: the question is answered Yes, the WAV lands beside it
        # and becomes the cue's file.
        choose(desk, pid, song)
        desk.click(desk.find("Yes", role="push button", pid=pid))
        wav = os.path.join(media, "Song Take.wav")  # the name up to its first "."
        got = wait_text(desk, file_box, lambda t: t.endswith(".wav"))
        assert got == wav, f"the File field holds {got!r}: " + prog.log()
        assert os.path.getsize(wav) > 44, "the decoded file is empty"
        end_box = desk.find("End", role="text", pid=pid)
        assert abs(float(text_of(end_box)) - 2.0) < 0.2, text_of(end_box)

        # A long decoding cancelled in the decoding window: the warning and no file.
        choose(desk, pid, long_song)
        desk.click(desk.find("Yes", role="push button", pid=pid))
        desk.find("Decoding MP3 to WAV format.  Please Wait...", pid=pid)
        cancel = desk.find("Cancel", role="push button", pid=pid)
        time.sleep(1.0)  # past the half second before the decoder starts
        desk.click(cancel)
        got = wait_text(desk, file_box, lambda t: t == "0")
        assert got == "0", f"the File field holds {got!r} after Cancel: " + prog.log()
        assert desk.find_all("Decoding MP3 to WAV format.  Please Wait...", pid=pid) == []

        # The WAV again, then the markers in the editor: the start nudged twice by half a
        # second and written back by Done.
        choose(desk, pid, wav)
        wait_text(desk, file_box, lambda t: t == wav)
        desk.click(desk.find("Edit", role="push button", pid=pid))
        desk.find("Edit Position Markers", pid=pid)
        nudge = desk.find(".5s >", role="push button", pid=pid)
        desk.click(nudge)
        desk.click(nudge)
        desk.click(desk.find("Done", role="push button", pid=pid))
        start_box = desk.find("Start", role="text", pid=pid)
        got = wait_text(desk, start_box, lambda t: t == "1")
        assert got == "1", f"the Start field holds {got!r} after Done: " + prog.log()
        assert prog.running(), "the program ended: " + prog.log()
    finally:
        desk.close()
    print("outside media check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
