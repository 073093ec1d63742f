#!/usr/bin/env bash
# A folder and a file without read access, for real: root passes every Unix
# permission through CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH, so the prefix's
# server and the test program run with those two taken out of the bounding
# set. The test program plants its files on D:, the folder and the file lose
# their permissions, and the program scans them.
#   no-access.sh WINEBED PREFIX BUILD_DIR TEST_EXE ARCH (64 or 32, the prefix's Windows)
set -euo pipefail
winebed=$1 prefix=$2 build=$3 exe=$4 arch=$5
drive=$prefix-d
# One argument, the capabilities taken out separated by commas.
# shellcheck disable=SC2054
without_override=(setpriv --bounding-set -dac_override,-dac_read_search --)

relative=$(realpath --relative-to="$build" "$exe")
program="Y:\\${relative//\//\\}"

# shellcheck disable=SC2317  # called by the trap
cleanup() {
  "$winebed" stop "$prefix"  # returns once the server is gone
  chmod -R u+rwX "$drive"
  rm -rf "$prefix" "$drive"
}
trap cleanup EXIT
rm -rf "$drive"
mkdir -p "$drive"
"$winebed" create "$prefix" --arch "$arch" --drive d:="$drive" --network y:="$build" >/dev/null
wine=$("$winebed" loader "$prefix" "$exe")
# The display first, with root's rights: the server below starts without them.
DISPLAY=$("$winebed" display "$prefix")
export DISPLAY
"${without_override[@]}" "$winebed" start "$prefix"

run() {
  (cd "$build" && WINEPREFIX="$prefix" WINEDEBUG=-all "${without_override[@]}" \
     "$wine" "$program" --gtest_filter="$1" </dev/null 2>&1)
}

status=0
run 'NoReadAccessSetup.*' || status=1
chmod 000 "$drive/locked" "$drive/open/sealed.exe"
run 'NoReadAccess.*' || status=1
"$winebed" stop "$prefix"

# What could not be read is still there, untouched.
chmod -R u+rwX "$drive"
[ -f "$drive/locked/inner.exe" ] || { echo "D:\\locked\\inner.exe is gone"; status=1; }
[ -f "$drive/open/sealed.exe" ] || { echo "D:\\open\\sealed.exe is gone"; status=1; }
exit $status
