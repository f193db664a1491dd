#!/usr/bin/env bash
# Fails when any C++ source of the project differs from what clang-format makes of it.
set -euo pipefail
cd "$1"
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
[ ${#files[@]} -gt 0 ] || { echo "no sources found"; exit 1; }
clang-format --dry-run --Werror "${files[@]}"
echo "clang-format: ${#files[@]} files clean"
