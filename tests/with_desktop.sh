#!/usr/bin/env bash
# Runs a command inside a real desktop session of its own, on a private Xvfb.
#   wayland, xcb, auto: a Wayland session, weston with Xwayland nested in the Xvfb (its X11
#     backend gives the session a seat, which the clipboard needs), on a private runtime folder.
#     The command sees the session as a desktop's programs do: XDG_SESSION_TYPE=wayland,
#     WAYLAND_DISPLAY, and DISPLAY naming weston's rootless Xwayland. WESTON_HOST_DISPLAY names
#     the Xvfb that shows weston's output, for a look at the whole screen. wayland, xcb:
#     QT_QPA_PLATFORM is set so; auto: it is unset and Qt chooses from the session.
#   kwin, kwin-fullscreen: KDE Plasma's compositor, kwin_wayland --virtual, with a window rule
#     that forces full screen on the program's windows in kwin-fullscreen; mutter: GNOME's,
#     mutter --headless. Each on a private runtime folder, HOME and session bus
#     (DBUS_SESSION_BUS_ADDRESS), with no X11; QT_QPA_PLATFORM=wayland. TAVO_DESKTOP names the
#     compositor (weston, kwin, mutter), TAVO_WINDOW_RULE the rule (fullscreen) where one is set.
#   x11: an X11 session, the Xvfb with the openbox window manager, QT_QPA_PLATFORM=xcb.
# In the Wayland sessions the command's own Wayland requests and events are logged to the file
# TAVO_WAYLAND_LOG (WAYLAND_DEBUG), and the rest of its standard error is shown after it.
# Usage: with_desktop.sh wayland|xcb|auto|kwin|kwin-fullscreen|mutter|x11 COMMAND [ARGS...]
# Exit status: the command's, or 77 (skipped) when the servers cannot start.
# Everything started here is stopped by its own pid.
set -uo pipefail
[ $# -ge 2 ] || {
  echo "usage: $0 wayland|xcb|auto|kwin|kwin-fullscreen|mutter|x11 COMMAND [ARGS...]" >&2
  exit 2
}
mode=$1
shift
skip() {
  echo "SKIP: $*"
  exit 77
}
case $mode in
  x11) tools=(/usr/bin/Xvfb /usr/bin/xprop /usr/bin/openbox /usr/bin/xdotool) ;;
  kwin | kwin-fullscreen) tools=(/usr/bin/kwin_wayland /usr/bin/dbus-daemon) ;;
  mutter) tools=(/usr/bin/mutter /usr/bin/dbus-daemon) ;;
  wayland | xcb | auto) tools=(/usr/bin/Xvfb /usr/bin/xprop /usr/bin/weston /usr/bin/Xwayland) ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
for tool in "${tools[@]}"; do
  [ -x "$tool" ] || skip "$tool is not installed"
done
scratch=$(mktemp -d /tmp/tavo-desktop.XXXXXX)
xvfb_pid="" openbox_pid="" compositor_pid="" bus_pid=""
finish() {
  for pid in $compositor_pid $bus_pid $openbox_pid; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  if [ -n "$xvfb_pid" ]; then
    # Ended under the start lock: an X server ending removes its display's socket files, which
    # one starting meanwhile may have taken for its own.
    exec {stoplock}>/tmp/.tavo-xvfb-start.lock
    flock -w 60 "$stoplock"
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    exec {stoplock}>&-
  fi
  rm -rf "$scratch"
}
trap finish EXIT

# The command in the Wayland session, its Wayland traffic logged apart from the rest of what it
# says; the compositor's log after a failure.
run_logged_then_exit() {
  export TAVO_WAYLAND_LOG=$scratch/wayland.log
  WAYLAND_DEBUG=client "$@" 2>"$TAVO_WAYLAND_LOG"
  local status=$?
  grep -av '^\[ *[0-9.]*\] ' "$TAVO_WAYLAND_LOG" >&2
  [ $status -eq 0 ] || { echo "--- $TAVO_DESKTOP's log:"; tail -20 "$scratch/compositor.log"; }
  exit $status
}

# Waits up to 30 s for the compositor to be ready (the command given), or skips.
await_compositor() {
  for _ in $(seq 300); do
    kill -0 "$compositor_pid" 2>/dev/null || break
    "$@" && return
    sleep 0.1
  done
  tail -5 "$scratch/compositor.log" 2>/dev/null
  skip "$TAVO_DESKTOP did not start"
}

