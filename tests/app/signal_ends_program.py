#!/usr/bin/env python3
"""The running program, its sound device open, ends on SIGTERM and on SIGINT (a log-out or a
Ctrl+C must not leave it behind). Usage: signal_ends_program.py PROGRAM WORKDIR"""

import os
import signal
import subprocess
import sys
import time

program, workdir = sys.argv[1:3]
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", SDL_AUDIODRIVER="dummy",
           XDG_CONFIG_HOME=workdir, XDG_DATA_HOME=workdir)
os.makedirs(workdir, exist_ok=True)
for sig in (signal.SIGTERM, signal.SIGINT):
    with subprocess.Popen([program, "o"], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL) as proc:
        try:
            time.sleep(2.0)  # the window is up and the sound device open
            assert proc.poll() is None, f"the program ended by itself with {proc.returncode}"
            proc.send_signal(sig)
            assert proc.wait(timeout=15) != 0, f"{sig.name} reported as a clean exit"
        finally:
            proc.kill()
