#!/usr/bin/env python3
"""A cue's media and markers through the real windows, with real clicks and keys: Browse of an
MP3 typed into the file dialog (quotes, "$" and ";" in its name) and decoded beside it; the
marker editor's keys as soon as it opens, a right-click on a marker, the drag, nudges, "[" during
the preview and after "Play From Here", Cancel and Done; a long decoding during which GO sounds
and selects the next cue, ended by its Cancel. What each step leaves is read from the cues.
Usage: outside_media.py PROGRAM WORKDIR"""

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

DECODING = "Decoding MP3"
EDITOR = "Edit Position Markers"


def near(a, b, within):
    return abs(float(a) - float(b)) <= within


def encode(lame, wav, mp3, *options):
    """An MP3 without the encoder's information frame, so that copies joined make one stream."""
    subprocess.run([lame, "--quiet", "-t", *options, wav, mp3], check=True, timeout=60)
    return mp3


def decoders(desk):
    """The program's running lame children (started from its main thread)."""
    found = []
    for kid in Path(f"/proc/{desk.proc.pid}/task/{desk.proc.pid}/children").read_text().split():
        with suppress(OSError):
            name, state = Path(f"/proc/{kid}/stat").read_text().split()[1:3]
            found += [kid] if name == "(lame)" and state != "Z" else []
    return found


def heard(desk, mark):
    """The seconds of sound since frame mark, checked to be the 440 Hz tone."""
    sound = desk.sound(mark)
    runs = sounding_runs(sound)
    assert runs, "no sound came out"
    pitch = frequency(sound, runs[0][0], runs[-1][1])
    assert near(pitch, 440, 5), f"a 440 Hz file sounds at {pitch} Hz"
    return sum(b - a for a, b in runs) / RATE


def browse(desk, path):
    """Browse, the path typed into the file dialog, and Yes to the MP3 question."""
    desk.click("Browse")
    desk.click("File name:", "text", desk.window("Open File"))
    desk.xdotool("type", "--delay", "20", path)
    desk.xdotool("key", "Return")
    if not desk.gone("Open File", timeout=3):
        desk.xdotool("key", "Return")  # the first one closed a completion list
    assert desk.gone("Open File"), f"the file dialog did not take {path!r}"
    box = desk.window("Select File", "alert")
    assert any("MP3" in a.name for a in desk.all(role="label", root=box)), "not the MP3 question"
    desk.click("Yes", root=box)


def cue(desk, description):
    """The cue's file, start and end as the list holds them: a click on its row loads them."""
    desk.click(description, "table cell")
    desk.expect_field("Cue Description", description)
    return desk.field("File"), float(desk.field("Start")), float(desk.field("End"))


def open_editor(desk, wav, end):
    desk.click("Edit")
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


def centre(desk, acc):
    x, y, width, height = desk.extents(acc)
    return x + width // 2, y + height // 2


