# Asking to stop a running scan with Escape, X or CANCEL, answered No or Yes.
# Enough small files on D: keep the scan busy long enough to be interrupted.

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
