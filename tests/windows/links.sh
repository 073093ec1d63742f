#!/usr/bin/env bash
# Directory links, which only the Linux side can make under Wine (Wine shows a
# Unix symlink to a folder as a directory with FILE_ATTRIBUTE_REPARSE_POINT):
# on D:, two links back to D:\ and one to a folder outside every drive; on
# E:, for each path-swap test, a folder "decoy-NAME" whose "dir" is a link to
# a folder outside every drive, ready to be renamed into place, and two
# sibling folders E:\sib\a and E:\sib\b, each with a link to the other.
#   links.sh WINEBED PREFIX BUILD_DIR TEST_EXE [ARCH (64 or 32, the prefix's Windows)]
set -euo pipefail
winebed=$1 prefix=$2 build=$3 exe=$4 arch=${5:-64}
d=$prefix-d e=$prefix-e outside=$prefix-outside

relative=$(realpath --relative-to="$build" "$exe")
program="Y:\\${relative//\//\\}"

rm -rf "$d" "$e" "$outside"
mkdir -p "$d/loops" "$e" "$outside/walk"
ln -s "$d" "$d/loops/a"
ln -s "$d" "$d/loops/b"
ln -s "$outside/walk" "$d/outside"
mkdir -p "$e/sib/a" "$e/sib/b"
ln -s "$e/sib/b" "$e/sib/a/tob"
ln -s "$e/sib/a" "$e/sib/b/toa"
for swap in path handle memory retry restart log; do
  mkdir -p "$e/decoy-$swap" "$outside/$swap"
  ln -s "$outside/$swap" "$e/decoy-$swap/dir"
done

# shellcheck disable=SC2317  # called by the trap
cleanup() {
  "$winebed" stop "$prefix"
  rm -rf "$prefix" "$d" "$e" "$outside"
}
trap cleanup EXIT
"$winebed" create "$prefix" --arch "$arch" --drive d:="$d" --drive e:="$e" --network y:="$build" >/dev/null
wine=$("$winebed" loader "$prefix" "$exe")
DISPLAY=$("$winebed" display "$prefix")
export DISPLAY
"$winebed" start "$prefix"

status=0
(cd "$build" && WINEPREFIX="$prefix" WINEDEBUG=-all "$wine" "$program" </dev/null 2>&1) || status=1

# The links are links still, and what lay outside every drive is all there.
for link in "$d/loops/a" "$d/loops/b" "$d/outside"; do
  [ -L "$link" ] || { echo "$link is no longer a link"; status=1; }
done
for file in walk/lax.exe path/worm.exe handle/worm.exe memory/worm.exe retry/worm.exe; do
  [ -f "$outside/$file" ] || { echo "the sample $file outside every drive is gone"; status=1; }
done

# The restart (wineboot -r performs the delayed-move list) deletes the sample
# moved into E:\Scourix.Removed, and nothing behind the link that took the
# place of the folder it was moved from.
"$winebed" stop "$prefix"
WINEPREFIX="$prefix" WINEDEBUG=-all "$wine" wineboot -r </dev/null >/dev/null 2>&1 || true
"$winebed" stop "$prefix"
[ -f "$outside/restart/worm.exe" ] || { echo "the restart deleted the user's file behind the link"; status=1; }
[ -z "$(ls -A "$outside/log")" ] || { echo "a log was written behind the link E:\\decoy-log\\dir"; status=1; }
moved=$(find "$e/Scourix.Removed" -type f 2>/dev/null | wc -l)
[ "$moved" = 0 ] || { echo "the restart left $moved file(s) in E:\\Scourix.Removed"; status=1; }
[ -d "$e/Scourix.Removed" ] || { echo "no E:\\Scourix.Removed was made"; status=1; }
exit $status
