#!/usr/bin/env bash
# Checks Tavo's desktop integration and what `cmake --install` installs (the Debian package
# is checked by check_deb.sh).
# Usage: check_packaging.sh desktop|metainfo|install SOURCE_DIR BUILD_DIR
# The install paths relative to the prefix come from TAVO_BINDIR, TAVO_DATADIR and
# TAVO_MANDIR (the build's GNUInstallDirs values), the expected version from TAVO_VERSION.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 desktop|metainfo|install SOURCE_DIR BUILD_DIR" >&2; exit 2; }
mode=$1
src=$(cd "$2" && pwd)
build=$(cd "$3" && pwd)
bindir=${TAVO_BINDIR:-bin}
datadir=${TAVO_DATADIR:-share}
mandir=${TAVO_MANDIR:-share/man}
version=${TAVO_VERSION:-1.1}
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
  "$mandir/man1/tavo.1"
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
# Every install from the build tree rewrites its install_manifest.txt,
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

# appstreamcli validate --no-net --pedantic --strict with ARGS, failing on any issue but one:
# AppStream before 1.0 (Debian 12 has 0.16) does not know the <developer> element that
# replaced <developer_name>, and says so as an info. Later versions know it.
validate_appstream() {
  local out rc=0
  out=$(appstreamcli "$@" --no-net --pedantic --strict 2>&1) || rc=$?
  printf '%s\n' "$out"
  [ $rc -eq 0 ] && return 0
  # validate-tree indents its issues under each file's name.
  grep -E '^ *[EWI]: ' <<<"$out" | grep -vE '^ *I: [^ ]+ unknown-tag developer$' | grep -q . && return 1
  grep -qE '^ *I: [^ ]+ unknown-tag developer$' <<<"$out"
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
  grep -qF "setDesktopFileName(QStringLiteral(\"$app_id\"))" "$src/main.cpp" ||
    fail "main.cpp does not set the desktop file name $app_id"
  ;;
metainfo)
  need appstreamcli appstream
  validate_appstream validate "$metainfo" || fail "appstreamcli rejects $metainfo"
  # Claims a software centre would show: none may point at something that does not exist.
  for tag in '<url ' '<screenshot' '<developer_name>'; do
    ! grep -qF "$tag" "$metainfo" || fail "metainfo has $tag, but there is nothing true to put there"
  done
  grep -qF '<lang>ja</lang>' "$metainfo" || fail "metainfo does not say the program is in Japanese"
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
  validate_appstream validate-tree "$prefix" || fail "appstreamcli rejects the installed tree"
  # A manual page that man cannot format is as good as none.
  if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$prefix/$mandir/man1/tavo.1" 2>&1 >/dev/null) || fail "man cannot format tavo.1"
    [ -z "$warnings" ] || fail "tavo.1 has formatting problems: $warnings"
  fi
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
