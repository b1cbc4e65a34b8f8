#!/usr/bin/env python3
"""Placeholder generator: replaced by the real one."""
import argparse, pathlib
ap = argparse.ArgumentParser(); ap.add_argument('--out'); ap.add_argument('--ffmpeg')
a = ap.parse_args()
out = pathlib.Path(a.out); out.mkdir(parents=True, exist_ok=True)
(out / 'intro.avi').write_bytes(b'')
(out / 'sorvane.ico').write_bytes(b'')
