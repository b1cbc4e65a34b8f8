"""Steps of the checks from outside that choose media and set markers: windows found by their
titles, text read from controls, the real file dialog answered by typing, a message box by its
buttons, and test media made at run time.

Every step acts through the accessibility bus and real keys and clicks (harness.Desktop)."""

import os
import shutil
import struct
import subprocess
import time

import harness


# --- windows and controls -------------------------------------------------------------------

def windows(desk, pid):
    """The showing top-level windows of the program, as (role, title) pairs."""
    app = desk._application(pid)
    found = []
    if app is None:
        return found
    for win in list(app):
        try:
            if desk._showing(win):
                found.append((win.getRoleName(), win.name))
        except Exception:
            continue
    return found


def window(desk, title, pid, timeout=20, role=None):
    """The showing top-level window of that title (and role), waiting for it to appear."""
    def showing():
        app = desk._application(pid)
        for win in list(app) if app is not None else []:
            try:
                if win.name == title and (role is None or win.getRoleName() == role) \
                        and desk._showing(win):
                    return win
            except Exception:
                continue
        return None
    win = harness._wait_for(showing, timeout, step=0.05)
    if win is None:
        raise LookupError(f"no window {title!r}; showing: {windows(desk, pid)}")
    return win


def wait_gone(desk, title, pid, timeout=20, role=None):
    """True once no top-level window of that title (and role) is showing."""
    return harness._wait_for(
        lambda: all(name != title or (role is not None and kind != role)
                    for kind, name in windows(desk, pid)), timeout, step=0.05)


def find_in(desk, root, name, role=None, timeout=10):
    """The first showing control of that name (and role) inside root, waiting for it."""
    def hits():
        for acc in desk._walk(root):
            try:
                if acc.name == name and (role is None or acc.getRoleName() == role) \
                        and desk._showing(acc):
                    return acc
            except Exception:
                continue
        return None
    acc = harness._wait_for(hits, timeout, step=0.1)
    if acc is None:
        raise LookupError(f"no showing control named {name!r} in {root.name!r}")
    return acc


def names_in(desk, root, role):
    """The names of the showing controls of a role inside root, in the order of the tree."""
    found = []
    for acc in desk._walk(root):
        try:
            if acc.getRoleName() == role and desk._showing(acc):
                found.append(acc.name)
        except Exception:
            continue
    return found


def text_of(acc):
    """The whole text a text control holds."""
    return acc.queryText().getText(0, -1)


def field(desk, name, pid):
    """The text of the main window's text box of that accessible name."""
    return text_of(desk.find(name, role="text", pid=pid))


def wait_field(desk, name, pid, predicate, timeout=10):
    """Waits until the text box's text satisfies predicate; returns the last text read."""
    last = [None]
    def check():
        last[0] = field(desk, name, pid)
        return predicate(last[0])
    harness._wait_for(check, timeout, step=0.1)
    return last[0]


def extents(desk, acc):
    ext = acc.queryComponent().getExtents(desk._atspi.DESKTOP_COORDS)
    return ext.x, ext.y, ext.width, ext.height


def drag(desk, acc, x, y, steps=8):
    """A real press on the control's centre, a move in steps to (x, y), a short rest there and
    the release."""
    cx, cy = desk.centre(acc)
    desk._xdotool("mousemove", str(cx), str(cy))
    time.sleep(0.05)
    desk._xdotool("mousedown", "1")
    for i in range(1, steps + 1):
        desk._xdotool("mousemove", str(round(cx + (x - cx) * i / steps)),
                      str(round(cy + (y - cy) * i / steps)))
        time.sleep(0.03)
    time.sleep(0.25)
    desk._xdotool("mouseup", "1")


# --- dialogs --------------------------------------------------------------------------------

def choose_file(desk, pid, path, title="Open File"):
    """Types path into the real file dialog's file name box and accepts it with Return."""
    dialog = window(desk, title, pid)
    name_box = find_in(desk, dialog, "File name:", role="text")
    desk.click(name_box)  # the pointer on the box: the keys go to the dialog
    desk.type_text(path)
    typed = harness._wait_for(lambda: text_of(name_box) == path, 5, step=0.1)
    assert typed, f"the file name box holds {text_of(name_box)!r}, not {path!r}"
    desk.key("Return")
    # A completion list that was open takes the first Return; a second one accepts.
    if not wait_gone(desk, title, pid, 3):
        desk.key("Return")
    assert wait_gone(desk, title, pid, 10), \
        f"the file dialog did not take {path!r}; showing: {windows(desk, pid)}"


def answer(desk, pid, title, button, timeout=20):
    """Answers the message box of that title with the button of that caption; returns the
    box's text."""
    box = window(desk, title, pid, timeout, role="alert")
    labels = [n for n in names_in(desk, box, "label") if n]
    desk.click(find_in(desk, box, button, role="push button"))
    assert wait_gone(desk, title, pid, 10, role="alert"), f"the message box {title!r} stayed"
    return max(labels, key=len) if labels else ""


# --- test media -----------------------------------------------------------------------------

def lame_program(program):
    """The MP3 encoder: the one beside the program, else the system's."""
    beside = os.path.join(os.path.dirname(os.path.abspath(program)), "lame")
    return beside if os.access(beside, os.X_OK) else shutil.which("lame")


def make_mp3(lame, wav, mp3, bitrate=128, mono=False):
    """Encodes wav to mp3 without the encoder's information frame, so that copies of the file
    joined end to end make one longer stream."""
    argv = [lame, "--quiet", "-t", "-b", str(bitrate)]
    if mono:
        argv += ["-m", "m"]
    subprocess.run(argv + [wav, mp3], check=True, timeout=60)
    return mp3


def repeat_file(source, target, times):
    with open(source, "rb") as f:
        data = f.read()
    with open(target, "wb") as f:
        for _ in range(times):
            f.write(data)
    return target


def wav_seconds(path):
    """The length in seconds of a PCM WAV file, from its fmt and data chunks."""
    with open(path, "rb") as f:
        head = f.read(12)
        assert head[:4] == b"RIFF" and head[8:12] == b"WAVE", f"{path} is no WAV file"
        byte_rate = None
        while True:
            chunk = f.read(8)
            if len(chunk) < 8:
                raise AssertionError(f"{path} has no data chunk")
            kind, size = chunk[:4], struct.unpack("<I", chunk[4:])[0]
            if kind == b"fmt ":
                fmt = f.read(size)
                byte_rate = struct.unpack("<I", fmt[8:12])[0]
                continue
            if kind == b"data":
                assert byte_rate, f"{path} has no fmt chunk before its data"
                return size / byte_rate
            f.seek(size + (size & 1), os.SEEK_CUR)


def children_named(pid, command):
    """The process ids of pid's children whose command name is command."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", encoding="utf-8", errors="replace") as f:
                stat = f.read()
        except OSError:
            continue
        name = stat[stat.index("(") + 1: stat.rindex(")")]
        fields = stat[stat.rindex(")") + 2:].split()
        if name == command and int(fields[1]) == pid and fields[0] != "Z":
            found.append(int(entry))
    return found


def seconds_since(start):
    return time.monotonic() - start
