#!/usr/bin/env bash
# Installs what Tavo needs, builds it with its tests and runs the whole suite.
# Extra arguments go to CMake's configure step (e.g. -DTAVO_SANITIZE=ON).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh" "$@"
cd "${TAVO_BUILD_DIR:-$here/build}"
ctest --output-on-failure -j2
