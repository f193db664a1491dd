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

# The lines of one purpose's [section], without comments: a package, or alternatives "a|b".
packages_of() {
  awk -v section="[$1]" '{ sub(/#.*/, ""); gsub(/[ \t]+/, "") }
    /^\[/ { on = ($0 == section); next }
    on && $0 != "" { print }' "$list"
}
# What to install of them: each package not installed; of alternatives, the first, where none
# of them is installed.
missing_of() {
  local lines installed
  mapfile -t lines < <(packages_of "$1")
  [ ${#lines[@]} -gt 0 ] || return 0
  # One question to dpkg for the whole group; a package it has never seen is missing too (and
  # makes it fail).
  installed=" $({ dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' $(tr '|' ' ' <<<"${lines[*]}") \
    2>/dev/null || true; } | awk '$2 == "ii" { printf "%s ", $1 }') "
  awk -v installed="$installed" '{
      n = split($0, alternatives, "|")
      for (i = 1; i <= n; i++) if (index(installed, " " alternatives[i] " ")) next
      print alternatives[1]
    }' < <(printf '%s\n' "${lines[@]}")
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
updated=0
# Always in this order, whatever the arguments' order, so that installing build and run first
# and test later ends exactly as installing all three at once.
for purpose in build run test; do
  [[ $want == *" $purpose "* ]] || continue
  missing=$(missing_of "$purpose")
  mapfile -t missing <<<"$missing"
  [ -n "${missing[0]}" ] || missing=()
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
