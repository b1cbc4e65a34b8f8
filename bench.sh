#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its figures with target and PASS or MISS.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export BUILD_TYPE=Release BUILD_DIR="${BUILD_DIR:-$ROOT/build-bench}"
source "$ROOT/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
status=0
for b in "$BUILD_DIR"/bench/bench_*; do
  [[ -x "$b" ]] || continue
  "$b" || status=1
done
# Fade timing on a real X display, read from outside (Xvfb and the accessibility bus).
/usr/bin/python3 "$ROOT/bench/playback/bench_fade_on_display.py" "$BUILD_DIR/bin/sorvane" || status=1
exit $status
