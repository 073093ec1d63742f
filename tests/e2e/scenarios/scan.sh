# shellcheck shell=bash
# A scan of every fixed drive: samples removed and logged (a read-only,
# hidden and system one too), the worm's start-up value removed, clean files,
# a near miss and other start-up values kept; the statistics and the
# finished look of the window. D: also holds two links back to D:\ and one
# to a folder outside every drive that holds a sample: the scan ends, walks
# every real folder once, names no path through a link and leaves the
# sample outside alone. Under XP and under 98.

scan_removes_samples() {  # PERSONALITY
  prefix_create "$1"
  local lax=$DRIVE_C/Downloads/lax.exe
  local lda="$DRIVE_C/Games/Old Stuff/lda.scr"
  local mae=$DRIVE_D/mae.exe
  local axmw=$DRIVE_D/archive/axmw.dll
  local bebb=$DRIVE_C/Downloads/bebb.exe
  plant_sample 1 "$lax"
  plant_sample 3 "$lda"
  plant_sample 10 "$mae"
  plant_sample 50 "$axmw"
  plant_sample 98 "$bebb"
  local uvo=$DRIVE_D/hidden/uvo.exe
  plant_sample 20 "$uvo"
  make_read_only_hidden_system "$uvo"
  local -a clean=("$DRIVE_C/Downloads/letter.txt" "$DRIVE_D/archive/readme.txt" "$DRIVE_D/archive/nearly.exe")
  plant_clean "${clean[0]}" "a letter"
  plant_clean "${clean[1]}" "not a program"
  plant_near_miss 10 first-byte "${clean[2]}"
  # The worm's start-up value for the first sample goes; another one stays.
  reg_add "$RUN_KEY" LaxStart REG_SZ "$(win_path "$lax") -s"
  reg_add "$RUN_KEY" Letter REG_SZ "notepad.exe $(win_path "${clean[0]}")"
  # Links, never followed by find: the count is of the real files.
  local outside=$WORK/outside
  mkdir -p "$DRIVE_D/loops" "$outside"
  ln -s "$DRIVE_D" "$DRIVE_D/loops/a"
  ln -s "$DRIVE_D" "$DRIVE_D/loops/b"
  ln -s "$outside" "$DRIVE_D/outside"
  plant_sample 2 "$outside/kzg.exe"
  local files
  files=$(count_fixed_drive_files)

  app_start
  drive scan state
  screenshot
  drive close

  expect scan "status: Scanning completed"
  expect scan "log: $(win_path "$lax")     W32/Morvo.Lax.Worm removed"
  expect scan "log: $(win_path "$lda")     W32/Morvo.Lda.Worm removed"
  expect scan "log: $(win_path "$mae")     W32/Morvo.Mae.Worm removed"
  expect scan "log: $(win_path "$axmw")     W32/Morvo.Axmw.Worm removed"
  expect scan "log: $(win_path "$bebb")     W32/Morvo.Bebb.Worm removed"
  expect scan "log: $(win_path "$uvo")     W32/Morvo.Uvo.Worm removed"
  expect_count scan ' removed$' 7
  # Patterns of Windows paths: the backslashes are meant.
  # shellcheck disable=SC1003
  expect_count scan '^log: .*\\loops\\[ab]\\' 0
  # shellcheck disable=SC1003
  expect_count scan '^log: .*\\outside\\' 0
  expect_count scan '^log: System Registry     W32/Morvo.Worm removed$' 1
  expect_count scan '^dialog: ' 0
  expect_statistics scan 6 6
  expect scan $'log: Total files scanned\t\t:  '"$files"
  expect_finished_look state
  expect close "closed: 1"
  expect close "exit-code: 0"

  local file
  for file in "${SAMPLES[@]}"; do
    [ "$file" = "$outside/kzg.exe" ] || expect_gone "$file"
  done
  expect_present "$outside/kzg.exe"
  for file in "$DRIVE_D/loops/a" "$DRIVE_D/loops/b" "$DRIVE_D/outside"; do
    if [ -L "$file" ]; then pass; else fail "$file is no longer a link"; fi
  done
  for file in "${clean[@]}"; do expect_present "$file"; done
  expect_reg_absent "$RUN_KEY" LaxStart
  expect_reg_present "$RUN_KEY" Letter
  prefix_stop
}

scenario_scan_removes_samples() { scan_removes_samples xp; }
scenario_scan_removes_samples_98() { scan_removes_samples 98; }
