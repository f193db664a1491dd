#!/usr/bin/env bash
# Installs what building needs and builds Tavo in build/ (or $TAVO_BUILD_DIR).
#   build.sh program: the build and run packages, then the program alone. A new build folder is
#     configured without the tests; one configured already is left as it is (no reconfigure, and
#     nothing but the program and what it is made of is built).
#   build.sh all [CMAKE_ARGS...]: every package, then the program with its tests and benchmarks,
#     configured each time with the tests on and the arguments given (e.g. -DTAVO_SANITIZE=ON).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVO_BUILD_DIR:-$here/build}
what=${1:-}
[ $# -gt 0 ] && shift
case $what in
  program)
    [ $# -eq 0 ] || { echo "usage: $0 program | all [CMAKE_ARGS...]" >&2; exit 2; }
    "$here/scripts/setup.sh" build run
    if [ ! -f "$build/CMakeCache.txt" ]; then
      echo "build: configuring $build for the program alone"
      cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
    fi
    echo "build: building the program in $build"
    cmake --build "$build" -j"$(nproc)" --target tavo
    ;;
  all)
    "$here/scripts/setup.sh" build run test
    echo "build: configuring $build with the tests"
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON "$@" >/dev/null
    echo "build: building the program, its tests and benchmarks in $build"
    cmake --build "$build" -j"$(nproc)"
    ;;
  *)
    echo "usage: $0 program | all [CMAKE_ARGS...]" >&2
    exit 2
    ;;
esac
