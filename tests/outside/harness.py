"""Drives the built program from outside, as an operator or a screen reader would.

A Desktop starts a private X display (Xvfb), a private D-Bus session with the accessibility
bus, and the program itself with its sound sent through SDL's disk driver into a file. Controls
are found by their accessible names on the accessibility bus and clicked with real mouse events
(xdotool), so the program sees the same presses a person's mouse gives.

    with Desktop(workdir) as desk:
        prog = desk.start_program([binary, show_path])
        go = desk.find("Go", role="push button")
        desk.click(go)
        sound = read_disk_audio(prog.audio_file)

Everything started here runs in its own process group and is ended by the group's id when the
Desktop closes. Desktop.start() raises Unavailable when the display or the bus cannot be
started, so a test can skip with that message.
"""

import array
import os
import shutil
import signal
import subprocess
import sys
import time


class Unavailable(Exception):
    """The display, the bus or a tool the harness needs is missing."""


SKIP = 77  # a check's exit code when the display or the bus cannot start


def start_desktop(workdir):
    """A started Desktop in WORKDIR/desktop, or None (with the reason printed) when the
    display or the bus cannot be started."""
    try:
        desk = Desktop(os.path.join(workdir, "desktop"))
        desk.start()
        return desk
    except Unavailable as e:
        print(f"SKIP: {e}")
        return None


def _wait_for(predicate, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            return value
        time.sleep(step)


class Program:
    """The program under test, started by Desktop.start_program."""

    def __init__(self, proc, audio_file, log_file):
        self.proc = proc
        self.audio_file = audio_file
        self.log_file = log_file

    @property
    def pid(self):
        return self.proc.pid

    def running(self):
        return self.proc.poll() is None

    def audio_bytes(self):
        try:
            return os.path.getsize(self.audio_file)
        except OSError:
            return 0

    def frames(self):
        """Frames of sound written so far."""
        return self.audio_bytes() // (4 * CHANNELS)

    def sound(self, first_frame=0, end_frame=None):
        """The samples written from frame first_frame on (to end_frame)."""
        return read_disk_audio(self.audio_file, first_frame * 4 * CHANNELS,
                               None if end_frame is None else end_frame * 4 * CHANNELS)

    def wait_for_frames(self, frame, timeout=20):
        return _wait_for(lambda: self.frames() >= frame, timeout)

    def wait_until_quiet(self, quiet_seconds=1.0, timeout=40):
        """Waits until something has sounded and then the last quiet_seconds were silent;
        returns the stretches of sound written until then, or None."""
        def quiet():
            frames = self.frames()
            if frames < quiet_seconds * RATE:
                return None
            runs = sounding_runs(self.sound(0, frames))
            if runs and frames - runs[-1][1] > quiet_seconds * RATE:
                return runs
            return None
        return _wait_for(quiet, timeout, step=0.25)

    def log(self):
        try:
            with open(self.log_file, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""


class Desktop:
    """A private display and accessibility bus, and the programs started on them."""

    def __init__(self, workdir, width=1600, height=1200):
        self.workdir = workdir
        self.size = (width, height)
        self.env = None
        self._procs = []  # every process started here, ended in reverse order
        self._atspi = None

    # --- setting up -------------------------------------------------------------------------

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _spawn(self, argv, env, **kw):
        proc = subprocess.Popen(argv, env=env, start_new_session=True, **kw)
        self._procs.append(proc)
        return proc

    def start(self):
        for tool in ("Xvfb", "dbus-daemon", "xdotool"):
            if shutil.which(tool) is None:
                raise Unavailable(f"{tool} is not installed")
        launcher = "/usr/libexec/at-spi-bus-launcher"
        if not os.access(launcher, os.X_OK):
            raise Unavailable("at-spi-bus-launcher is not installed")
        os.makedirs(self.workdir, exist_ok=True)
        env = dict(os.environ)
        for key in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS"):
            env.pop(key, None)
        env["XDG_RUNTIME_DIR"] = os.path.join(self.workdir, "runtime")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)

        # The display: Xvfb picks a free number and writes it to the pipe.
        rd, wr = os.pipe()
        xlog = open(os.path.join(self.workdir, "xvfb.log"), "wb")
        self._spawn(["Xvfb", "-displayfd", str(wr), "-screen", "0",
                     f"{self.size[0]}x{self.size[1]}x24", "-nolisten", "tcp"],
                    env, pass_fds=(wr,), stdout=xlog, stderr=xlog)
        os.close(wr)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(rd, 16)
            if not chunk:
                break
            number += chunk
        os.close(rd)
        if not number.strip().isdigit():
            self.close()
            raise Unavailable("Xvfb did not start (see xvfb.log)")
        env["DISPLAY"] = ":" + number.strip().decode()

        # The session bus, then the accessibility bus beside it.
        bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                           "--print-address=1"], env, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
        address = bus.stdout.readline().decode().strip()
        if not address:
            self.close()
            raise Unavailable("the D-Bus session bus did not start")
        env["DBUS_SESSION_BUS_ADDRESS"] = address
        self._spawn([launcher, "--launch-immediately"], env,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env = env
        # The accessibility library reads these when it first connects.
        os.environ["DISPLAY"] = env["DISPLAY"]
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        try:
            import pyatspi  # noqa: F401  (connects on first use, after the bus is set)
        except ImportError:
            self.close()
            raise Unavailable("pyatspi is not installed for " + sys.executable)
        self._atspi = sys.modules["pyatspi"]
        if not _wait_for(self._bus_answers, 10):
            self.close()
            raise Unavailable("the accessibility bus does not answer")

    def _bus_answers(self):
        try:
            self._atspi.Registry.getDesktop(0).childCount
            return True
        except Exception:
            return False

    def start_program(self, argv, audio_file=None, extra_env=None):
        """Starts the program on this display, accessible, its sound written to audio_file."""
        env = dict(self.env)
        audio_file = audio_file or os.path.join(self.workdir, "sound.raw")
        if os.path.exists(audio_file):
            os.remove(audio_file)
        env.update({
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
            "SDL_AUDIODRIVER": "disk",
            "SDL_DISKAUDIOFILE": audio_file,
            "XDG_CONFIG_HOME": os.path.join(self.workdir, "config"),
            "XDG_DATA_HOME": os.path.join(self.workdir, "data"),
        })
        env.update(extra_env or {})
        log_file = os.path.join(self.workdir, "program.log")
        log = open(log_file, "wb")
        proc = self._spawn(argv, env, stdout=log, stderr=subprocess.STDOUT)
        return Program(proc, audio_file, log_file)

    def close(self):
        for proc in reversed(self._procs):
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for proc in reversed(self._procs):
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                proc.wait(timeout=5)
        self._procs = []

    # --- finding controls -------------------------------------------------------------------

    def _application(self, pid):
        desktop = self._atspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and (pid is None or app.get_process_id() == pid):
                    return app
            except Exception:
                continue
        return None

    def _walk(self, node, depth=0):
        if node is None or depth > 30:
            return
        yield node
        try:
            children = list(node)
        except Exception:
            return
        for child in children:
            yield from self._walk(child, depth + 1)

    def _showing(self, acc):
        try:
            return acc.getState().contains(self._atspi.STATE_SHOWING)
        except Exception:
            return False

    def find_all(self, name=None, role=None, pid=None, showing=True):
        """Every control whose accessible name (and role name) match, now."""
        app = self._application(pid)
        found = []
        for acc in self._walk(app):
            try:
                if name is not None and acc.name != name:
                    continue
                if role is not None and acc.getRoleName() != role:
                    continue
            except Exception:
                continue
            if showing and not self._showing(acc):
                continue
            found.append(acc)
        return found

    def find(self, name, role=None, pid=None, timeout=20):
        """The first showing control of that name, waiting for it to appear."""
        hits = _wait_for(lambda: self.find_all(name, role, pid), timeout, step=0.2)
        if not hits:
            raise LookupError(f"no showing control named {name!r}" +
                              (f" ({role})" if role else ""))
        return hits[0]

    def names(self, role, pid=None):
        """The names of the showing controls of a role, in the order of the tree."""
        return [a.name for a in self.find_all(role=role, pid=pid)]

    def centre(self, acc):
        ext = acc.queryComponent().getExtents(self._atspi.DESKTOP_COORDS)
        return ext.x + ext.width // 2, ext.y + ext.height // 2

    # --- acting -----------------------------------------------------------------------------

    def _xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)

    def point_at(self, acc):
        """Moves the mouse pointer to the control's centre (keys then go to its window)."""
        x, y = self.centre(acc)
        # Without --sync: that waits for a motion, and there is none when the pointer is
        # already there.
        self._xdotool("mousemove", str(x), str(y))
        time.sleep(0.05)

    def click(self, acc, button=1):
        """A real press and release of the mouse button at the control's centre."""
        self.point_at(acc)
        self._xdotool("click", str(button))

    def double_click(self, acc):
        self.point_at(acc)
        self._xdotool("click", "--repeat", "2", "--delay", "80", "1")

    def key(self, *keysyms):
        """Key presses (X key names such as "space", "Return", "F5") to the focused window."""
        self._xdotool("key", *keysyms)

    def type_text(self, text):
        self._xdotool("type", "--delay", "20", text)


