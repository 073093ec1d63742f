#!/usr/bin/env bash
# Pages opened through the desktop's shell, in a prefix of its own: Wine's
# shell (explorer.exe /desktop) starts with the first window of a fresh
# server, and a shared prefix may have outlived its shell. The prefix poses
# as Windows 7 first, then as XP, where the program opens pages itself.
#   user-shell.sh WINEBED PREFIX BUILD_DIR TEST_EXE
set -euo pipefail
winebed=$1 prefix=$2 build=$3 exe=$4
wine=/usr/lib/wine/wine64

relative=$(realpath --relative-to="$build" "$exe")
program="Y:\\${relative//\//\\}"

# Stopping the server also ends the shell, which holds our output open.
trap '"$winebed" stop "$prefix"; rm -rf "$prefix"' EXIT
"$winebed" create "$prefix" --network y:="$build" >/dev/null
DISPLAY=$("$winebed" display "$prefix")
export DISPLAY
"$winebed" start "$prefix"

in_prefix() { (cd "$build" && WINEPREFIX="$prefix" WINEDEBUG=-all "$wine" "$@" </dev/null 2>&1); }

status=0
in_prefix "$program" --gtest_filter='UserShell.*' || status=1
personality=$("$winebed" version "$prefix" xp)
SCOURIX_PERSONALITY=$personality in_prefix "$program" --gtest_filter='UserShellBeforeVista.*' || status=1
exit $status
