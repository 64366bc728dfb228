#!/usr/bin/env bash
# Checks what installing Daubwork gives, from a built tree (default build/):
# installs it into a temporary prefix, checks that every file is there and
# validates the desktop entry, the AppStream file and the manual page; then
# builds the Debian package, prints its dependencies and runs lintian on it.
# Fails on a missing file, a validator's complaint or a lintian error.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
status=0
fail() {
  echo "check-install: $*" >&2
  status=1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.daubwork.Daubwork
desktop=share/applications/$id.desktop
metainfo=share/metainfo/$id.metainfo.xml
manual=share/man/man1/daubwork.1
for f in bin/daubwork "$desktop" "$metainfo" "$manual" \
  share/daubwork/{image1.jpg,sphere.obj,sphere.mtl,sphere.png,README.md} \
  share/doc/daubwork/copyright; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
[ -x "$prefix/bin/daubwork" ] || fail "bin/daubwork is not executable"
for size in 48 128 256; do
  icon=share/icons/hicolor/${size}x${size}/apps/$id.png
  if ! [ -f "$prefix/$icon" ]; then
    fail "not installed: $icon"
  elif [ "$(identify -format '%m %wx%h' "$prefix/$icon")" != "PNG ${size}x${size}" ]; then
    fail "$icon is not a ${size}x${size} PNG"
  fi
done

echo "== desktop entry"
desktop-file-validate "$prefix/$desktop" || fail "desktop-file-validate rejects $desktop"
# The entry must start the installed program, show the installed icon and
# match the main window's class.
for line in Exec=daubwork Icon=$id StartupWMClass=Daubwork; do
  grep -qx "$line" "$prefix/$desktop" || fail "$desktop lacks $line"
done

echo "== AppStream"
appstreamcli validate --no-net "$prefix/$metainfo" || fail "appstreamcli rejects $metainfo"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
grep -q "<release version=\"$version\"" "$prefix/$metainfo" ||
  fail "$metainfo has no release entry for version $version"

echo "== manual page"
warnings=$( {
  MANWIDTH=80 man --warnings -l "$prefix/$manual" >/dev/null && groff -man -ww -z "$prefix/$manual"
} 2>&1) || fail "man or groff cannot read $manual"
[ -z "$warnings" ] || fail "warnings from man or groff on $manual:"$'\n'"$warnings"
grep -q "$prefix/share/daubwork" "$prefix/$manual" ||
  fail "$manual does not name the folder the samples were installed in"

echo "== Debian package"
deb=$(tools/make-deb.sh "$build" 2>/dev/null) || { fail "tools/make-deb.sh failed"; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
echo "$deb: Depends: $depends"
# From dpkg-shlibdeps: without it the package would claim to need nothing.
[[ "$depends" == *libglut* ]] || fail "the package's dependencies lack GLUT's library"
# Warnings and notes are shown; an error fails the check.
lintian_status=0
report=$(lintian --fail-on error --display-info "$deb" 2>&1) || lintian_status=$?
grep -v '^running with root privileges' <<<"$report" || true
[ "$lintian_status" = 0 ] || fail "lintian reports errors on $deb"

if [ "$status" = 0 ]; then echo "check-install: passed"; fi
exit "$status"
