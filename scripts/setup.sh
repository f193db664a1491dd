#!/usr/bin/env bash
# Installs the Debian packages of the purposes named: build, run, test (all three when none is
# named), as scripts/packages.txt lists them. A no-op for what is installed already.
# Usage: setup.sh [build] [run] [test]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list=$here/packages.txt
want=" $* "
[ $# -gt 0 ] || want=" build run test "
for p in "$@"; do
  case $p in
    build | run | test) ;;
    *) echo "usage: $0 [build] [run] [test]" >&2; exit 2 ;;
  esac
done

# The packages of one purpose: the lines of its [section], without comments.
packages_of() {
  awk -v section="[$1]" '{ sub(/#.*/, ""); gsub(/[ \t]+/, "") }
    /^\[/ { on = ($0 == section); next }
    on && $0 != "" { print }' "$list"
}
# Those of them that are not installed.
missing_of() {
  local pkgs
  mapfile -t pkgs < <(packages_of "$1")
  [ ${#pkgs[@]} -gt 0 ] || return 0
  # One question to dpkg for the whole group; a package it has never seen is missing too.
  comm -23 <(printf '%s\n' "${pkgs[@]}" | sort -u) \
    <(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${pkgs[@]}" 2>/dev/null |
      awk '$2 == "ii" { print $1 }' | sort -u)
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
updated=0
# Always in this order, whatever the arguments' order, so that installing build and run first
# and test later ends exactly as installing all three at once.
for purpose in build run test; do
  [[ $want == *" $purpose "* ]] || continue
  mapfile -t missing < <(missing_of "$purpose")
  [ ${#missing[@]} -gt 0 ] || continue
  case $purpose in
    build) what="to build Tavo" ;;
    run) what="to run it" ;;
    test) what="to test it" ;;
  esac
  if [ $updated -eq 0 ]; then
    echo "setup: reading the package lists (apt-get update)"
    $sudo apt-get update -q -o DPkg::Lock::Timeout=600
    updated=1
  fi
  echo "setup: installing the packages $what (${#missing[@]}, with what they depend on): ${missing[*]}"
  # apt's own lines, one a package as it is fetched, unpacked and set up, counted against the
  # total apt announces; line-buffered so a pipe or a log sees them as they come. The lock
  # wait covers an unattended upgrade running at the same moment.
  $sudo env DEBIAN_FRONTEND=noninteractive stdbuf -oL apt-get install -y --no-install-recommends \
    -o DPkg::Lock::Timeout=600 -o Dpkg::Use-Pty=0 "${missing[@]}" |
    awk -v what="$what" '
      / newly installed, / { total = $3 }
      /^Selecting previously unselected package|^Preparing to unpack|^\(Reading database/ { next }
      /^Unpacking / { printf "[%d/%d unpacked] ", ++unpacked, total }
      /^Setting up / { printf "[%d/%d set up] ", ++set, total }
      { print; fflush() }'
  echo "setup: the packages $what are installed"
done
