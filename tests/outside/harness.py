"""Drives the built program as an operator does: a private X display and accessibility bus,
controls found by accessible name and clicked with real mouse events, the sound captured through
SDL's disk driver. A check exits 77 (skipped) without those tools."""

import array
import os
import shutil
import signal
import subprocess
import sys
import time
from contextlib import suppress

SKIP = 77
RATE = 48000  # frames per second of the disk output, 32-bit float stereo


def wait_for(predicate, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while not (value := predicate()) and time.monotonic() < deadline:
        time.sleep(step)
    return value


def tone(path, hz, seconds, level=0.5):
    wave = f"{level}*sin(2*PI*{hz}*t)"
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    f"aevalsrc={wave}|{wave}:s={RATE}:d={seconds}", "-c:a", "pcm_s16le", path],
                   check=True, timeout=60)
    return path


def show(path, *cues):
    """A text show of Play Sound cues, each (description, file[, channel[, end]])."""
    with open(path, "w", newline="") as f:
        for n, (text, file, channel, end) in enumerate((c + (0, 0))[:4] for c in cues):
            values = (n + 1, text, 0, 0, 0, file, 0, 1, 0, channel, 10, 1, 0, end)
            f.write("".join(f"{v}," for v in values) + "\r\n")
    return path


def run(check):
    """Runs check(desk, program, workdir) on a fresh workdir and desktop; the exit code."""
    program, workdir = sys.argv[1:3]
    shutil.rmtree(workdir, ignore_errors=True)
    desk = Desktop(workdir)
    try:
        if reason := desk.start():
            print("SKIP:", reason)
            return SKIP
        check(desk, program, workdir)
        assert desk.proc.poll() is None, "the program ended"
    finally:
        desk.close()
    shutil.rmtree(workdir, ignore_errors=True)
    return 0


