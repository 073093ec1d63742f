# A scan of every fixed drive: samples removed and logged (a read-only,
# hidden and system one too), the worm's start-up value removed, clean files,
# a near miss and other start-up values kept; the statistics and the
# finished look of the window.

scenario_scan_removes_samples() {
  prefix_create xp
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
  expect_count scan '^log: System Registry     W32/Morvo.Worm removed$' 1
  expect_count scan '^dialog: ' 0
  expect_statistics scan 6 6
  expect scan $'log: Total files scanned\t\t:  '"$files"
  expect_finished_look state
  expect close "closed: 1"
  expect close "exit-code: 0"

  local file
  for file in "${SAMPLES[@]}"; do expect_gone "$file"; done
  for file in "${clean[@]}"; do expect_present "$file"; done
  expect_reg_absent "$RUN_KEY" LaxStart
  expect_reg_present "$RUN_KEY" Letter
  prefix_stop
}
