#!/usr/bin/env bash
# Runs the cleaning tests of each Windows personality in a prefix of their own:
# the prefix's version is switched between runs (it takes effect for the next
# process), so the shared test prefix never stops posing as Windows 7.
#   personalities.sh WINEBED PREFIX BUILD_DIR TEST_EXE ARCH [PERSONALITY...]
# ARCH: 64 or 32, the prefix's Windows. PERSONALITY: win98, nt40, win2k,
# winxp, winxp-nopsapi (XP without psapi.dll), win10; all of them by default.
set -euo pipefail
winebed=$1 prefix=$2 build=$3 exe=$4 arch=$5
shift 5
personalities=("$@")
[ ${#personalities[@]} -gt 0 ] || personalities=(win98 nt40 win2k winxp winxp-nopsapi win10)

relative=$(realpath --relative-to="$build" "$exe")
program="Y:\\${relative//\//\\}"

trap '"$winebed" stop "$prefix"; rm -rf "$prefix"' EXIT
"$winebed" create "$prefix" --arch "$arch" --network y:="$build" >/dev/null
wine=$("$winebed" loader "$prefix" "$exe")
DISPLAY=$("$winebed" display "$prefix")
export DISPLAY
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

for personality in "${personalities[@]}"; do
  case "$personality" in
    win98) run win98 'Windows98.*' ;;
    nt40) run nt40 'WindowsNT4.*' ;;
    win2k) run win2k 'Windows2000.*' ;;
    winxp) run winxp 'WindowsXP.*' ;;
    winxp-nopsapi) run winxp 'WindowsXPWithoutPsapi.*' 'psapi=d' ;;
    win10) run win10 'Windows10.*' ;;
    *) echo "unknown personality $personality"; failed=1 ;;
  esac
done
exit $failed
