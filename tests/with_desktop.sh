#!/usr/bin/env bash
# Runs a command inside a real desktop session of its own, on a private Xvfb.
#   wayland, xcb, auto: a Wayland session, weston with Xwayland nested in the Xvfb (its X11
#     backend gives the session a seat, which the clipboard needs), on a private runtime folder.
#     The command sees the session as a desktop's programs do: XDG_SESSION_TYPE=wayland,
#     WAYLAND_DISPLAY, and DISPLAY naming weston's rootless Xwayland. WESTON_HOST_DISPLAY names
#     the Xvfb that shows weston's output, for a look at the whole screen. wayland, xcb:
#     QT_QPA_PLATFORM is set so; auto: it is unset and Qt chooses from the session.
#   x11: an X11 session, the Xvfb with the openbox window manager, QT_QPA_PLATFORM=xcb.
# Usage: with_desktop.sh wayland|xcb|auto|x11 COMMAND [ARGS...]
# Exit status: the command's, or 77 (skipped) when the servers cannot start.
# Everything started here is stopped by its own pid.
set -uo pipefail
[ $# -ge 2 ] || { echo "usage: $0 wayland|xcb|auto|x11 COMMAND [ARGS...]" >&2; exit 2; }
mode=$1
shift
skip() {
  echo "SKIP: $*"
  exit 77
}
if [ "$mode" = x11 ]; then
  tools=(/usr/bin/Xvfb /usr/bin/openbox /usr/bin/xdotool)
else
  tools=(/usr/bin/Xvfb /usr/bin/weston /usr/bin/Xwayland)
fi
for tool in "${tools[@]}"; do
  [ -x "$tool" ] || skip "$tool is not installed"
done
scratch=$(mktemp -d /tmp/tavo-desktop.XXXXXX)
xvfb_pid="" weston_pid="" openbox_pid=""
finish() {
  for pid in $weston_pid $openbox_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$scratch"
}
trap finish EXIT

exec {displayfd}<> <(:)
/usr/bin/Xvfb -displayfd "$displayfd" -nolisten tcp -screen 0 1024x768x24 \
  >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 30 -u "$displayfd" xvfb_display || skip "Xvfb did not start"

if [ "$mode" = x11 ]; then
  mkdir -m 700 "$scratch/run"
  export DISPLAY=:$xvfb_display XDG_RUNTIME_DIR=$scratch/run XDG_SESSION_TYPE=x11 \
    QT_QPA_PLATFORM=xcb
  unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP
  /usr/bin/openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
  openbox_pid=$!
  # Openbox makes its own window once it manages the screen.
  for _ in $(seq 100); do
    kill -0 "$openbox_pid" 2>/dev/null || skip "openbox did not start"
    /usr/bin/xdotool search --classname openbox >/dev/null 2>&1 && break
    sleep 0.1
  done
  /usr/bin/xdotool search --classname openbox >/dev/null 2>&1 || skip "openbox did not start"
  "$@"
  exit $?
fi

mkdir -m 700 "$scratch/run"
XDG_RUNTIME_DIR=$scratch/run DISPLAY=:$xvfb_display WAYLAND_DISPLAY= \
  /usr/bin/weston --backend=x11-backend.so --use-pixman --width=1000 --height=740 --xwayland \
  --socket=wayland-tavo --idle-time=0 --log="$scratch/weston.log" >/dev/null 2>&1 &
weston_pid=$!
xwayland_display=""
for _ in $(seq 300); do
  kill -0 "$weston_pid" 2>/dev/null || break
  xwayland_display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' \
    "$scratch/weston.log" 2>/dev/null)
  [ -n "$xwayland_display" ] && [ -S "$scratch/run/wayland-tavo" ] && break
  sleep 0.1
done
if [ -z "$xwayland_display" ] || [ ! -S "$scratch/run/wayland-tavo" ]; then
  tail -5 "$scratch/weston.log" 2>/dev/null
  skip "weston with Xwayland did not start"
fi

export XDG_RUNTIME_DIR=$scratch/run XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-tavo
export DISPLAY=$xwayland_display WESTON_HOST_DISPLAY=:$xvfb_display
unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP QT_WAYLAND_DISABLE_WINDOWDECORATION
case $mode in
  wayland | xcb) export QT_QPA_PLATFORM=$mode ;;
  auto) unset QT_QPA_PLATFORM ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
"$@"
status=$?
[ $status -eq 0 ] || { echo "--- weston's log:"; tail -20 "$scratch/weston.log"; }
exit $status
