# shellcheck shell=bash
# A sample that is running while the scan meets its file. On the 9x line the
# memory phase cannot find it (the process list carries only file names), so
# the drive walk finds the file locked, ends the process by its file name and
# then removes the file.

scenario_running_sample_killed() {
  prefix_create 98
  local standin=$DRIVE_C/Downloads/lax-running.exe
  plant_stand_in 1 "$standin"
  start_in_prefix "$standin"
  local standin_pid=$BACKGROUND_PID
  expect_started "$standin_pid" "$standin" "the stand-in"
  app_start
  drive scan state
  screenshot
  expect scan "status: Scanning completed"
  expect scan "log: $(win_path "$standin")     W32/Morvo.Lax.Worm removed"
  expect_count scan 'Unable to remove' 0
  expect_count scan '^dialog: ' 0
  expect_statistics scan 1 1
  expect_finished_look state
  expect_gone "$standin"
  expect_ended "$standin_pid" "the stand-in"
}

# On the NT line the memory phase finds the running sample by its full path,
# ends it and removes its file before any drive is walked. Whether the
# program then ends (after an optional offer to restart, declined here) or
# goes on with the drives is the program's choice; both are accepted, and
# both must leave the sample ended and its file gone.
scenario_running_sample_in_memory() {
  prefix_create xp
  local standin=$DRIVE_C/Tools/lda-running.exe
  plant_stand_in 3 "$standin"
  start_in_prefix "$standin"
  local standin_pid=$BACKGROUND_PID
  expect_started "$standin_pid" "$standin" "the stand-in"
  app_start
  drive scan --may-close --restart no
  screenshot
  if section scan | grep -x 'window-closed-during-scan: 1' >/dev/null; then
    echo "run-scenario: the program ended after the find in memory"
    if app_wait_exit 10; then pass; else fail "the window closed but the program still runs"; fi
    expect_count scan '^log: ' 0
  else
    echo "run-scenario: the program went on with the drives after the find in memory"
    drive state
    expect scan "log: System Memory    W32/Morvo.Worm  removed"
    # A memory removal names the family, whose name ends in a blank.
    expect scan "log: $(win_path "$standin")     W32/Morvo.Worm  removed"
    expect scan "status: Scanning completed"
    expect_statistics scan 1 1
    expect_finished_look state
  fi
  expect_count scan 'Unable to remove' 0
  expect_gone "$standin"
  expect_ended "$standin_pid" "the stand-in"
}
