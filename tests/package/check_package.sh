#!/usr/bin/env bash
# Builds the Debian package from a built tree, unpacks it into a scratch root and checks what a
# desktop needs: the program, the menu entry (valid), the icons, computed dependencies.
set -euo pipefail
build_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cpack --config "$build_dir/CPackConfig.cmake" -B "$scratch/out" >/dev/null
deb=$(ls "$scratch"/out/velarn_*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -x "$deb" "$scratch/root"

fail() { echo "FAIL: $*"; exit 1; }
[ -x "$scratch/root/usr/bin/velarn" ] || fail "usr/bin/velarn missing"
desktop="$scratch/root/usr/share/applications/velarn.desktop"
[ -f "$desktop" ] || fail "desktop entry missing"
desktop-file-validate "$desktop" || fail "desktop entry invalid"
grep -qx 'Exec=velarn' "$desktop" || fail "Exec line"
grep -qx 'StartupWMClass=velarn' "$desktop" || fail "StartupWMClass"
grep -qx 'Categories=Utility;Accessibility;' "$desktop" || fail "Categories"
[ -f "$scratch/root/usr/share/icons/hicolor/scalable/apps/velarn.svg" ] || fail "SVG icon"
for size in 16 32 48 64 128 256; do
  png="$scratch/root/usr/share/icons/hicolor/${size}x${size}/apps/velarn.png"
  [ -f "$png" ] || fail "PNG icon $size"
  file "$png" | grep -q "PNG image data, $size x $size" || fail "PNG icon $size is not ${size}x$size"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for lib in libqt6widgets6 libsdl2 libespeak-ng1 libsoxr0 qt6-qpa-plugins; do
  echo "$depends" | grep -q "$lib" || fail "dependency on $lib missing"
done
version=$(dpkg-deb -f "$deb" Version)
[ "$version" = "$2" ] || fail "version $version, expected $2"
echo "package checks passed"
