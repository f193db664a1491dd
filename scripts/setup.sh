#!/usr/bin/env bash
# Installs the Debian packages Tavo needs to build, run and test. A no-op when they are present.
set -euo pipefail
packages=(
  cmake g++ make
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-dejavu-core
  poppler-utils desktop-file-utils appstream dpkg-dev file man-db
  # Building and checking the Debian package (debian/control's Build-Depends among them)
  build-essential debhelper fakeroot lintian libcanberra-dev libcups2-dev
  # The accessibility bus and desktop tests: a display, a window manager, its hints read back
  # (xprop), D-Bus, AT-SPI and its Python client
  xvfb openbox xdotool x11-utils dbus-daemon dbus-bin at-spi2-core python3-pyatspi python3-gi
  # Beeps through the sound server; the tests run a PulseAudio of their own and record it
  libcanberra-pulse sound-theme-freedesktop pkgconf pulseaudio pulseaudio-utils sox
  # The bell's theme as GNOME names it, read through GSettings in the tests
  libglib2.0-bin gsettings-desktop-schemas
  # Printing through a print server of the tests' own: cupsd, its clients, the generic PDF driver
  cups-daemon cups-client cups-filters
  # lpadmin's driver lookup (cups-driverd) is in the full print server package
  cups
  # The format check; xvfb-run's authority file (xvfb only recommends xauth)
  clang-format xauth
  # Wayland: Qt's plugin for it, and a real compositor with Xwayland for the tests
  qt6-wayland weston xwayland
  # The screen-reader test: Orca speaking through speech-dispatcher with the espeak-ng Japanese
  # voice (into the tests' own PulseAudio), in a ja_JP.UTF-8 locale the test makes with localedef
  orca speech-dispatcher speech-dispatcher-espeak-ng espeak-ng locales
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
