# shellcheck shell=bash
# 64-bit Windows 10 as either build meets it. A 32-bit program there sees
# C:\windows\system32 through SysWOW64 and HKLM\Software through
# Wow6432Node unless it asks otherwise; a 64-bit program sees the native
# folder and the 64-bit view. The worm's samples lie in the native System32,
# in SysWOW64, in both Program Files folders and on D:; its values lie in
# both registry views, written by reg.exe into the view it is told (/reg:64,
# /reg:32) and by .reg files imported by regedit, the 32-bit view's under
# Wow6432Node. Only 64-bit programs plant, so that the x86_64 build's run
# needs no 32-bit code. Every sample must go once, every worm value in each
# view with a line of its own, the unrelated values stay, and every file of
# the drives is counted once.

WOW64_RUN_SERVICES='HKLM\Software\Microsoft\Windows\CurrentVersion\RunServices'
WOW64_UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\rhcjg7j0e38v'

# The same key in the 32-bit view, as a 64-bit program names it.
wow64_32_bit_key() {  # KEY
  echo "${1/#HKLM\\Software\\/HKLM\\Software\\Wow6432Node\\}"
}

# KEY in the view given (64 or 32), written by the 64-bit reg.exe.
wow64_reg_add() {  # VIEW KEY VALUE TYPE DATA
  reg_run add "$2" /v "$3" /t "$4" /d "$5" /f "/reg:$1" >/dev/null ||
    { echo "run-scenario: reg add $2 /v $3 /reg:$1 failed" >&2; return 1; }
}

