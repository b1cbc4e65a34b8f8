#!/usr/bin/env python3
"""From outside, on the built program: the choice of a cue's media and its position markers,
driven as an operator drives them, through the real windows found by their accessible names,
with real mouse clicks and keys.

- Browse, an MP3 typed into the real file dialog (its folder and name hold blanks, double and
  single quotes, "$" and ";"), Yes to the decoding: the decoding window comes and goes, the
  WAV lands beside the MP3 under the first part of its name, and the panel's File, Start and
  End hold its path and length.
- Edit on that cue: the marker editor with its controls; a drag of the start marker and a
  nudge, then Cancel, write nothing; a nudge, the preview with "[" while it plays, an end
  nudge and Done write both markers.
- Browse with No: the MP3 itself is taken and nothing is decoded; with Yes once more, the WAV
  already there is kept and the new one is "... (2).wav". In the editor on it, a right-click
  on the graph and Play From Here play from there to the end; Loop plays a muted second
  with "Buffering..." shown, then goes round past the file's end until Stop.
- Browse of a long MP3 with Yes: the decoding window's squares move and GO fires a cue that
  sounds while the decoder runs, and a second decoding is refused meanwhile; its Cancel
  ends the decoder, the yellow warning shows and the File field holds "0"; Edit then says
  there is no media file.

Usage: outside_media.py PROGRAM WORKDIR. Exits 77 (skipped) when the display or the bus
cannot be started."""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "outside"))
import harness  # noqa: E402
import media_steps as ms  # noqa: E402
import showmaker  # noqa: E402

QUESTION = ("You have selected an MP3 file.  Because the MP3 file format requires decoding for "
            "playback, a slight delay can occur before playing begins.\r\n\r\nWould you like to "
            "convert this file to WAV format to eliminate the possibility of this delay?")
CANCELED = "Warning!  Converting process was canceled by user!  File cannot be loaded."
DECODING = "Decoding MP3"
EDITOR = "Edit Position Markers"
NUDGES = ["< .5s", "< .1s", ".1s >", ".5s >", "< .05s", ".05s >"]
NO_MEDIA = "You must first select a valid media file above."
BUSY = "An MP3 file is being decoded already.  Please wait until it is done."


def close(a, b, within):
    return abs(float(a) - float(b)) <= within


def select_cue(desk, pid, description):
    desk.click(desk.find(description, role="table cell", pid=pid))
    got = ms.wait_field(desk, "Cue Description", pid, lambda t: t == description)
    assert got == description, f"the panel shows cue {got!r}, not {description!r}"


def browse(desk, pid, path, reply):
    """Browse, the path typed into the file dialog, and the reply to the MP3 question."""
    desk.click(desk.find("Browse", role="push button", pid=pid))
    ms.choose_file(desk, pid, path)
    question = ms.answer(desk, pid, "Select File", reply)
    assert question == QUESTION, f"the MP3 question reads {question!r}"


def marker_caption(desk, editor, which):
    captions = [n for n in ms.names_in(desk, editor, "label") if n.startswith(which + ": ")]
    assert len(captions) == 1, f"marker captions: {captions}"
    return captions[0]


def caption_seconds(desk, editor, which):
    """The seconds a marker's caption ("Start: 0.5 s") shows."""
    text = marker_caption(desk, editor, which)
    assert text.endswith(" s"), text
    return float(text[len(which) + 2:-2])


def wait_caption(desk, editor, which, seconds):
    harness._wait_for(lambda: close(caption_seconds(desk, editor, which), seconds, 1e-9), 5,
                      step=0.1)
    got = caption_seconds(desk, editor, which)
    assert close(got, seconds, 1e-9), f"the {which} marker is at {got} s, not {seconds} s"


