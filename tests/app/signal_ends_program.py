#!/usr/bin/env python3
"""The built program, running with its sound device open, ends on SIGTERM and on SIGINT as
any desktop program does (a session's log-out or a terminal's Ctrl+C must not leave it
behind).

Usage: signal_ends_program.py PROGRAM WORKDIR"""

import os
import shutil
import signal
import subprocess
import sys
import time


def run_once(program, workdir, sig):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", SDL_AUDIODRIVER="dummy",
               XDG_CONFIG_HOME=os.path.join(workdir, "config"),
               XDG_DATA_HOME=os.path.join(workdir, "data"))
    proc = subprocess.Popen([program, "o"], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        time.sleep(2.0)  # the window is up and the sound device open
        assert proc.poll() is None, f"the program ended by itself with {proc.returncode}"
        proc.send_signal(sig)
        try:
            code = proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program ignored {sig.name}")
        assert code != 0, f"{sig.name} reported as a clean exit"
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


def main(program, workdir):
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    for sig in (signal.SIGTERM, signal.SIGINT):
        run_once(program, workdir, sig)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
