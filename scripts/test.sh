#!/usr/bin/env bash
# Installs what Tavo needs to build, run and test, builds it with its tests and runs the whole
# suite; then builds it again with AddressSanitizer and UndefinedBehaviorSanitizer and runs the
# program's tests there.
# TAVO_NO_SANITIZERS=1 skips the second round.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVO_BUILD_DIR:-$here/build}
TAVO_BUILD_DIR=$build "$here/scripts/build.sh" all
(cd "$build" && ctest --output-on-failure -j2)
if [ "${TAVO_NO_SANITIZERS:-0}" != 1 ]; then
  echo "== the same tests under ASan and UBSan"
  TAVO_BUILD_DIR=$build-asan "$here/scripts/build.sh" all -DCMAKE_BUILD_TYPE=Debug -DTAVO_SANITIZE=ON
  # Not the screen-reader test: it times Orca's speech, which the sanitizers' slower program
  # only delays; the bus test runs the same program under them through the real AT-SPI bus.
  # A test that fails is run once more: LeakSanitizer's own tracer can crash at a test's exit
  # ("Tracer caught signal 11", with no thread of ours left); a lasting fault fails both times.
  (cd "$build-asan" && ctest --output-on-failure -j2 --repeat until-pass:2 \
    -E '^(packaging_|clang_format|orca_draw)')
fi
