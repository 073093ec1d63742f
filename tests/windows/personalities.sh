#!/usr/bin/env bash
# Runs the cleaning tests of each Windows personality in a prefix of their own:
# the prefix's version is switched between runs (it takes effect for the next
# process), so the shared test prefix never stops posing as Windows 7.
#   personalities.sh WINEBED PREFIX BUILD_DIR TEST_EXE
set -euo pipefail
winebed=$1 prefix=$2 build=$3 exe=$4
wine=/usr/lib/wine/wine64

relative=$(realpath --relative-to="$build" "$exe")
program="Y:\\${relative//\//\\}"

"$winebed" create "$prefix" --network y:="$build" >/dev/null
DISPLAY=$("$winebed" display)
export DISPLAY
trap '"$winebed" stop "$prefix"; rm -rf "$prefix"' EXIT
"$winebed" start "$prefix"

in_prefix() { WINEPREFIX="$prefix" WINEDEBUG=-all "$@"; }

failed=0
run() {  # run VERSION FILTER [DLL OVERRIDES]
  local version=$1 filter=$2 overrides=${3:-}
  in_prefix "$wine" reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$version" /f \
    </dev/null >/dev/null 2>&1
  echo "=== $version: $filter"
  local output
  if ! output=$(cd "$build" && in_prefix env SCOURIX_PERSONALITY="$version" \
                  WINEDLLOVERRIDES="mscoree,mshtml=${overrides:+;$overrides}" \
                  "$wine" "$program" --gtest_filter="$filter" </dev/null 2>&1); then
    failed=1
  fi
  echo "$output"
  # A personality that did not take would skip its tests instead of failing them.
  if grep -q '^\[  SKIPPED \]' <<<"$output" || ! grep -q '^\[  PASSED  \]' <<<"$output"; then
    failed=1
  fi
}

run win98 'Windows98.*'
run nt40 'WindowsNT4.*'
run win2k 'Windows2000.*'
run winxp 'WindowsXP.*'
run winxp 'WindowsXPWithoutPsapi.*' 'psapi=d'
run win10 'Windows10.*'
exit $failed
