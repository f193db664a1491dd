#!/usr/bin/env bash
# Builds the Debian package the Debian way from a copy of the source tree, then checks it as
# a packager would: lintian --pedantic with no error or warning, the files it installs, its
# dependencies, and the hardening of the installed program.
# Usage: check_deb.sh SOURCE_DIR
# The copy holds what git sees in the working tree: tracked files as they are now, edited or
# not, and new files that .gitignore does not exclude; so the test checks the tree being
# worked on, never a build folder. Outside git, the whole tree but build*/ is copied.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 SOURCE_DIR" >&2; exit 2; }
src=$(cd "$1" && pwd)
version=${TAVO_VERSION:-1.1}
app_id=io.github.tavo.Tavo

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
for tool in dpkg-buildpackage:dpkg-dev dpkg-source:dpkg-dev dh:debhelper fakeroot:fakeroot \
  lintian:lintian readelf:binutils; do
  command -v "${tool%%:*}" >/dev/null ||
    { echo "FAIL: ${tool%%:*} not found (package ${tool#*:}; scripts/setup.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tavo-$version
mkdir "$tree"
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$src" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf -) | tar -C "$tree" -xf -
else
  tar -C "$src" --exclude='./build*' -cf - . | tar -C "$tree" -xf -
fi

(cd "$tree" && dpkg-checkbuilddeps) || { echo "FAIL: build dependencies missing; run scripts/setup.sh" >&2; exit 1; }
# The source package first, while the tree is clean, so lintian sees debian/ as it ships.
(cd "$work" && dpkg-source -b "tavo-$version") >"$work/source.log" 2>&1 ||
  { cat "$work/source.log" >&2; echo "FAIL: dpkg-source -b failed" >&2; exit 1; }
echo "building the binary package (dpkg-buildpackage -b -us -uc)..."
(cd "$tree" && dpkg-buildpackage -b -us -uc) >"$work/build.log" 2>&1 ||
  { tail -n 60 "$work/build.log" >&2; echo "FAIL: dpkg-buildpackage failed" >&2; exit 1; }
grep -E '^ *dpkg-buildflags|-fstack-protector|-D_FORTIFY_SOURCE' "$work/build.log" >/dev/null ||
  fail "the build log shows no hardening flags"

arch=$(dpkg --print-architecture)
deb=$work/tavo_${version}_${arch}.deb
changes=$work/tavo_${version}_${arch}.changes
dsc=$work/tavo_${version}.dsc
for f in "$deb" "$changes" "$dsc"; do
  [ -f "$f" ] || { ls -l "$work" >&2; echo "FAIL: $(basename "$f") was not built" >&2; exit 1; }
done

# Lintian: any error or warning fails (its status 2); overrides are in debian/, each with its
# reason. Infos and pedantic tags are shown, not failed on.
lintian_rc=0
lintian --pedantic --display-info --display-experimental --show-overrides --fail-on error,warning \
  "$changes" "$dsc" >"$work/lintian.log" 2>&1 || lintian_rc=$?
cat "$work/lintian.log"
case $lintian_rc in
0) ;;
2) fail "lintian reports errors or warnings (above)" ;;
*) fail "lintian could not check the package (status $lintian_rc)" ;;
esac

# What the package installs: exactly these files.
expected=(
  ./usr/bin/tavo
  ./usr/share/applications/$app_id.desktop
  ./usr/share/metainfo/$app_id.metainfo.xml
  ./usr/share/icons/hicolor/32x32/apps/$app_id.png
  ./usr/share/icons/hicolor/64x64/apps/$app_id.png
  ./usr/share/icons/hicolor/128x128/apps/$app_id.png
  ./usr/share/icons/hicolor/scalable/apps/$app_id.svg
  ./usr/share/man/man1/tavo.1.gz
  ./usr/share/doc/tavo/copyright
  # A native package's changelog is changelog.gz; changelog.Debian.gz is for the others.
  ./usr/share/doc/tavo/changelog.gz
)
dpkg-deb -c "$deb" >"$work/contents"
awk '$1 ~ /^-/ { print $NF }' "$work/contents" | sort >"$work/files"
printf '%s\n' "${expected[@]}" | grep -v '^#' | sort >"$work/expected"
diff -u "$work/expected" "$work/files" || fail "the package's files differ from the list above (- missing, + unexpected)"
awk '$2 != "root/root"' "$work/contents" | grep . && fail "package files must belong to root"
grep -qE '^-rwxr-xr-x .* \./usr/bin/tavo$' "$work/contents" || fail "/usr/bin/tavo is not mode 0755"

# Dependencies: the libraries the program links (from shlibs), and what it only loads or
# asks for at run time: the xcb and Wayland platform plugins and the fonts the window draws its faces with.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"
for pkg in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 qt6-qpa-plugins qt6-wayland \
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-dejavu-core libcanberra0; do
  tr ',|' '\n\n' <<<"$depends" | sed -E 's/\(.*\)//; s/^ +//; s/ +$//' | grep -qxF "$pkg" ||
    fail "Depends lacks $pkg"
done
# The beep is heard only through libcanberra's pulse backend and a bell in a sound theme.
recommends=$(dpkg-deb -f "$deb" Recommends)
for pkg in libcanberra-pulse sound-theme-freedesktop; do
  tr ',|' '\n\n' <<<"$recommends" | sed -E 's/\(.*\)//; s/^ +//; s/ +$//' | grep -qxF "$pkg" ||
    fail "Recommends lacks $pkg"
done

# The installed program: hardened and finding its libraries where the system puts them.
dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin/tavo
dynamic=$(readelf -d "$bin")
! grep -qE '\((RPATH|RUNPATH)\)' <<<"$dynamic" || fail "tavo has an RPATH or RUNPATH: $(grep -E 'R(UN)?PATH' <<<"$dynamic")"
grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*\bNOW\b' <<<"$dynamic" || fail "tavo is not linked with BIND_NOW"
grep -qE '\(FLAGS_1\).*\bPIE\b' <<<"$dynamic" || fail "tavo is not a position-independent executable"
symbols=$(readelf --dyn-syms -W "$bin")
grep -qE ' __stack_chk_fail(@|$)' <<<"$symbols" || fail "tavo is built without the stack protector"
grep -qE ' __[a-z0-9_]+_chk(@|$)' <<<"$symbols" || fail "tavo is built without _FORTIFY_SOURCE"
readelf -S -W "$bin" | grep -qE '\.debug_|\.comment' && fail "tavo is not stripped (debug or comment sections)"
# The program must run from the package, asked for its version without any display.
"$bin" --version | grep -qxF "tavo $version" || fail "the packaged tavo --version does not print 'tavo $version'"

if [ $failures -gt 0 ]; then
  echo "deb: $failures check(s) failed" >&2
  exit 1
fi
echo "deb: $(basename "$deb") built, lintian clean, files and hardening checked"
