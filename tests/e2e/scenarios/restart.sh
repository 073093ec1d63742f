# shellcheck shell=bash
# A sample that stays locked: it is reported, handed to the deletion at
# restart, and the scan ends with the offer to restart. After a restart
# (simulated by wineboot -r) the file is gone.

RESTART_OFFER='The system has to be restarted to remove the virus completely from your system. \n\n Restart now?'
SESSION_MANAGER_KEY='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'

scenario_locked_sample_restart_offer() {
  prefix_create xp
  local locked=$DRIVE_C/Locked/mae.exe
  plant_sample 10 "$locked"
  expect_held "$locked" 600
  app_start
  drive scan --restart no state
  screenshot
  expect scan "log: $(win_path "$locked")     W32/Morvo.Mae.Worm Unable to remove"
  expect_count scan ' removed$' 0
  expect scan "dialog: $TITLE | $RESTART_OFFER"
  expect scan "dialog-buttons: 6 7"
  expect scan "answer: no"
  expect_count scan '^dialog: ' 1
  expect scan "status: Scanning completed"
  expect_statistics scan 1 0
  expect_finished_look state
  expect_present "$locked"
  local pending
  pending=$(reg_value "$SESSION_MANAGER_KEY" PendingFileRenameOperations || true)
  if [[ "$pending" == *"\\??\\$(win_path "$locked")"* ]]; then pass
  else fail "PendingFileRenameOperations is '$pending', without $(win_path "$locked")"; fi
  if app_running; then pass; else fail "the program ended although the restart was declined"; fi

  prefix_stop
  in_prefix wineboot -r </dev/null >/dev/null 2>&1 || true
  prefix_stop
  expect_gone "$locked"
}

# The same locked sample with the restart accepted: the program asks the
# system to restart (under Wine that ends every process of the prefix, the
# driver included), and the restart performs the pending deletion. Checked
# from outside, once the prefix has come down.
scenario_restart_accepted() {
  prefix_create xp
  local locked=$DRIVE_C/Locked/lax.exe
  plant_sample 1 "$locked"
  expect_held "$locked" 600
  local holder=$HOLDER_PID
  app_start
  drive scan --restart yes || true
  if app_wait_exit 30; then pass; else fail "the program still runs after the restart was accepted"; fi
  expect_ended "$holder" "the file holder, after the restart,"
  # The driver ends with the prefix, before it reads the log: its report
  # holds what it saw up to the answer.
  expect scan "dialog: $TITLE | $RESTART_OFFER"
  expect scan "answer: yes"
  prefix_stop
  expect_gone "$locked"
  local pending
  pending=$(reg_value "$SESSION_MANAGER_KEY" PendingFileRenameOperations || true)
  if [[ "$pending" != *"$(win_path "$locked")"* ]]; then pass
  else fail "the pending deletion is still listed: '$pending'"; fi
}
