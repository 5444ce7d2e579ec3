#!/usr/bin/env bash
# The Debian package as a machine receives it: built with cpack from the build folder, its control data and
# file list checked, unpacked into a fresh root, and the installed Tessarin (reached through bin/ on the
# PATH) printing a job into the installed virtual printer.
#   PackageTest.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
version=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/tessarin-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TESSARIN_TRACE_FILE="$work/trace.log"

fail() { echo "FAIL: $*" >&2; exit 1; }
has_line() {  # text, pattern (extended regex), what
  grep -Eq -- "$2" <<<"$1" || fail "$3"
}
depends_on() {  # package name
  tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -xF -- "$1" >/dev/null
}

echo "== cpack"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
deb="$work/pkg/tessarin_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work/pkg" >&2; fail "no $deb"; }

echo "== control data"
info=$(dpkg-deb --info "$deb")
has_line "$info" '^ Package: tessarin$' "package name"
has_line "$info" "^ Version: ${version//./\\.}\$" "version"
has_line "$info" "^ Architecture: $arch\$" "architecture"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
echo "Depends: $depends"
for lib in libc6 libstdc++6 libusb-1.0-0; do
  depends_on "$lib" || fail "Depends lacks $lib"
done
needed=$(readelf -d "$build/Tessarin")
if grep -q 'libQt6Widgets' <<<"$needed"; then
  depends_on libqt6widgets6 || fail "Depends lacks the Qt widgets runtime the program links"
fi
mkdir "$work/control"
dpkg-deb --control "$deb" "$work/control"
if [ -f "$work/control/postinst" ] && grep -q 'systemctl\|deb-systemd' "$work/control/postinst"; then
  fail "postinst touches the service; it must ship disabled"
fi

# Whether apt could install it on a machine that has nothing yet: resolved against the archive's package
# lists with an empty package database. Needs the lists (apt-get update); without them this step is skipped.
policy=$(apt-cache policy libc6 2>/dev/null || true)
if command -v apt-get >/dev/null && grep -q 'http\|file:' <<<"$policy"; then
  : >"$work/empty-status"
  apt-get install -s --no-install-recommends -o Dir::State::status="$work/empty-status" "$deb" \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt cannot install the package on an empty system"; }
  grep -q '^Inst tessarin ' "$work/apt.log" || { cat "$work/apt.log" >&2; fail "apt would not install tessarin"; }
  echo "apt on an empty system: $(grep -c '^Inst ' "$work/apt.log") packages to install"
else
  echo "(no apt package lists: the install check on an empty system is skipped)"
fi

echo "== contents"
contents=$(dpkg-deb --contents "$deb")
prog=./usr/lib/tessarin
for path in $prog/Tessarin $prog/Korinstal $prog/VirtualPrinter.so $prog/VirtualPrinterSetting.so \
            $prog/Tessarin.ini $prog/vkconfig.ini $prog/Align/default.txt $prog/Align/TempVol.txt \
            $prog/Config/PP.ini $prog/tessarin-home \
            $prog/99-tessarin-board.rules $prog/tessarin.desktop $prog/tessarin-mime.xml $prog/tessarin.svg \
            ./usr/share/applications/tessarin.desktop ./usr/share/mime/packages/tessarin.xml \
            ./usr/share/icons/hicolor/scalable/apps/tessarin.svg ./usr/lib/udev/rules.d/99-tessarin-board.rules \
            ./usr/lib/systemd/system/tessarin.service; do
  has_line "$contents" " ${path//./\\.}( |$)" "the package lacks $path"
done
has_line "$contents" ' \./usr/bin/Tessarin -> \.\./lib/tessarin/Tessarin$' "bin/Tessarin is not a link to the program"
if [ -d "$source/resources/Language" ]; then
  has_line "$contents" " $prog/Language/" "the package lacks the language files"
fi
grep -q "$work\|_CPack_Packages" <<<"$contents" && fail "a build path leaked into the file list"

echo "== unpacked into a fresh root"
root="$work/root"
dpkg-deb -x "$deb" "$root"
unit=$(cat "$root/usr/lib/systemd/system/tessarin.service")
has_line "$unit" '^ExecStart=/usr/bin/Tessarin --headless ' "the service does not run the installed program headless"
has_line "$unit" '^ExecStartPre=/usr/lib/tessarin/tessarin-home ' "the service does not make its program directory"
grep -q '_CPack_Packages' "$root/usr/lib/systemd/system/tessarin.service" && fail "a build path leaked into the unit"

"$build/tools/tessarin-makejob" --width 96 --height 40 --pattern bands "$work/job.prn" >/dev/null

# An X spacing of 8 makes each copy's cell exactly the job's own plane row, so the printer receives the job's
# raster data byte for byte.
print_and_check() {  # what, output folder, Tessarin arguments...
  local what=$1 output=$2; shift 2
  echo "-- $what"
  PATH="$root/usr/bin:/usr/bin:/bin" timeout 30 Tessarin --headless --exit-when-idle --port 0 --x-spacing 8 "$@" \
    "$work/job.prn" \
    >"$work/run.out" 2>&1 || { cat "$work/run.out" >&2; fail "$what: Tessarin did not print the job"; }
  local session="$output/session-0001"
  [ -f "$session/summary.ini" ] || { cat "$work/run.out" >&2; fail "$what: no session in $output"; }
  grep -qx 'End=EndRipData' "$session/summary.ini" || fail "$what: the session did not end with EndRipData"
  grep -qx 'Height=40' "$session/summary.ini" && grep -qx 'BytePerLine=96' "$session/summary.ini" \
    || fail "$what: wrong header in the session"
  cmp -s <(tail -c +49 "$work/job.prn") "$session/data.bin" || fail "$what: the printed data differ from the job"
}
# The program directory is the installed one, found through the link on the PATH.
print_and_check "installed program directory" "$root/usr/lib/tessarin/VirtualPrinterOutput"
# A writable program directory made from the installed one, as the service makes it.
"$root/usr/lib/tessarin/tessarin-home" "$work/home"
echo "; the site's own" >>"$work/home/Tessarin.ini"
"$root/usr/lib/tessarin/tessarin-home" "$work/home"
grep -qx "; the site's own" "$work/home/Tessarin.ini" || fail "a second tessarin-home replaced the settings"
print_and_check "program directory made by tessarin-home" "$work/home/VirtualPrinterOutput" --home "$work/home"
[ -L "$work/home/VirtualPrinter.so" ] || fail "tessarin-home copied the printer library instead of linking it"
[ -d "$work/home/hot" ] || fail "tessarin-home made no hot folder"

echo "== package test passed"
