#!/usr/bin/env bash
# Checks Tavo's desktop integration and its Debian package.
# Usage: check_packaging.sh desktop|metainfo|install|deb SOURCE_DIR BUILD_DIR
# The install paths relative to the prefix come from TAVO_BINDIR and TAVO_DATADIR (the
# build's GNUInstallDirs values), the expected version from TAVO_VERSION.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 desktop|metainfo|install|deb SOURCE_DIR BUILD_DIR" >&2; exit 2; }
mode=$1
src=$(cd "$2" && pwd)
build=$(cd "$3" && pwd)
bindir=${TAVO_BINDIR:-bin}
datadir=${TAVO_DATADIR:-share}
version=${TAVO_VERSION:-1.1.0}
app_id=io.github.tavo.Tavo
desktop=$src/packaging/$app_id.desktop
metainfo=$src/packaging/$app_id.metainfo.xml

# What every install holds, relative to its prefix; nothing else may be installed.
expected=(
  "$bindir/tavo"
  "$datadir/applications/$app_id.desktop"
  "$datadir/metainfo/$app_id.metainfo.xml"
  "$datadir/icons/hicolor/32x32/apps/$app_id.png"
  "$datadir/icons/hicolor/64x64/apps/$app_id.png"
  "$datadir/icons/hicolor/128x128/apps/$app_id.png"
  "$datadir/icons/hicolor/scalable/apps/$app_id.svg"
)
# Runtime packages the .deb must depend on: the Qt libraries, libcups, the xcb platform plugin
# (only recommended by libqt6gui6) and the fonts the window substitutes for its faces.
required_depends=(
  libqt6gui6 libqt6widgets6 libqt6printsupport6 libcups2 qt6-qpa-plugins
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-dejavu-core
)

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
need() {
  command -v "$1" >/dev/null || { echo "FAIL: $1 not found (package $2; scripts/setup.sh installs it)" >&2; exit 1; }
}
need_built_program() {
  [ -x "$build/tavo" ] || { echo "FAIL: $build/tavo is not built; build the tavo target first" >&2; exit 1; }
}
scratch=$(mktemp -d)
# Every install from the build tree, cpack's included, rewrites its install_manifest.txt,
# which a user may still need to uninstall a real install: put it back as it was.
manifest=$build/install_manifest.txt
if [ -f "$manifest" ]; then cp -p "$manifest" "$scratch/manifest"; fi
cleanup() {
  if [ -f "$scratch/manifest" ]; then cp -p "$scratch/manifest" "$manifest"; else rm -f "$manifest"; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# The value of KEY in the [Desktop Entry] group of a desktop file.
desktop_key() {
  awk -F= -v key="$2" '/^\[/ { group = $0 } group == "[Desktop Entry]" && $1 == key { print substr($0, length(key) + 2); exit }' "$1"
}

# Prints "WIDTH HEIGHT" of a PNG file, read from its IHDR chunk; nothing if it is no PNG.
png_size() {
  local sig
  sig=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
  [ "$sig" = 89504e470d0a1a0a ] || return 0
  od -An -tu1 -j16 -N8 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }'
}

# Checks the files of an install rooted at $1 (a prefix holding the expected tree).
check_tree() {
  local root=$1 rel file size want
  for rel in "${expected[@]}"; do
    [ -f "$root/$rel" ] || fail "missing $rel"
  done
  [ -x "$root/$bindir/tavo" ] || fail "$bindir/tavo is not executable"
  while IFS= read -r rel; do
    printf '%s\n' "${expected[@]}" | grep -qxF "$rel" || fail "unexpected file installed: $rel"
  done < <(cd "$root" && find . -type f -printf '%P\n' | sort)
  for size in 32 64 128; do
    file=$root/$datadir/icons/hicolor/${size}x${size}/apps/$app_id.png
    [ -f "$file" ] || continue
    want="$size $size"
    [ "$(png_size "$file")" = "$want" ] || fail "${size}x${size} icon is '$(png_size "$file")' pixels, not a $want PNG"
  done
  file=$root/$datadir/icons/hicolor/scalable/apps/$app_id.svg
  if [ -f "$file" ]; then
    if command -v xmllint >/dev/null; then
      xmllint --noout "$file" || fail "scalable icon is not well-formed XML"
    fi
    grep -q '<svg[ >]' "$file" || fail "scalable icon has no <svg> element"
  fi
}

