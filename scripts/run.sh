#!/usr/bin/env bash
# Installs what Tavo needs, builds it and opens its window.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "tavo: no display found (DISPLAY is not set). Run it on a desktop, or under a virtual display: xvfb-run -a ${here}/build/tavo" >&2
  exit 2
fi
exec "${TAVO_BUILD_DIR:-$here/build}/tavo"
