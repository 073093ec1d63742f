#!/usr/bin/env bash
# The false-positive scan: a fresh prefix whose C: is Wine's own Windows and
# whose D: holds copies of every DLL that the MinGW packages install, scanned
# whole by the real engine with action 103. Afterwards the prefix's files and
# the DLLs must be exactly as before.
#   false-positives.sh WINEBED PREFIX BUILD_DIR TEST_EXE ARCH (64 or 32, the prefix's Windows)
set -euo pipefail
winebed=$1 prefix=$2 build=$3 exe=$4 arch=$5
dlls=$prefix-mingw

relative=$(realpath --relative-to="$build" "$exe")
program="Y:\\${relative//\//\\}"

# Copies, so that nothing the scan could do reaches the toolchains themselves;
# each keeps its installed path below D:.
rm -rf "$dlls"
mkdir -p "$dlls"
mapfile -d '' sources < <(find /usr/lib/gcc/*-w64-mingw32 /usr/*-w64-mingw32 -type f -iname '*.dll' -print0 2>/dev/null)
[ ${#sources[@]} -gt 0 ] || { echo "no MinGW DLLs found"; exit 1; }
for source in "${sources[@]}"; do
  mkdir -p "$dlls$(dirname "$source")"
  cp -p "$source" "$dlls$source"
done
echo "MinGW DLLs on D: ${#sources[@]}"

# shellcheck disable=SC2317  # called by the trap
cleanup() {
  "$winebed" stop "$prefix"  # returns once the server is gone
  rm -rf "$prefix" "$dlls"
}
trap cleanup EXIT
"$winebed" create "$prefix" --arch "$arch" --drive d:="$dlls" --network y:="$build" >/dev/null
wine=$("$winebed" loader "$prefix" "$exe")
DISPLAY=$("$winebed" display "$prefix")
export DISPLAY
"$winebed" start "$prefix"

# Every file with its size, time and mode, and a digest of every program file.
listing() {
  (cd "$prefix/drive_c" && find . -type f -printf 'C %p %s %T@ %m\n')
  (cd "$dlls" && find . -type f -printf 'D %p %s %T@ %m\n')
  (cd "$prefix/drive_c" && find . -type f \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.sys' -o -iname '*.drv' -o -iname '*.ocx' -o -iname '*.cpl' \) -print0 | xargs -0 sha256sum)
  (cd "$dlls" && find . -type f -print0 | xargs -0 sha256sum)
}
before=$(listing | sort)

status=0
(cd "$build" && WINEPREFIX="$prefix" WINEDEBUG=-all SCOURIX_FP_MINGW_DLLS=${#sources[@]} \
  "$wine" "$program" </dev/null 2>&1) || status=1

"$winebed" stop "$prefix"
after=$(listing | sort)
if [ "$before" != "$after" ]; then
  echo "the scan changed files:"
  diff <(echo "$before") <(echo "$after") | head -40
  status=1
fi
for source in "${sources[@]}"; do
  cmp -s "$source" "$dlls$source" || { echo "changed: $source"; status=1; }
done
exit $status
