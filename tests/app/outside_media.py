#!/usr/bin/env python3
"""A cue's media and markers through the real windows, with real clicks and keys: Browse of
an MP3 typed into the file dialog (quotes, "$" and ";" in its name) and decoded beside it;
the marker editor's drag, nudges, "[" during the preview, Cancel and Done; Browse with No;
a second decoding under a numbered name; Play From Here and the looped preview; and a long
decoding during which GO sounds and another decoding is refused, ended by its Cancel.
Usage: outside_media.py PROGRAM WORKDIR"""

import glob
import os
import shutil
import subprocess
import sys
import time
import wave
from contextlib import suppress
from pathlib import Path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "outside"))
from harness import RATE, frequency, run, show, sounding_runs, tone, wait_for  # noqa: E402

QUESTION = ("You have selected an MP3 file.  Because the MP3 file format requires decoding for "
            "playback, a slight delay can occur before playing begins.\r\n\r\nWould you like to "
            "convert this file to WAV format to eliminate the possibility of this delay?")
DECODING = "Decoding MP3"
EDITOR = "Edit Position Markers"


def near(a, b, within):
    return abs(float(a) - float(b)) <= within


def encode(lame, wav, mp3, *options):
    """An MP3 without the encoder's information frame, so that copies joined make one stream."""
    subprocess.run([lame, "--quiet", "-t", *options, wav, mp3], check=True, timeout=60)
    return mp3


def decoders(desk):
    """The program's running lame children."""
    found = []
    for path in glob.glob("/proc/[0-9]*/stat"):
        with suppress(OSError), open(path) as f:
            head, tail = f.read().rsplit(")", 1)
            state, parent = tail.split()[:2]
            if head.endswith("(lame") and parent == str(desk.proc.pid) and state != "Z":
                found.append(path)
    return found


def heard(desk, mark):
    """The seconds of sound since frame mark, checked to be the 440 Hz tone."""
    sound = desk.sound(mark)
    runs = sounding_runs(sound)
    assert runs, "no sound came out"
    pitch = frequency(sound, runs[0][0], runs[-1][1])
    assert near(pitch, 440, 5), f"a 440 Hz file sounds at {pitch} Hz"
    return sum(b - a for a, b in runs) / RATE


def answer(desk, title, button):
    """Answers the message box with that button; the box's text."""
    box = desk.window(title, "alert")
    text = max((a.name for a in desk.all(role="label", root=box)), key=len)
    desk.press(button, box)
    return text


def select(desk, cue):
    desk.click(desk.find(cue, "table cell"))
    desk.expect_field("Cue Description", cue)


def browse(desk, path, reply):
    """Browse, the path typed into the file dialog, and the reply to the MP3 question."""
    desk.press("Browse")
    name_box = desk.find("File name:", "text", desk.window("Open File"))
    desk.click(name_box)
    desk.xdotool("type", "--delay", "20", path)
    desk.xdotool("key", "Return")
    if not desk.gone("Open File", timeout=3):
        desk.xdotool("key", "Return")  # the first one closed a completion list
    assert desk.gone("Open File"), f"the file dialog did not take {path!r}"
    assert answer(desk, "Select File", reply) == QUESTION


def decode(desk, mp3, wav):
    """Browse with Yes: the decoding window comes and goes; the WAV's seconds."""
    browse(desk, mp3, "Yes")
    desk.window(DECODING, timeout=10)
    assert desk.gone(DECODING, timeout=30), "the decoding window stayed"
    desk.expect_field("File", wav)
    with wave.open(wav) as w:
        return w.getnframes() / w.getframerate()


def open_editor(desk, wav, end):
    desk.press("Edit")
    editor = desk.window(EDITOR)
    labels = [a.name for a in desk.all(role="label", root=editor)]
    assert wav in labels and f"{round(end, 3):.15g} s" in labels, f"the editor shows {labels}"
    return editor


def marker(desk, editor, which):
    """The seconds the marker's caption ("Start: 0.5 s") shows."""
    caption = [a.name for a in desk.all(role="label", root=editor)
               if a.name.startswith(which + ": ")]
    assert len(caption) == 1 and caption[0].endswith(" s"), caption
    return float(caption[0][len(which) + 2:-2])


def wait_marker(desk, editor, which, seconds):
    assert wait_for(lambda: near(marker(desk, editor, which), seconds, 1e-9), 5), \
        f"the {which} marker is at {marker(desk, editor, which)} s, not {seconds} s"