case $mode in
desktop)
  need desktop-file-validate desktop-file-utils
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
  # The launcher must start the installed program by name and name the installed icon.
  for pair in Type=Application Exec=tavo "Icon=$app_id" Terminal=false Name=Tavo; do
    key=${pair%%=*}
    [ "$(desktop_key "$desktop" "$key")" = "${pair#*=}" ] || fail "$key is '$(desktop_key "$desktop" "$key")', not '${pair#*=}'"
  done
  for key in 'Name[ja]' Comment 'Comment[ja]' Categories; do
    [ -n "$(desktop_key "$desktop" "$key")" ] || fail "$key is missing"
  done
  # Window managers match the running window to this file through the desktop file name.
  grep -qF "setDesktopFileName(QStringLiteral(\"$app_id\"))" "$src/app/main.cpp" ||
    fail "app/main.cpp does not set the desktop file name $app_id"
  ;;
metainfo)
  need appstreamcli appstream
  appstreamcli validate --no-net --pedantic --strict "$metainfo" || fail "appstreamcli rejects $metainfo"
  grep -qF "<id>$app_id</id>" "$metainfo" || fail "metainfo id is not $app_id"
  grep -qF "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "metainfo does not launch $app_id.desktop"
  grep -qF '<binary>tavo</binary>' "$metainfo" || fail "metainfo does not provide the binary tavo"
  grep -qE "<release version=\"$version\" date=\"[0-9]{4}-[0-9]{2}-[0-9]{2}\"" "$metainfo" ||
    fail "metainfo has no dated release $version (the project's version)"
  ;;
install)
  need_built_program
  need desktop-file-validate desktop-file-utils
  need appstreamcli appstream
  prefix=$scratch/prefix
  cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || {
    cat "$scratch/install.log" >&2
    fail "cmake --install failed"
  }
  check_tree "$prefix"
  desktop-file-validate "$prefix/$datadir/applications/$app_id.desktop" || fail "installed desktop file is invalid"
  # Checks the metainfo together with the desktop file it launches, as software centres read them.
  appstreamcli validate-tree --no-net --pedantic --strict "$prefix" || fail "appstreamcli rejects the installed tree"
  ;;
deb)
  need_built_program
  need cpack cmake
  need dpkg-deb dpkg
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack -G DEB failed" >&2
    exit 1
  }
  mapfile -t debs < <(find "$scratch/pkg" -maxdepth 1 -name 'tavo_*.deb')
  [ ${#debs[@]} -eq 1 ] || { echo "FAIL: expected one tavo_*.deb, found ${#debs[@]}" >&2; exit 1; }
  deb=${debs[0]}
  echo "built $(basename "$deb")"
  dpkg-deb -I "$deb"
  [ "$(dpkg-deb -f "$deb" Package)" = tavo ] || fail "package name is not tavo"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "package is not for $(dpkg --print-architecture)"
  for field in Maintainer Description Section Homepage; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "package has no $field"
  done
  depends=$(dpkg-deb -f "$deb" Depends)
  mapfile -t depend_names < <(tr ',|' '\n' <<<"$depends" | sed -E 's/\(.*\)//; s/^ +//; s/ +$//' | grep -v '^$')
  for pkg in "${required_depends[@]}"; do
    printf '%s\n' "${depend_names[@]}" | grep -qxF "$pkg" || fail "Depends lacks $pkg: $depends"
  done
  # A misspelt dependency would make the package uninstallable; apt knows every real one.
  if command -v apt-cache >/dev/null; then
    for pkg in "${depend_names[@]}"; do
      apt-cache show --no-all-versions "$pkg" >/dev/null 2>&1 || fail "Depends names $pkg, which apt does not know"
    done
  fi
  dpkg-deb -c "$deb" >"$scratch/contents"
  dpkg-deb -x "$deb" "$scratch/root"
  check_tree "$scratch/root/usr"
  awk '$2 != "root/root" { print "FAIL: not owned by root: " $0; bad = 1 } END { exit bad }' "$scratch/contents" >&2 ||
    fail "package files must belong to root"
  grep -qE '^-rwxr-xr-x .* \./usr/'"$bindir"'/tavo$' "$scratch/contents" || fail "usr/$bindir/tavo is not installed mode 0755"
  ;;
*)
  echo "unknown check '$mode'" >&2
  exit 2
  ;;
esac

if [ $failures -gt 0 ]; then
  echo "$mode: $failures check(s) failed" >&2
  exit 1
fi
echo "$mode: packaging checks passed"
