#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its figures with target and PASS or MISS.
# --quick: short media and few runs, to see that every figure still comes out.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export BUILD_TYPE=Release BUILD_DIR="${BUILD_DIR:-$ROOT/build-bench}"
source "$ROOT/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
[[ "${1:-}" == --quick ]] && export SORVANE_BENCH_QUICK=1
status=0
for b in "$BUILD_DIR"/bench/bench_*; do
  [[ -x "$b" ]] || continue
  "$b" || status=1
done
# Fade timing on a real X display, read from outside (Xvfb and the accessibility bus).
/usr/bin/python3 "$ROOT/bench/playback/bench_fade_on_display.py" "$BUILD_DIR/bin/sorvane" || status=1
exit $status