# A .reg file imported by the 64-bit regedit, its keys under HKLM\Software
# moved to Wow6432Node for the 32-bit view; it leaves the drive again before
# the files are counted.
wow64_import() {  # VIEW LINES...
  local view=$1 file=$DRIVE_C/wow64-$1.reg line
  shift
  { printf 'REGEDIT4\r\n'
    for line in "$@"; do
      [ "$view" = 32 ] && line=${line/#\[HKEY_LOCAL_MACHINE\\Software\\/[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\}
      printf '%s\r\n' "$line"
    done; } >"$file"
  in_prefix regedit /S "$(win_path "$file")" </dev/null >/dev/null 2>&1
  rm -f "$file"
}

# KEY VALUE as planted in VIEW (64 or 32), checked through the 64-bit view's
# names: a value meant for one view must not have landed in the other.
wow64_expect_planted() {  # VIEW KEY VALUE
  local here=$2 there
  there=$(wow64_32_bit_key "$2")
  [ "$1" = 32 ] && { here=$there; there=$2; }
  if reg_value "$here" "$3" >/dev/null && ! reg_value "$there" "$3" >/dev/null; then pass
  else fail "$2 \\ $3 is not in the $1-bit view alone"; fi
}

wow64_expect_gone_from() {  # VIEW KEY VALUE
  local key=$2
  [ "$1" = 32 ] && key=$(wow64_32_bit_key "$2")
  expect_reg_absent "$key" "$3"
}

wow64_expect_kept_in() {  # VIEW KEY VALUE
  local key=$2
  [ "$1" = 32 ] && key=$(wow64_32_bit_key "$2")
  expect_reg_present "$key" "$3"
}

scenario_wow64_both_views() {
  prefix_create 10
  local -a names
  mapfile -t names < <(matrix_variant_names)
  local native="$DRIVE_C/windows/system32/kqysvc.exe"             # record 5
  local wow="$DRIVE_C/windows/syswow64/uvohelp.dll"               # record 20
  local programs="$DRIVE_C/Program Files/Shareware/lax.exe"       # record 1
  local programs86="$DRIVE_C/Program Files (x86)/Old Tool/lda.scr"  # record 3
  local onD="$DRIVE_D/tools/mae.exe"                              # record 10
  plant_sample 5 "$native"
  plant_sample 20 "$wow"
  plant_sample 1 "$programs"
  plant_sample 3 "$programs86"
  plant_sample 10 "$onD"
  local -A record=(["$native"]=5 ["$wow"]=20 ["$programs"]=1 ["$programs86"]=3 ["$onD"]=10)

  wow64_reg_add 64 "$RUN_KEY" KqySvc REG_SZ "$(win_path "$native") -s"
  wow64_reg_add 64 "$WOW64_RUN_SERVICES" MaeService64 REG_SZ "$(win_path "$onD") -service"
  wow64_reg_add 32 "$RUN_KEY" UvoHelp REG_SZ "\"$(win_path "$wow")\",Start"
  wow64_reg_add 32 "$WOW64_RUN_SERVICES" LdaService32 REG_SZ "\"$(win_path "$programs86")\" /s"
  # The .reg files: the worm's uninstall entry and fixed Run value in both
  # views, one start-up value under the same name in both, and unrelated values.
  local escaped_onD escaped_programs
  escaped_onD=$(win_path "$onD" | sed 's/\\/\\\\/g')
  escaped_programs=$(win_path "$programs" | sed 's/\\/\\\\/g')
  local uninstall="[${WOW64_UNINSTALL/#HKLM/HKEY_LOCAL_MACHINE}]"
  local run="[${RUN_KEY/#HKLM/HKEY_LOCAL_MACHINE}]"
  local run_services="[${WOW64_RUN_SERVICES/#HKLM/HKEY_LOCAL_MACHINE}]"
  wow64_import 64 "" "$uninstall" '"UninstallString"="C:\\WINDOWS\\uninstall.exe /q"' "" "$run" \
    "\"LaxStart\"=\"\\\"$escaped_programs\\\" /s\"" "\"MorvoBoth\"=\"$escaped_onD\"" \
    '"SMrhcjg7j0e38v"="C:\\WINDOWS\\rhcjg7j0e38v.exe"' '"Unrelated"="C:\\Program Files\\tool\\tool.exe"'
  wow64_import 32 "" "$uninstall" '"UninstallString"="C:\\WINDOWS\\uninstall.exe /q"' "" "$run" \
    "\"MorvoBoth\"=\"$escaped_onD\"" '"SMrhcjg7j0e38v"="C:\\WINDOWS\\rhcjg7j0e38v.exe"' \
    '"Unrelated32"="C:\\Program Files (x86)\\tool\\tool.exe"' "" "$run_services" \
    '"UnrelatedService"="lax.exe"'

  # Each entry: the key and the value's name.
  local -a both=("$RUN_KEY MorvoBoth" "$WOW64_UNINSTALL UninstallString" "$RUN_KEY SMrhcjg7j0e38v")
  local -a worm64=("$RUN_KEY KqySvc" "$WOW64_RUN_SERVICES MaeService64" "$RUN_KEY LaxStart")
  local -a worm32=("$RUN_KEY UvoHelp" "$WOW64_RUN_SERVICES LdaService32")
  local -a kept64=("$RUN_KEY Unrelated") kept32=("$RUN_KEY Unrelated32" "$WOW64_RUN_SERVICES UnrelatedService")
  local entry
  for entry in "${worm64[@]}" "${kept64[@]}"; do wow64_expect_planted 64 "${entry% *}" "${entry#* }"; done
  for entry in "${worm32[@]}" "${kept32[@]}"; do wow64_expect_planted 32 "${entry% *}" "${entry#* }"; done
  for entry in "${both[@]}"; do
    wow64_expect_kept_in 64 "${entry% *}" "${entry#* }"
    wow64_expect_kept_in 32 "${entry% *}" "${entry#* }"
  done
  worm64+=("${both[@]}")
  worm32+=("${both[@]}")
  local files
  files=$(count_fixed_drive_files)

  app_start
  drive scan --restart no state
  screenshot
  drive close || true

  expect scan "status: Scanning completed"
  local sample
  for sample in "${SAMPLES[@]}"; do
    # The path as a literal pattern: sed's own expression, not the shell's.
    # shellcheck disable=SC2016
    expect_count scan "^log: $(win_path "$sample" | sed 's/[][\.*^$()+?{}|]/\\&/g')     " 1
    expect scan "log: $(win_path "$sample")     ${names[$((record[$sample] - 1))]} removed"
    expect_gone "$sample"
  done
  # One line for each start-up value in each view that starts a sample: the
  # uninstall entries go without one.
  expect_count scan '^log: System Registry     W32/Morvo.Worm removed$' 7
  expect_count scan '^log: System Registry ' 7
  expect_count scan '^dialog: ' 0
  expect_statistics scan 5 5
  expect scan $'log: Total files scanned\t\t:  '"$files"
  for entry in "${worm64[@]}"; do wow64_expect_gone_from 64 "${entry% *}" "${entry#* }"; done
  for entry in "${worm32[@]}"; do wow64_expect_gone_from 32 "${entry% *}" "${entry#* }"; done
  for entry in "${kept64[@]}"; do wow64_expect_kept_in 64 "${entry% *}" "${entry#* }"; done
  for entry in "${kept32[@]}"; do wow64_expect_kept_in 32 "${entry% *}" "${entry#* }"; done
  prefix_stop
}