def sounding_runs(samples, threshold=1e-3, min_gap=480):
    """The stretches of sound as (first, end) frames; shorter silences do not split one."""
    runs = []
    for i in range(len(samples) // 2):
        if max(abs(samples[2 * i]), abs(samples[2 * i + 1])) > threshold:
            if runs and i - runs[-1][1] < min_gap:
                runs[-1][1] = i + 1
            else:
                runs.append([i, i + 1])
    return runs


def frequency(samples, first, end):
    """The frequency of a steady tone in frames [first, end) of the left channel."""
    ups = [i for i in range(first + 1, end) if samples[2 * i - 2] <= 0.0 < samples[2 * i]]
    return (len(ups) - 1) * RATE / (ups[-1] - ups[0]) if len(ups) > 1 else 0.0


class Desktop:
    def __init__(self, workdir):
        self.dir = os.path.join(workdir, "desktop")
        self.procs = []  # each ended by its process group, the last started first

    def spawn(self, argv, **kw):
        self.procs.append(subprocess.Popen(argv, start_new_session=True, **kw))
        return self.procs[-1]

    def start(self):
        """Starts the display and the buses; the reason when they cannot start."""
        launcher = "/usr/libexec/at-spi-bus-launcher"
        for tool in ("Xvfb", "dbus-daemon", "xdotool", launcher):
            if not shutil.which(tool):
                return f"{tool} is not installed"
        for key in ("WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS"):
            os.environ.pop(key, None)
        os.environ.update({k: os.path.join(self.dir, k) for k in (
            "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME")})
        os.makedirs(os.environ["XDG_RUNTIME_DIR"], mode=0o700)
        rd, wr = os.pipe()  # Xvfb writes the number of a free display to it
        self.spawn(["Xvfb", "-displayfd", str(wr), "-screen", "0", "1600x1200x24", "-nolisten",
                    "tcp"], pass_fds=(wr,), stderr=subprocess.DEVNULL)
        os.close(wr)
        with os.fdopen(rd) as pipe:
            os.environ["DISPLAY"] = ":" + pipe.readline().strip()
        if os.environ["DISPLAY"] == ":":
            return "Xvfb did not start"
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        self.spawn([launcher, "--launch-immediately"], stderr=subprocess.DEVNULL)
        try:
            import pyatspi  # it connects on first use, to the buses named above
        except ImportError:
            return "pyatspi is not installed for " + sys.executable
        self.atspi = pyatspi
        if not wait_for(self.bus_answers, 10):
            return "the accessibility bus does not answer"

    def bus_answers(self):
        with suppress(Exception):
            return self.atspi.Registry.getDesktop(0).childCount >= 0

    def start_program(self, argv, sound_server=None):
        """Starts the program; its sound goes to SDL's disk driver, or to the PulseAudio
        server named (its sink then being captured by start_sound_server)."""
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        if sound_server:
            env.pop("SDL_AUDIODRIVER", None)
            env["PULSE_SERVER"] = sound_server
        else:
            self.audio = os.path.join(self.dir, "sound.raw")
            env.update(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.audio)
        self.proc = self.spawn(argv, env=env)

    def start_sound_server(self, *more_sinks):
        """A private PulseAudio daemon with a null sink "out" (the default) and the sinks
        named, each one's output captured in the disk driver's format (that of "out" in
        self.audio, the others' in self.dir/NAME.raw); its server string, or None without
        the tools."""
        if not (shutil.which("pulseaudio") and shutil.which("parec")):
            return None
        home = os.path.join(self.dir, "pulse")
        os.makedirs(home)
        socket = os.path.join(home, "native")
        config = os.path.join(home, "daemon.pa")
        with open(config, "w") as f:
            f.write(f"load-module module-native-protocol-unix auth-anonymous=1 socket={socket}\n"
                    + "".join(f"load-module module-null-sink sink_name={name} rate={RATE} "
                              "channels=2\n" for name in ("out",) + more_sinks)
                    + "set-default-sink out\n")
        env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=home, XDG_CONFIG_HOME=home)
        for key in ("PULSE_SERVER", "DBUS_SESSION_BUS_ADDRESS"):
            env.pop(key, None)
        self.spawn(["pulseaudio", "--system=false", "-n", "-F", config, "--exit-idle-time=-1",
                    "--daemonize=no", "--use-pid-file=false", "--log-target=stderr",
                    "--log-level=error"], env=env, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: os.path.exists(socket), 10):
            return None
        server = "unix:" + socket
        self.audio = os.path.join(self.dir, "out.raw")
        for name in ("out",) + more_sinks:
            with open(os.path.join(self.dir, f"{name}.raw"), "wb") as out:
                self.spawn(["parec", "--server", server, f"--device={name}.monitor", "--raw",
                            "--format=float32le", f"--rate={RATE}", "--channels=2",
                            "--latency-msec=10"], stdout=out)
        return server

    def close(self):
        for proc in reversed(self.procs):
            for sig in (signal.SIGTERM, signal.SIGKILL):
                with suppress(ProcessLookupError, subprocess.TimeoutExpired):
                    os.killpg(proc.pid, sig)
                    proc.wait(timeout=5)

    def frames(self):
        return os.path.getsize(self.audio) // 8 if os.path.exists(self.audio) else 0

    def sound(self, first=0, end=None, path=None):
        """The interleaved stereo samples of frames [first, end) of the program's output (or
        of the capture at path)."""
        with open(path or self.audio, "rb") as f:
            f.seek(8 * first)
            data = f.read(-1 if end is None else 8 * (end - first))
        return array.array("f", data[: len(data) - len(data) % 8])

    def wait_frames(self, frame, timeout=20):
        return wait_for(lambda: self.frames() >= frame, timeout)

    def windows(self, role=None):
        """The program's showing top-level windows."""
        with suppress(Exception):
            app = [a for a in self.atspi.Registry.getDesktop(0)
                   if a.get_process_id() == self.proc.pid][0]
            return [w for w in app if w.getState().contains(self.atspi.STATE_SHOWING)
                    and role in (None, w.getRoleName())]
        return []

    def all(self, name=None, role=None, root=None):
        """The showing controls of that name and role in root, else in every window."""
        def match(acc):
            return name in (None, acc.name) and role in (None, acc.getRoleName()) \
                and acc.getState().contains(self.atspi.STATE_SHOWING)
        with suppress(Exception):
            return [acc for top in ([root] if root is not None else self.windows())
                    for acc in self.atspi.findAllDescendants(top, match)]
        return []

    def find(self, name, role=None, root=None, timeout=20):
        hits = wait_for(lambda: self.all(name, role, root), timeout)
        assert hits, f"no showing {role or 'control'} {name!r}"
        return hits[0]

    def window(self, title, role=None, timeout=20):
        win = wait_for(lambda: [w for w in self.windows(role) if w.name == title], timeout)
        assert win, f"no window {title!r}"
        return win[0]

    def gone(self, title, role=None, timeout=10):
        return wait_for(lambda: all(w.name != title for w in self.windows(role)), timeout)

    def field(self, name):
        """The text of the main window's text box of that name."""
        return self.find(name, "text").queryText().getText(0, -1)

    def expect_field(self, name, text):
        got = wait_for(lambda: self.field(name) == text, 10) or self.field(name)
        assert got is True, f"{name} holds {got!r}, not {text!r}"

    def extents(self, acc):
        e = acc.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], check=True, timeout=10)

    def point(self, target, role="push button", root=None):
        """Moves the mouse onto the control, or the control of that name, or an (x, y)."""
        if isinstance(target, str):
            target = self.find(target, role, root)
        if not isinstance(target, tuple):
            x, y, w, h = self.extents(target)
            target = x + w // 2, y + h // 2
        self.xdotool("mousemove", *target)  # no --sync: it waits for a move that never comes
        time.sleep(0.05)

    def click(self, target, role="push button", root=None):
        self.point(target, role, root)
        self.xdotool("click", 1)