def open_editor(desk, pid, file_text, length_text):
    desk.click(desk.find("Edit", role="push button", pid=pid))
    editor = ms.window(desk, EDITOR, pid)
    buttons = ms.names_in(desk, editor, "push button")
    for caption in ["Set Start", "Set End", *NUDGES, "Play", "Done", "Cancel"]:
        assert caption in buttons, f"the editor lacks {caption!r}: {buttons}"
    options = ms.names_in(desk, editor, "radio button")
    assert options == ["Start Position", "End Position"], options
    assert ms.names_in(desk, editor, "check box") == ["Loop"]
    labels = ms.names_in(desk, editor, "label")
    for caption in [EDITOR, "File:", file_text, "0.00 s", length_text, "Set Markers", "Nudge",
                    "Controls", "Preview:"]:
        assert caption in labels, f"the editor lacks the label {caption!r}: {labels}"
    ms.find_in(desk, editor, "Waveform")
    return editor


def check_decoding(desk, prog, cue, mp3, wav):
    """Browse with Yes: the decoding window comes and goes, and the WAV is the cue's file."""
    pid = prog.pid
    select_cue(desk, pid, cue)
    assert not os.path.exists(wav)
    browse(desk, pid, mp3, "Yes")
    window = ms.window(desk, DECODING, pid, 10)
    ms.find_in(desk, window, "Decoding MP3 to WAV format.  Please Wait...", role="label")
    ms.find_in(desk, window, "Cancel", role="push button")
    assert ms.wait_gone(desk, DECODING, pid, 30), "the decoding window stayed"

    file_text = ms.wait_field(desk, "File", pid, lambda t: t == wav)
    assert file_text == wav, f"the File field holds {file_text!r}, not the WAV {wav!r}"
    assert os.path.isfile(mp3), "the MP3 is gone"
    seconds = ms.wav_seconds(wav)
    assert close(seconds, 2.0, 0.1), f"the WAV holds {seconds} s of a 2 s MP3"
    assert ms.field(desk, "Start", pid) == "0"
    end = ms.field(desk, "End", pid)
    assert close(end, seconds, 0.005), f"End is {end!r}; the WAV is {seconds} s"
    # The cue holds it: its row shows the WAV's name.
    assert desk.find_all(os.path.basename(wav), role="table cell", pid=pid), \
        "the cue's row does not show the WAV"
    return float(end)


def check_editor(desk, prog, wav, end):
    pid = prog.pid
    length_text = f"{round(end, 3):.15g} s"

    # The start marker dragged a quarter along the graph, a nudge, then Cancel: nothing
    # reaches the panel.
    editor = open_editor(desk, pid, wav, length_text)
    wait_caption(desk, editor, "Start", 0)
    graph_x, _, graph_width, _ = ms.extents(desk, ms.find_in(desk, editor, "Waveform"))
    marker = ms.find_in(desk, editor, "Start Marker")
    target = round((graph_width - 6) / 4)  # the usable width is the graph's less 6 pixels
    ms.drag(desk, marker, graph_x + target, desk.centre(marker)[1])
    dragged = round(end * target / (graph_width - 6), 4)
    wait_caption(desk, editor, "Start", dragged)
    got = ms.extents(desk, marker)[0] - graph_x
    assert got == target, f"the start marker stands {got} px along the graph, not {target}"
    desk.click(ms.find_in(desk, editor, ".5s >", role="push button"))
    wait_caption(desk, editor, "Start", dragged + 0.5)
    desk.click(ms.find_in(desk, editor, "Cancel", role="push button"))
    assert ms.wait_gone(desk, EDITOR, pid, 10), "Cancel left the editor open"
    assert ms.field(desk, "Start", pid) == "0", "Cancel wrote the start marker"
    assert float(ms.field(desk, "End", pid)) == end, "Cancel wrote the end marker"

    # A nudge, the preview with "[" while it plays, an end nudge, then Done.
    editor = open_editor(desk, pid, wav, length_text)
    desk.click(ms.find_in(desk, editor, ".5s >", role="push button"))
    wait_caption(desk, editor, "Start", 0.5)
    mark = prog.frames()
    desk.click(ms.find_in(desk, editor, "Play", role="push button"))
    ms.find_in(desk, editor, "Stop", role="push button", timeout=5)
    time.sleep(0.6)
    desk.key("bracketleft")  # to Text1, which holds the focus after a preview click
    harness._wait_for(lambda: caption_seconds(desk, editor, "Start") != 0.5, 5)
    start = caption_seconds(desk, editor, "Start")
    assert 0.8 <= start < end, \
        f'"[" 0.6 s into a preview from 0.5 s set the start marker to {start}'
    # A one-time preview ends by itself at the end marker, and the button says Play again.
    ms.find_in(desk, editor, "Play", role="push button", timeout=10)
    sound = prog.sound(mark)
    runs = harness.sounding_runs(sound)
    assert runs, "the preview made no sound"
    heard = sum(b - a for a, b in runs) / harness.RATE
    assert close(heard, end - 0.5, 0.25), f"a preview from 0.5 s to {end} s sounded {heard} s"
    pitch = harness.frequency(sound, runs[0][0], runs[-1][1])
    assert close(pitch, 440, 5), f"the preview of a 440 Hz file sounds at {pitch} Hz"

    desk.click(ms.find_in(desk, editor, "End Position", role="radio button"))
    desk.click(ms.find_in(desk, editor, "< .5s", role="push button"))
    wait_caption(desk, editor, "End", end - 0.5)
    desk.click(ms.find_in(desk, editor, "Done", role="push button"))
    assert ms.wait_gone(desk, EDITOR, pid, 10), "Done left the editor open"
    got = ms.wait_field(desk, "Start", pid, lambda t: t != "0")
    assert close(got, start, 0.0005), f"Done wrote Start {got!r}; the editor showed {start}"
    got = ms.field(desk, "End", pid)
    assert close(got, end - 0.5, 1e-9), f"Done wrote End {got!r}, not {end - 0.5}"


