#!/usr/bin/env bash
# Sets up, builds and starts the program; the arguments become its command line.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$ROOT/scripts/setup.sh"
exec "$BUILD_DIR/bin/sorvane" "$@"
