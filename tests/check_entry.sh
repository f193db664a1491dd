#!/usr/bin/env bash
# Runs the built program as a user would from a shell, with a bare environment, and checks
# what it answers before any window: --help, --version, wrong arguments, no display, and a
# display that cannot be reached, a Wayland display without Qt's Wayland plugin (and, run inside
# a Wayland desktop, the beeps' warning there). Each answer's exit status and its exact number
# of lines.
# Usage: check_entry.sh PATH_TO_TAVO
set -uo pipefail
[ $# -eq 1 ] || { echo "usage: $0 PATH_TO_TAVO" >&2; exit 2; }
tavo=$1
version=${TAVO_VERSION:-1.1}
[ -x "$tavo" ] || { echo "FAIL: $tavo is not built" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# run NAME WANT_STATUS WANT_STDOUT_LINES WANT_STDERR_LINES [VAR=VALUE...] -- [ARGS...]
# A line count of '+' means one or more. The environment is empty but for HOME, PATH and
# the given variables, so no display, platform or session leaks in from the caller's.
run() {
  local name=$1 want_rc=$2 want_out=$3 want_err=$4
  shift 4
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  local rc=0
  env -i HOME="$scratch" PATH=/usr/bin:/bin "${vars[@]}" timeout "${limit:-20}" "$tavo" "$@" \
    >"$scratch/out" 2>"$scratch/err" </dev/null || rc=$?
  local out err
  out=$(wc -l <"$scratch/out")
  err=$(wc -l <"$scratch/err")
  [ "$rc" = "$want_rc" ] || fail "$name: exit status $rc, not $want_rc"
  if [ "$want_out" = + ]; then [ "$out" -ge 1 ] || fail "$name: nothing on stdout"
  else [ "$out" = "$want_out" ] || fail "$name: $out lines on stdout, not $want_out"; fi
  if [ "$want_err" = + ]; then [ "$err" -ge 1 ] || fail "$name: nothing on stderr"
  else [ "$err" = "$want_err" ] || fail "$name: $err lines on stderr, not $want_err"; fi
  if [ $failures -gt 0 ] && [ -z "${reported:-}" ]; then
    reported=1
    echo "--- stdout of $name:" >&2; cat "$scratch/out" >&2
    echo "--- stderr of $name:" >&2; cat "$scratch/err" >&2
  fi
}

# The two options answer on stdout, with or without a display, and need no window system.
run help 0 + 0 -- --help
grep -qx 'usage: tavo \[--help | --version\]' "$scratch/out" || fail "--help does not start with the usage line"
grep -q 'tavo(1)' "$scratch/out" || fail "--help does not point at the manual page"
run version 0 1 0 -- --version
[ "$(cat "$scratch/out")" = "tavo $version" ] || fail "--version prints '$(cat "$scratch/out")', not 'tavo $version'"
run "version with a dead display" 0 1 0 DISPLAY=:99 -- --version

# Anything else is refused in one line naming the first wrong argument, before any display.
for args in "-x" "--helpp" "--help=1" "-platform offscreen" "--version --help" "--help extra" "file.csv" ""; do
  read -r -a argv <<<"$args"
  [ -n "$args" ] || argv=("")
  run "arguments '$args'" 2 0 1 QT_QPA_PLATFORM=offscreen -- "${argv[@]}"
  grep -q 'usage: tavo \[--help | --version\]$' "$scratch/err" || fail "'$args': the refusal has no usage"
done
run "arguments '-x'" 2 0 1 -- -x
grep -qF "unexpected argument '-x'" "$scratch/err" || fail "the refusal does not name '-x'"
run "arguments '--help extra'" 2 0 1 -- --help extra
grep -qF "unexpected argument 'extra'" "$scratch/err" || fail "the refusal does not name 'extra'"

# No display at all: the existing one line.
run "no display" 2 0 1 --
grep -qF 'no display found' "$scratch/err" || fail "no display: '$(cat "$scratch/err")'"
run "empty DISPLAY" 2 0 1 DISPLAY= --

# A display that is set but answers nobody: one line naming it, status 2, never Qt's abort.
# Display :99 is used only if no X server holds its socket or lock on this machine.
dead=99
while [ -e /tmp/.X11-unix/X$dead ] || [ -e /tmp/.X$dead-lock ]; do dead=$((dead + 1)); done
run "unreachable DISPLAY" 2 0 1 DISPLAY=:$dead --
grep -qF "cannot open the display (DISPLAY=:$dead)" "$scratch/err" || fail "unreachable display: '$(cat "$scratch/err")'"
run "unreachable remote DISPLAY" 2 0 1 DISPLAY=127.0.0.1:$dead --
run "unknown QT_QPA_PLATFORM" 2 0 1 QT_QPA_PLATFORM=nosuchplatform --
grep -qF "QT_QPA_PLATFORM=nosuchplatform" "$scratch/err" || fail "unknown platform: '$(cat "$scratch/err")'"

# A Wayland display with a Qt that lacks its Wayland plugin (a copy of the program whose qt.conf
# points at platform plugins without it): the line names the missing package, not a display.
mkdir -p "$scratch/bin" "$scratch/plugins/platforms"
cp "$tavo" "$scratch/bin/tavo"
printf '[Paths]\nPlugins=%s\n' "$scratch/plugins" >"$scratch/bin/qt.conf"
qt_plugins=$(dirname "$(find /usr/lib -path '*/qt6/plugins/platforms/libqxcb.so' -print -quit)")
[ "$qt_plugins" = . ] || ln -s "$qt_plugins/libqxcb.so" "$qt_plugins/libqoffscreen.so" \
  "$scratch/plugins/platforms/"
tavo=$scratch/bin/tavo
for session in "" XDG_SESSION_TYPE=wayland; do
  run "Wayland without the plugin ($session)" 2 0 1 WAYLAND_DISPLAY=wayland-$dead $session --
  grep -qF "(WAYLAND_DISPLAY=wayland-$dead): Qt's Wayland plugin is not installed; install the package qt6-wayland." \
    "$scratch/err" || fail "no Wayland plugin: '$(cat "$scratch/err")'"
done
# With the plugin, an unreachable Wayland display is named as such.
tavo=$1
run "unreachable WAYLAND_DISPLAY" 2 0 1 WAYLAND_DISPLAY=wayland-$dead XDG_RUNTIME_DIR="$scratch" --
grep -qF "cannot open the display (WAYLAND_DISPLAY=wayland-$dead)" "$scratch/err" ||
  fail "unreachable Wayland display: '$(cat "$scratch/err")'"

# Natively on a Wayland desktop (when run inside one, by with_desktop.sh) without a sound server:
# the window stays up until stopped, and one line says the beeps cannot be heard, no X bell.
if [ -n "${WAYLAND_DISPLAY:-}" ]; then
  limit=10 run "Wayland without a sound server" 124 0 1 WAYLAND_DISPLAY="$WAYLAND_DISPLAY" \
    XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" PULSE_SERVER="unix:$scratch/none" --
  grep -q '^tavo: the beep .*; beeps cannot be heard$' "$scratch/err" && ! grep -q 'X bell' "$scratch/err" ||
    fail "beeps on Wayland: '$(cat "$scratch/err")'"
fi

if [ $failures -gt 0 ]; then
  echo "entry: $failures check(s) failed" >&2
  exit 1
fi
echo "entry: all checks passed"
