#!/usr/bin/env bash
# Builds the benchmarks in build-bench/ (or $TAVO_BUILD_DIR) and runs them: draws on the real
# window (CPU per phase, timer intervals, idle and with every core busy), then start-up, memory
# and idle CPU beside a bare Qt window, then the beep against a sound server of its own. Prints
# Markdown tables. Takes about four minutes.
# Arguments go to bench_draw (e.g. --draws 3 --armed-ms 2000).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
build=${TAVO_BUILD_DIR:-$here/build-bench}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_draw bench_startup bench_beep bench_save >/dev/null

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
fi
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

echo "## Tavo benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -srm), $(nproc) cores," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg), Qt platform ${QT_QPA_PLATFORM:-default}"
"$build/bench/bench_draw" "$@"
"$build/bench/bench_startup" --runs 3
"$build/bench/bench_beep"
"$build/bench/bench_save"