# --- the sound the program wrote ------------------------------------------------------------

RATE = 48000
CHANNELS = 2


def read_disk_audio(path, start_byte=0, end_byte=None):
    """The frames of SDL's disk output (32-bit float, interleaved stereo) as one list of peaks:
    for each frame the larger of |left| and |right|."""
    with open(path, "rb") as f:
        f.seek(start_byte - start_byte % (4 * CHANNELS))
        data = f.read() if end_byte is None else f.read(max(0, end_byte - start_byte))
    data = data[: len(data) - len(data) % (4 * CHANNELS)]
    samples = array.array("f")
    samples.frombytes(data)
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


def frame_peaks(samples):
    return [max(abs(samples[i]), abs(samples[i + 1])) for i in range(0, len(samples) - 1, 2)]


def sounding_runs(samples, threshold=1e-3, min_gap=480):
    """The stretches of sound, as (first frame, end frame) pairs; silences shorter than
    min_gap frames do not split a stretch."""
    runs = []
    start = last = None
    for i, peak in enumerate(frame_peaks(samples)):
        if peak > threshold:
            if start is None:
                start = i
            elif i - last > min_gap:
                runs.append((start, last + 1))
                start = i
            last = i
    if start is not None:
        runs.append((start, last + 1))
    return runs


def frequency(samples, first, end, channel=0):
    """The frequency of a steady tone in frames [first, end), from its upward zero crossings."""
    crossings = []
    prev = samples[2 * first + channel]
    for i in range(first + 1, end):
        cur = samples[2 * i + channel]
        if prev <= 0.0 < cur:
            crossings.append(i)
        prev = cur
    if len(crossings) < 2:
        return 0.0
    return (len(crossings) - 1) * RATE / (crossings[-1] - crossings[0])