def edit(desk, wav, end):
    editor = open_editor(desk, wav, end)
    wait_marker(desk, editor, "Start", 0)
    graph_x, _, graph_width, _ = desk.extents(desk.find("Waveform", root=editor))
    handle = desk.find("Start Marker", root=editor)
    target = round((graph_width - 6) / 4)  # the marker moves over the graph less 6 pixels
    x, y = desk.centre(handle)
    desk.point(x, y)
    desk.xdotool("mousedown", 1)
    for i in range(1, 9):
        desk.point(round(x + (graph_x + target - x) * i / 8), y)
    time.sleep(0.25)
    desk.xdotool("mouseup", 1)
    dragged = round(end * target / (graph_width - 6), 4)
    wait_marker(desk, editor, "Start", dragged)
    assert desk.extents(handle)[0] - graph_x == target, "the marker is not where it was dropped"
    desk.press(".5s >", editor)
    wait_marker(desk, editor, "Start", dragged + 0.5)
    desk.press("Cancel", editor)
    assert desk.gone(EDITOR), "Cancel left the editor open"
    assert desk.field("Start") == "0" and float(desk.field("End")) == end, "Cancel wrote"

    editor = open_editor(desk, wav, end)
    desk.press(".5s >", editor)
    wait_marker(desk, editor, "Start", 0.5)
    mark = desk.frames()
    desk.press("Play", editor)
    desk.find("Stop", "push button", editor, timeout=5)
    time.sleep(0.6)
    desk.xdotool("key", "bracketleft")  # to Text1, which holds the focus after a preview click
    wait_for(lambda: marker(desk, editor, "Start") != 0.5, 5)
    start = marker(desk, editor, "Start")
    assert 0.8 <= start < end, f'"[" 0.6 s into a preview from 0.5 s set the start to {start}'
    desk.find("Play", "push button", editor, timeout=10)  # the preview ends at the end marker
    assert near(heard(desk, mark), end - 0.5, 0.25), "the preview did not play to the end"
    desk.click(desk.find("End Position", "radio button", editor))
    desk.press("< .5s", editor)
    wait_marker(desk, editor, "End", end - 0.5)
    desk.press("Done", editor)
    assert desk.gone(EDITOR), "Done left the editor open"
    wait_for(lambda: desk.field("Start") != "0", 10)
    assert near(desk.field("Start"), start, 5e-4) and near(desk.field("End"), end - 0.5, 1e-9)


