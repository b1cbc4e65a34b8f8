#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$ROOT/scripts/setup.sh"
cd "$BUILD_DIR"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