def check_preview(desk, prog, wav, end):
    """Play From Here by a right-click on the graph, and the looped preview with its muted
    pre-roll, on a cue whose markers are the whole file."""
    pid = prog.pid
    editor = open_editor(desk, pid, wav, f"{round(end, 3):.15g} s")
    wait_caption(desk, editor, "Start", 0)
    wait_caption(desk, editor, "End", end)
    graph = ms.find_in(desk, editor, "Waveform")
    graph_x, graph_y, graph_width, graph_height = ms.extents(desk, graph)
    click_px = graph_width // 2
    desk._xdotool("mousemove", str(graph_x + click_px), str(graph_y + graph_height // 2))
    time.sleep(0.05)
    mark = prog.frames()
    desk._xdotool("click", "3")
    # Qt keeps pop-up menus off the accessibility bus: the menu's one item is chosen with the
    # keys, as an operator may.
    time.sleep(0.2)
    desk.key("Down")
    desk.key("Return")
    ms.find_in(desk, editor, "Stop", role="push button", timeout=5)
    # From the click (the graph's full width, 70 twips to the right) to the end, once.
    position = end * (click_px * 15 + 70) / (graph_width * 15)
    assert ms.find_in(desk, editor, "Play", role="push button", timeout=10)
    prog.wait_for_frames(prog.frames() + harness.RATE // 4, 5)
    runs = harness.sounding_runs(prog.sound(mark))
    heard = sum(b - a for a, b in runs) / harness.RATE
    assert close(heard, end - position, 0.25), \
        f"Play From Here at {position:.3f} s of {end:.3f} s sounded {heard} s"

    # Loop: a second of muted play before the end marker with "Buffering..." shown, then the
    # loop sounds until Stop.
    desk.click(ms.find_in(desk, editor, "Loop", role="check box"))
    desk.click(ms.find_in(desk, editor, "Play", role="push button"))
    ms.find_in(desk, editor, "Buffering...", role="label", timeout=3)
    quiet_from = prog.frames()
    prog.wait_for_frames(quiet_from + harness.RATE * 4 // 10, 5)
    pre_roll = harness.sounding_runs(prog.sound(quiet_from, quiet_from + harness.RATE * 4 // 10))
    assert pre_roll == [], f"the pre-roll sounded: {pre_roll}"
    assert harness._wait_for(
        lambda: not ms.names_in(desk, editor, "label").count("Buffering..."), 5), \
        '"Buffering..." stayed'
    loud_from = prog.frames()
    prog.wait_for_frames(loud_from + harness.RATE * 3, 10)  # longer than the file: it loops
    runs = harness.sounding_runs(prog.sound(loud_from), min_gap=harness.RATE // 5)
    assert runs and runs[-1][1] - runs[0][0] > 2.5 * harness.RATE, \
        f"the looped preview did not go on past the file's end: {runs}"
    desk.click(ms.find_in(desk, editor, "Stop", role="push button"))
    ms.find_in(desk, editor, "Play", role="push button", timeout=5)
    desk.click(ms.find_in(desk, editor, "Cancel", role="push button"))
    assert ms.wait_gone(desk, EDITOR, pid, 10), "Cancel left the editor open"


def check_taken(desk, prog, cue, mp3):
    """Browse with No: the MP3 itself is the cue's file and nothing is decoded."""
    pid = prog.pid
    folder = os.path.dirname(mp3)
    before = sorted(os.listdir(folder))
    select_cue(desk, pid, cue)
    browse(desk, pid, mp3, "No")
    file_text = ms.wait_field(desk, "File", pid, lambda t: t == mp3)
    assert file_text == mp3, f"the File field holds {file_text!r}, not the MP3"
    assert all(name != DECODING for _, name in ms.windows(desk, pid))
    assert ms.field(desk, "Start", pid) == "0"
    end = ms.field(desk, "End", pid)
    assert close(end, 2.0, 0.1), f"End is {end!r} for a 2 s MP3"
    assert sorted(os.listdir(folder)) == before, "No decoded anyway"


def check_taken_name(desk, prog, mp3, wav):
    """Yes once more for the same MP3: the WAV already there is kept and the new one takes
    the first free numbered name."""
    pid = prog.pid
    with open(wav, "rb") as f:
        first = f.read()
    browse(desk, pid, mp3, "Yes")
    ms.window(desk, DECODING, pid, 10)
    assert ms.wait_gone(desk, DECODING, pid, 30), "the decoding window stayed"
    second = wav[:-len(".wav")] + " (2).wav"
    got = ms.wait_field(desk, "File", pid, lambda t: t == second)
    assert got == second, f"the File field holds {got!r}, not {second!r}"
    with open(wav, "rb") as f:
        assert f.read() == first, "the WAV already there was written over"
    assert close(ms.wav_seconds(second), ms.wav_seconds(wav), 1e-6)
    return second


def strip_left(desk, window):
    """Where the decoding window's strip of squares is: the child of its grey track."""
    for acc in desk._walk(window):
        if acc.getRoleName() == "filler" and acc.childCount == 6:
            return ms.extents(desk, acc)[0]
    raise LookupError("the decoding window has no strip of six squares")


def check_cancel(desk, prog, cue, long_mp3, mp3):
    """Cancel in the decoding window while the decoder runs."""
    pid = prog.pid
    select_cue(desk, pid, cue)
    browse(desk, pid, long_mp3, "Yes")
    window = ms.window(desk, DECODING, pid, 10)
    decoders = harness._wait_for(lambda: ms.children_named(pid, "lame"), 10, step=0.02)
    assert decoders, "no decoder started"
    # A second decoding asked for meanwhile is refused with a word on the status line; the
    # first goes on.
    def others():  # the folder's files but the one being decoded
        return sorted(set(os.listdir(os.path.dirname(mp3))) - {"Long night.wav"})
    before = others()
    browse(desk, pid, mp3, "Yes")
    desk.find(BUSY, role="label", pid=pid, timeout=10)
    assert ms.children_named(pid, "lame") == decoders, "the running decoder was replaced"
    assert others() == before, "a second decoding ran"
    # The animation runs while the decoder does.
    seen = {strip_left(desk, window)}
    harness._wait_for(lambda: seen.add(strip_left(desk, window)) or len(seen) >= 3, 3)
    assert len(seen) >= 3, f"the strip of squares stands still at {seen}"
    # The main window takes clicks meanwhile: GO fires the selected cue, which sounds.
    mark = prog.frames()
    desk.click(desk.find("Go", role="push button", pid=pid))
    prog.wait_for_frames(mark + harness.RATE, 10)
    sound = prog.sound(mark)
    runs = harness.sounding_runs(sound)
    assert runs, "GO fired nothing while the decoder ran"
    pitch = harness.frequency(sound, runs[0][0], runs[-1][1])
    assert close(pitch, 440, 5), f"the cue's 440 Hz tone sounds at {pitch} Hz"
    assert ms.children_named(pid, "lame"), "the decoder ended before Cancel could be pressed"
    desk.click(ms.find_in(desk, window, "Cancel", role="push button"))
    assert ms.wait_gone(desk, DECODING, pid, 10), "Cancel left the decoding window open"
    assert harness._wait_for(lambda: not ms.children_named(pid, "lame"), 10), \
        "the decoder still runs after Cancel"
    desk.find(CANCELED, role="label", pid=pid, timeout=10)
    got = ms.wait_field(desk, "File", pid, lambda t: t == "0")
    assert got == "0", f"after Cancel the File field holds {got!r}"

    # With no media file, Edit says so and opens no editor.
    desk.click(desk.find("Edit", role="push button", pid=pid))
    text = ms.answer(desk, pid, "Sorvane", "OK")
    assert text == NO_MEDIA, f"Edit with no media file says {text!r}"
    assert all(name != EDITOR for _, name in ms.windows(desk, pid))


def main(program, workdir):
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    lame = ms.lame_program(program)
    tone = showmaker.make_tone(os.path.join(workdir, "tone.wav"), 440, 2.0)
    media = os.path.join(workdir, "Act 'one' \"storm\"")
    os.makedirs(media)
    mp3 = ms.make_mp3(lame, tone, os.path.join(media, "Ben's \"big\" wind $HOME; take.2.mp3"))
    wav = os.path.join(media, "Ben's \"big\" wind $HOME; take.wav")
    # Six hours of a mono MP3, made of one ten-second piece repeated: long enough that the
    # decoder is still running when Cancel is pressed.
    piece = showmaker.make_tone(os.path.join(workdir, "piece.wav"), 330, 10.0, level=0.3)
    piece = ms.make_mp3(lame, piece, os.path.join(workdir, "piece.mp3"), bitrate=32, mono=True)
    long_mp3 = ms.repeat_file(piece, os.path.join(media, "Long night.mp3"), 2160)
    show = showmaker.write_show(os.path.join(workdir, "show.cue"), [
        showmaker.cue_line(1, "Decoded cue", file=tone, end=2),
        showmaker.cue_line(2, "Taken cue", file=tone, end=2),
        showmaker.cue_line(3, "Cancelled cue", file=tone, end=2),
    ])
    desk = harness.start_desktop(workdir)
    if desk is None:
        return harness.SKIP
    begun = time.monotonic()
    try:
        prog = desk.start_program([program, show])
        desk.find("Decoded cue", role="table cell", pid=prog.pid, timeout=30)
        # The intro window goes a second after the main window comes.
        assert harness._wait_for(lambda: len(ms.windows(desk, prog.pid)) == 1, 20), \
            ms.windows(desk, prog.pid)

        end = check_decoding(desk, prog, "Decoded cue", mp3, wav)
        check_editor(desk, prog, wav, end)
        check_taken(desk, prog, "Taken cue", mp3)
        second = check_taken_name(desk, prog, mp3, wav)
        check_preview(desk, prog, second, float(ms.field(desk, "End", prog.pid)))
        check_cancel(desk, prog, "Cancelled cue", long_mp3, mp3)
        assert prog.running(), "the program ended: " + prog.log()
    finally:
        desk.close()
        for name in ("Long night.mp3", "Long night.wav"):
            try:
                os.remove(os.path.join(media, name))
            except OSError:
                pass
    print(f"outside media check passed in {ms.seconds_since(begun):.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