def edit(desk, wav, end):
    editor = open_editor(desk, wav, end)
    wait_marker(desk, editor, "Start", 0)
    desk.xdotool("key", "bracketright")  # the keys work from the start: the end to 0 s
    wait_marker(desk, editor, "End", 0)
    desk.click("End Position", "radio button", editor)
    for _ in range(3):
        desk.click(".5s >", root=editor)
    wait_marker(desk, editor, "End", 1.5)
    desk.click("Start Position", "radio button", editor)
    graph_x, _, graph_width, _ = desk.extents(desk.find("Waveform", root=editor))
    target = round((graph_width - 6) / 4)  # the marker moves over the graph less 6 pixels
    handle = desk.find("Start Marker", root=editor)
    # A right-click on a marker opens the menu at the pointer and moves no marker, not even
    # while the pointer moves on with the menu open.
    x, y = centre(desk, handle)
    desk.point((x, y))
    desk.xdotool("click", 3)
    desk.point((x + target, y))
    time.sleep(0.3)
    desk.point((x + 30, y + 10))
    desk.xdotool("click", 1)  # "Play From Here", the menu's only item
    desk.find("Stop", "push button", editor, timeout=5)
    assert marker(desk, editor, "Start") == 0, "a right-click on the marker dragged it"
    desk.xdotool("key", "bracketleft")  # the keys work after "Play From Here"
    assert wait_for(lambda: marker(desk, editor, "Start") != 0, 5), '"[" did nothing'
    assert 0 < marker(desk, editor, "Start") < 1.5
    desk.click("Stop", root=editor)
    desk.find("Play", "push button", editor, timeout=5)
    x, y = centre(desk, handle)
    desk.point((x, y))
    desk.xdotool("mousedown", 1)
    for i in range(1, 9):
        desk.point((round(x + (graph_x + target - x) * i / 8), y))
    time.sleep(0.25)
    desk.xdotool("mouseup", 1)
    dragged = round(end * target / (graph_width - 6), 4)
    wait_marker(desk, editor, "Start", dragged)
    assert desk.extents(handle)[0] - graph_x == target, "the marker is not where it was dropped"
    desk.click(".5s >", root=editor)
    wait_marker(desk, editor, "Start", dragged + 0.5)
    desk.click("Cancel", root=editor)
    assert desk.gone(EDITOR), "Cancel left the editor open"
    assert cue(desk, "Decoded cue") == (wav, 0, end), "Cancel wrote into the cue"

    editor = open_editor(desk, wav, end)
    desk.click(".5s >", root=editor)
    wait_marker(desk, editor, "Start", 0.5)
    mark = desk.frames()
    desk.click("Play", root=editor)
    desk.find("Stop", "push button", editor, timeout=5)
    time.sleep(0.6)
    desk.xdotool("key", "bracketleft")  # to Text1, which holds the focus after a preview click
    wait_for(lambda: marker(desk, editor, "Start") != 0.5, 5)
    start = marker(desk, editor, "Start")
    assert 0.8 <= start < end, f'"[" 0.6 s into a preview from 0.5 s set the start to {start}'
    desk.find("Play", "push button", editor, timeout=10)  # the preview ends at the end marker
    assert near(heard(desk, mark), end - 0.5, 0.25), "the preview did not play to the end"
    desk.click("End Position", "radio button", editor)
    desk.click("< .5s", root=editor)
    wait_marker(desk, editor, "End", end - 0.5)
    desk.click("Done", root=editor)
    assert desk.gone(EDITOR), "Done left the editor open"
    got = cue(desk, "Decoded cue")
    assert got[0] == wav and near(got[1], start, 5e-4) and near(got[2], end - 0.5, 1e-9), got


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
        (name, sine, 0, 2) for name in ("Decoded cue", "Cancelled cue", "Third cue")))])
    desk.find("Decoded cue", "table cell", timeout=30)
    assert wait_for(lambda: len(desk.windows()) == 1, 20), "the intro window stayed"

    browse(desk, mp3)  # the first cue is selected at start
    desk.window(DECODING, timeout=10)
    assert desk.gone(DECODING, timeout=30), "the decoding window stayed"
    with wave.open(wav) as w:
        seconds = w.getnframes() / w.getframerate()
    assert os.path.isfile(mp3) and near(seconds, 2.0, 0.1), f"a 2 s MP3 gave {seconds} s"
    file, start, end = cue(desk, "Decoded cue")
    assert file == wav and start == 0 and near(end, seconds, 0.005), (file, start, end)
    assert desk.all(os.path.basename(wav), "table cell"), "the cue's row does not show the WAV"
    edit(desk, wav, end)

    desk.click("Cancelled cue", "table cell")
    desk.expect_field("Cue Description", "Cancelled cue")
    browse(desk, long_mp3)
    window = desk.window(DECODING, timeout=10)
    assert wait_for(lambda: decoders(desk), 10, step=0.02), "no decoder started"
    seen = set()
    wait_for(lambda: seen.update(desk.extents(a)[0] for a in desk.all(role="filler", root=window)
                                 if a.childCount == 6) or len(seen) >= 3, 3, step=0.05)
    assert len(seen) >= 3, f"the decoding window's squares stand still at {seen}"
    mark = desk.frames()
    desk.click("Go")  # plays the cue and selects the next one
    desk.wait_frames(mark + RATE, 10)
    heard(desk, mark)
    assert decoders(desk), "the decoder ended before Cancel could be pressed"
    desk.click("Cancel", root=window)
    assert desk.gone(DECODING), "Cancel left the decoding window open"
    assert wait_for(lambda: not decoders(desk), 2), "the decoder still runs after Cancel"
    desk.find("Warning!  Converting process was canceled by user!  File cannot be loaded.",
              "label")
    assert not os.path.exists(long_mp3[:-4] + ".wav"), "Cancel left the half-written WAV"
    for name in ("Third cue", "Cancelled cue"):
        assert cue(desk, name) == (sine, 0, 2), f"Cancel wrote into {name!r}"
    assert cue(desk, "Decoded cue")[0] == wav


if __name__ == "__main__":
    sys.exit(run(check))
