#!/usr/bin/env bash
# The scan window and its prompts at 96, 120 and 144 DPI: the test program
# runs once per resolution in a prefix of its own. Wine takes the resolution
# from HKCU\Control Panel\Desktop "LogPixels" (a DWORD; it wins over
# HKCU\Software\Fonts in the current hardware profile) when a process starts.
# The pictures that the program takes land in BUILD_DIR/screens as PNG files.
#   screen-layout.sh WINEBED PREFIX BUILD_DIR TEST_EXE
set -euo pipefail
winebed=$1 prefix=$2 build=$3 exe=$4
wine=/usr/lib/wine/wine64
shots=$build/screens

relative=$(realpath --relative-to="$build" "$exe")
program="Y:\\${relative//\//\\}"
shots_relative=$(realpath -m --relative-to="$build" "$shots")

# shellcheck disable=SC2317  # called by the trap
cleanup() {
  "$winebed" stop "$prefix"
  rm -rf "$prefix"
}
trap cleanup EXIT
"$winebed" create "$prefix" --network y:="$build" >/dev/null
DISPLAY=$("$winebed" display "$prefix")
export DISPLAY
"$winebed" start "$prefix"
rm -rf "$shots"
mkdir -p "$shots"

in_prefix() { (cd "$build" && WINEPREFIX="$prefix" WINEDEBUG=-all "$wine" "$@" </dev/null 2>&1); }

status=0
for dpi in 96 120 144; do
  in_prefix reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  echo "screen-layout: $dpi DPI"
  SCOURIX_TEST_DPI=$dpi SCOURIX_SHOTS="Y:\\${shots_relative//\//\\}" in_prefix "$program" || status=1
done

if command -v convert >/dev/null; then
  for bmp in "$shots"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi
exit $status
