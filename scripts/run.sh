#!/usr/bin/env bash
# Installs what building and running Tavo need (nothing the tests use), builds the program alone
# and opens its window.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh" program
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "tavo: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set). Run it on a desktop," \
    "or under a virtual display: xvfb-run -a bash $here/scripts/run.sh" \
    "(xvfb-run is in the package xvfb and needs xauth: apt-get install xvfb xauth)" >&2
  exit 2
fi
exec "${TAVO_BUILD_DIR:-$here/build}/tavo"