if [[ $mode =~ ^(kwin|kwin-fullscreen|mutter)$ ]]; then
  mkdir -m 700 "$scratch/run" "$scratch/home"
  export XDG_RUNTIME_DIR=$scratch/run HOME=$scratch/home XDG_SESSION_TYPE=wayland
  export XDG_CONFIG_HOME=$scratch/home/.config XDG_DATA_HOME=$scratch/home/.local/share
  export XDG_CACHE_HOME=$scratch/home/.cache
  unset DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP QT_QPA_PLATFORM
  unset QT_WAYLAND_DISABLE_WINDOWDECORATION DBUS_SESSION_BUS_ADDRESS TAVO_WINDOW_RULE
  unset WESTON_HOST_DISPLAY
  exec {busfd}<> <(:)
  /usr/bin/dbus-daemon --session --nofork --print-address="$busfd" >/dev/null 2>&1 &
  bus_pid=$!
  read -r -t 30 -u "$busfd" DBUS_SESSION_BUS_ADDRESS || skip "the session bus did not start"
  export DBUS_SESSION_BUS_ADDRESS
  if [ "$mode" = mutter ]; then
    TAVO_DESKTOP=mutter
    /usr/bin/mutter --headless --wayland --no-x11 --virtual-monitor 1024x768 \
      --wayland-display=wayland-tavo >"$scratch/compositor.log" 2>&1 &
    compositor_pid=$!
  else
    TAVO_DESKTOP=kwin
    if [ "$mode" = kwin-fullscreen ]; then
      mkdir -p "$XDG_CONFIG_HOME"
      printf '%s\n' '[General]' count=1 rules=1 '' '[1]' 'Description=Tavo full screen' \
        fullscreen=true fullscreenrule=2 wmclass=tavo wmclassmatch=2 \
        >"$XDG_CONFIG_HOME/kwinrulesrc"
      export TAVO_WINDOW_RULE=fullscreen
    fi
    # A copy: the installed binary carries a file capability that a container cannot exec.
    cp /usr/bin/kwin_wayland "$scratch/kwin_wayland"
    KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
      "$scratch/kwin_wayland" --virtual --width 1024 --height 768 --no-lockscreen \
      --socket wayland-tavo >"$scratch/compositor.log" 2>&1 &
    compositor_pid=$!
  fi
  export TAVO_DESKTOP
  await_compositor test -S "$scratch/run/wayland-tavo"
  export WAYLAND_DISPLAY=wayland-tavo QT_QPA_PLATFORM=wayland
  run_logged_then_exit "$@"
fi

# One X server starts or ends at a time: one that picks its display while another ends can take
# that display's number and lose its socket files to the other's clean-up. A display that does
# not answer all the same is given up for another; none is reset between its clients.
exec {startlock}>/tmp/.tavo-xvfb-start.lock
flock -w 60 "$startlock" || skip "another X server's start held the lock for 60 s"
for attempt in 1 2 3; do
  exec {displayfd}<> <(:)
  /usr/bin/Xvfb -displayfd "$displayfd" -nolisten tcp -noreset -screen 0 1024x768x24 \
    >"$scratch/xvfb.log" 2>&1 {startlock}>&- &
  xvfb_pid=$!
  read -r -t 30 -u "$displayfd" xvfb_display || skip "Xvfb did not start"
  exec {displayfd}>&-
  for _ in $(seq 20); do
    /usr/bin/xprop -display ":$xvfb_display" -root >/dev/null 2>&1 && break 2
    sleep 0.1
  done
  echo "Xvfb's display :$xvfb_display does not answer (attempt $attempt)" >&2
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid="" xvfb_display=""
done
exec {startlock}>&-
[ -n "$xvfb_display" ] || skip "no display of Xvfb answered"

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
  --socket=wayland-tavo --idle-time=0 --log="$scratch/compositor.log" >/dev/null 2>&1 &
compositor_pid=$!
export TAVO_DESKTOP=weston
weston_ready() {
  xwayland_display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' \
    "$scratch/compositor.log" 2>/dev/null)
  [ -n "$xwayland_display" ] && [ -S "$scratch/run/wayland-tavo" ]
}
await_compositor weston_ready

export XDG_RUNTIME_DIR=$scratch/run XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-tavo
export DISPLAY=$xwayland_display WESTON_HOST_DISPLAY=:$xvfb_display
unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP QT_WAYLAND_DISABLE_WINDOWDECORATION
case $mode in
  wayland | xcb) export QT_QPA_PLATFORM=$mode ;;
  auto) unset QT_QPA_PLATFORM ;;
esac
run_logged_then_exit "$@"