def preview(desk, wav, end):
    editor = open_editor(desk, wav, end)
    wait_marker(desk, editor, "Start", 0)
    wait_marker(desk, editor, "End", end)
    x, y, width, height = desk.extents(desk.find("Waveform", root=editor))
    desk.point(x + width // 2, y + height // 2)
    mark = desk.frames()
    desk.xdotool("click", 3)
    time.sleep(0.2)
    desk.xdotool("key", "Down", "Return")  # Qt keeps pop-up menus off the bus: the item by keys
    desk.find("Stop", "push button", editor, timeout=5)
    desk.find("Play", "push button", editor, timeout=10)
    desk.wait_frames(desk.frames() + RATE // 4, 5)
    # From 70 twips right of the click, on a graph as wide as the file, to the end.
    position = end * (width // 2 * 15 + 70) / (width * 15)
    assert near(heard(desk, mark), end - position, 0.25), f"Play From Here at {position:.3f} s"

    desk.click(desk.find("Loop", "check box", editor))
    desk.press("Play", editor)
    desk.find("Buffering...", "label", editor, timeout=3)
    quiet = desk.frames()
    desk.wait_frames(quiet + RATE * 4 // 10, 5)
    assert sounding_runs(desk.sound(quiet, quiet + RATE * 4 // 10)) == [], "the pre-roll sounded"
    assert wait_for(lambda: not desk.all("Buffering...", "label", editor), 5), "still buffering"
    loud = desk.frames()
    desk.wait_frames(loud + 3 * RATE, 10)  # longer than the file: it loops
    runs = sounding_runs(desk.sound(loud), min_gap=RATE // 5)
    assert runs and runs[-1][1] - runs[0][0] > 2.5 * RATE, f"the loop stopped: {runs}"
    desk.press("Stop", editor)
    desk.find("Play", "push button", editor, timeout=5)
    desk.press("Cancel", editor)
    assert desk.gone(EDITOR), "Cancel left the editor open"


def cancel(desk, long_mp3, mp3):
    browse(desk, long_mp3, "Yes")
    window = desk.window(DECODING, timeout=10)
    lame = wait_for(lambda: decoders(desk), 10, step=0.02)
    assert lame, "no decoder started"
    before = set(os.listdir(os.path.dirname(mp3))) | {"Long night.wav"}
    browse(desk, mp3, "Yes")
    desk.find("An MP3 file is being decoded already.  Please wait until it is done.", "label")
    assert set(os.listdir(os.path.dirname(mp3))) | {"Long night.wav"} == before
    assert decoders(desk) == lame, "a second decoding ran"
    seen = set()
    wait_for(lambda: seen.update(desk.extents(a)[0] for a in desk.all(role="filler", root=window)
                                 if a.childCount == 6) or len(seen) >= 3, 3, step=0.05)
    assert len(seen) >= 3, f"the decoding window's squares stand still at {seen}"
    mark = desk.frames()
    desk.press("Go")
    desk.wait_frames(mark + RATE, 10)
    heard(desk, mark)
    assert decoders(desk), "the decoder ended before Cancel could be pressed"
    desk.press("Cancel", window)
    assert desk.gone(DECODING), "Cancel left the decoding window open"
    assert wait_for(lambda: not decoders(desk), 10), "the decoder still runs after Cancel"
    desk.find("Warning!  Converting process was canceled by user!  File cannot be loaded.",
              "label")
    desk.expect_field("File", "0")
    desk.press("Edit")
    assert answer(desk, "Sorvane", "OK") == "You must first select a valid media file above."
    assert desk.gone(EDITOR, timeout=0), "Edit opened the editor with no media file"


def check(desk, program, workdir):
    lame = os.path.join(os.path.dirname(os.path.abspath(program)), "lame")
    lame = lame if os.access(lame, os.X_OK) else shutil.which("lame")
    media = os.path.join(workdir, "Act 'one' \"storm\"")
    os.makedirs(media)
    sine = tone(os.path.join(workdir, "tone.wav"), 440, 2.0)
    mp3 = encode(lame, sine, os.path.join(media, "Ben's \"big\" wind $HOME; take.2.mp3"))
    wav = mp3[:-len(".2.mp3")] + ".wav"
    # Six hours of MP3: the decoder is still running when Cancel is pressed.
    piece = tone(os.path.join(workdir, "piece.wav"), 330, 10.0, 0.3)
    piece = encode(lame, piece, os.path.join(workdir, "piece.mp3"), "-b", "32", "-m", "m")
    long_mp3 = os.path.join(media, "Long night.mp3")
    Path(long_mp3).write_bytes(Path(piece).read_bytes() * 2160)
    desk.start_program([program, show(os.path.join(workdir, "show.cue"), *(
        (cue, sine, 0, 2) for cue in ("Decoded cue", "Taken cue", "Cancelled cue")))])
    desk.find("Decoded cue", "table cell", timeout=30)
    assert wait_for(lambda: len(desk.windows()) == 1, 20), "the intro window stayed"

    select(desk, "Decoded cue")
    seconds = decode(desk, mp3, wav)
    assert os.path.isfile(mp3) and near(seconds, 2.0, 0.1), f"a 2 s MP3 gave {seconds} s"
    assert desk.field("Start") == "0" and near(desk.field("End"), seconds, 0.005)
    assert desk.all(os.path.basename(wav), "table cell"), "the cue's row does not show the WAV"
    edit(desk, wav, float(desk.field("End")))

    # Browse with No: the MP3 itself, nothing decoded.
    select(desk, "Taken cue")
    before = set(os.listdir(media))
    browse(desk, mp3, "No")
    desk.expect_field("File", mp3)
    assert desk.field("Start") == "0" and near(desk.field("End"), 2.0, 0.1)
    assert desk.gone(DECODING, timeout=0) and set(os.listdir(media)) == before, "No decoded"
    # Yes once more: the WAV there is kept, the new one takes the next numbered name.
    first = Path(wav).read_bytes()
    second = wav[:-len(".wav")] + " (2).wav"
    assert near(decode(desk, mp3, second), seconds, 1e-6)
    assert Path(wav).read_bytes() == first, "the WAV already there was written over"
    preview(desk, second, float(desk.field("End")))

    select(desk, "Cancelled cue")
    cancel(desk, long_mp3, mp3)


if __name__ == "__main__":
    sys.exit(run(check))
