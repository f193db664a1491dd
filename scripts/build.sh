#!/usr/bin/env bash
# Installs what Tavo needs, then configures and builds it in build/ (or $TAVO_BUILD_DIR).
# Extra arguments go to CMake's configure step (e.g. -DTAVO_SANITIZE=ON).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
build=${TAVO_BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
