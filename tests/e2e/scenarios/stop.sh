# shellcheck shell=bash
# Asking to stop a running scan with Escape, X or CANCEL, answered No or Yes.
# The driver holds the scan at a change of its status line until the key or
# click is in the program's queue (scan --escape-after N and the like), so
# the walk always meets it with the many small files of D: still before it.

STOP_FILES=4000

plant_busy_drive() {
  plant_many "$DRIVE_D/notes" "$STOP_FILES"
}

scenario_escape_answered_no() {
  prefix_create nt4
  plant_busy_drive
  # Deep in D:, which is walked after C:: found only when the scan goes on.
  plant_sample 10 "$DRIVE_D/notes/batch19/mae.exe"
  local files
  files=$(count_fixed_drive_files)
  app_start
  drive scan --escape-after 40 --answer no state
  screenshot
  expect scan "dialog: $TITLE | $STOP_QUESTION"
  expect scan "dialog-buttons: 6 7"
  expect scan "answer: no"
  expect scan "after-answer: cancel=1 ok=0"
  expect_count scan '^dialog: ' 1
  expect scan "status: Scanning completed"
  expect scan "log: $(win_path "$DRIVE_D/notes/batch19/mae.exe")     W32/Morvo.Mae.Worm removed"
  expect_statistics scan 1 1
  expect scan $'log: Total files scanned\t\t:  '"$files"
  expect_finished_look state
  expect_gone "$DRIVE_D/notes/batch19/mae.exe"
}

scenario_escape_answered_yes() {
  prefix_create nt4
  plant_busy_drive
  local files
  files=$(count_fixed_drive_files)
  app_start
  drive scan --escape-after 40 --answer yes state
  screenshot
  expect scan "dialog: $TITLE | $STOP_QUESTION"
  expect scan "answer: yes"
  expect_count scan '^dialog: ' 1
  expect scan "status: Scanning terminated"
  expect_statistics scan 0 0
  expect_scanned_fewer_than scan "$files"
  expect_finished_look state
}

scenario_x_during_scan() {
  prefix_create 10
  plant_busy_drive
  local files
  files=$(count_fixed_drive_files)
  app_start
  drive scan --x-after 40 --answer yes state
  screenshot
  expect scan "dialog: DialogBoxTitle | $STOP_QUESTION"
  expect scan "dialog-buttons: 6 7"
  expect scan "answer: yes"
  expect scan "after-answer: cancel=0 ok=1"
  expect scan "status: Scanning terminated"
  expect_statistics scan 0 0
  expect_scanned_fewer_than scan "$files"
  expect_finished_look state
}

# CANCEL asks under the program's own title; No lets the scan run to its end.
scenario_cancel_answered_no() {
  prefix_create xp
  plant_busy_drive
  local files
  files=$(count_fixed_drive_files)
  app_start
  drive scan --cancel-after 40 --answer no state
  screenshot
  expect scan "interrupt: cancel"
  expect scan "dialog: $TITLE | $STOP_QUESTION"
  expect scan "dialog-buttons: 6 7"
  expect scan "answer: no"
  expect scan "after-answer: cancel=1 ok=0"
  expect_count scan '^dialog: ' 1
  expect scan "status: Scanning completed"
  expect_statistics scan 0 0
  expect scan $'log: Total files scanned\t\t:  '"$files"
  expect_finished_look state
}

# The window as the user sees it while the scan runs and while it asks
# whether to stop: pictures for the README, with the scan's result checked.
scenario_screens_mid_scan() {
  prefix_create xp
  plant_sample 10 "$DRIVE_C/Documents and Settings/Downloads/mae.exe"
  plant_sample 3 "$DRIVE_C/Program Files/Free Player/lda.exe"
  plant_many "$DRIVE_D/notes" 15000
  app_start
  serve_screenshots "$WORK/shot"
  local status=0
  drive scan --escape-after 300 --answer no --screenshots "$(win_path "$WORK/shot")" state || status=$?
  stop_serving_screenshots
  [ "$status" -eq 0 ] || return 1
  screenshot
  expect scan "screenshot: mid-scan"
  expect scan "screenshot: stop-prompt"
  expect scan "dialog: $TITLE | $STOP_QUESTION"
  expect scan "answer: no"
  expect scan "status: Scanning completed"
  expect_statistics scan 2 2
  expect_finished_look state
  local picture
  for picture in mid-scan stop-prompt; do
    [ -s "${SHOT%.png}-$picture.png" ] || fail "no picture of $picture"
  done
}
