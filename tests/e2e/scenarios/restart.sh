# shellcheck shell=bash
# A sample that stays locked: it is reported, handed to the deletion at
# restart, and the scan ends with the offer to restart. Held mapped (as a
# loaded DLL), it can be moved: it goes, through its own handle, into
# C:\Scourix.Removed, and that path is scheduled. A second sample, held so
# that it cannot even be moved, in a folder users may change (under Wine
# every folder is the prefix user's), is left and the log says why. After the
# run the first one's folder becomes a link to a folder that holds a user's
# file of the same name: the restart (simulated by wineboot -r) deletes the
# moved sample and nothing behind the link.

RESTART_OFFER='The system has to be restarted to remove the virus completely from your system. \n\n Restart now?'
SESSION_MANAGER_KEY='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'

scenario_locked_sample_restart_offer() {
  prefix_create xp
  local locked=$DRIVE_C/Locked/mae.exe stuck=$DRIVE_C/Stuck/lax.exe
  plant_sample 10 "$locked"
  plant_sample 1 "$stuck"
  expect_held "$locked" 600 mapped
  expect_held "$stuck" 600
  app_start
  drive scan --restart no state
  screenshot
  expect scan "log: $(win_path "$locked")     W32/Morvo.Mae.Worm Unable to remove"
  expect scan "log: $(win_path "$stuck")     W32/Morvo.Lax.Worm Unable to remove"
  expect scan "log: $(win_path "$stuck")     W32/Morvo.Lax.Worm not scheduled for deletion at restart: users can change a folder on its path"
  expect_count scan ' removed$' 0
  expect scan "dialog: $TITLE | $RESTART_OFFER"
  expect scan "dialog-buttons: 6 7"
  expect scan "answer: no"
  expect_count scan '^dialog: ' 1
  expect scan "status: Scanning completed"
  expect_statistics scan 2 0
  expect_finished_look state
  expect_gone "$locked"
  expect_present "$stuck"
  local pending moved
  moved=$(find "$DRIVE_C/Scourix.Removed" -type f 2>/dev/null)
  expect_equal "files moved into C:\\Scourix.Removed" "$(printf '%s\n' "$moved" | sed '/^$/d' | wc -l)" 1
  pending=$(reg_value "$SESSION_MANAGER_KEY" PendingFileRenameOperations || true)
  if [ -n "$moved" ] && [[ "$pending" == *"\\??\\$(win_path "$moved")"* ]]; then pass
  else fail "PendingFileRenameOperations is '$pending', without the moved $(win_path "${moved:-C:/Scourix.Removed/?}")"; fi
  if [[ "$pending" != *"Locked"* && "$pending" != *"Stuck"* ]]; then pass
  else fail "PendingFileRenameOperations names a path a user can redirect: '$pending'"; fi
  if app_running; then pass; else fail "the program ended although the restart was declined"; fi

  prefix_stop
  # The user's move: the sample's folder becomes a link to a folder holding
  # a file of the same name.
  local elsewhere=$WORK/elsewhere
  mkdir -p "$elsewhere"
  echo "a user's document" >"$elsewhere/mae.exe"
  mv "$DRIVE_C/Locked" "$WORK/locked-before"
  ln -s "$elsewhere" "$DRIVE_C/Locked"
  in_prefix wineboot -r </dev/null >/dev/null 2>&1 || true
  prefix_stop
  expect_present "$elsewhere/mae.exe"
  expect_gone "$moved"
  expect_present "$stuck"
}

# The same locked sample with the restart accepted: the program asks the
# system to restart (under Wine that ends every process of the prefix, the
# driver included), and the restart performs the pending deletion. Checked
# from outside, once the prefix has come down.
scenario_restart_accepted() {
  prefix_create xp
  local locked=$DRIVE_C/Locked/lax.exe
  plant_sample 1 "$locked"
  expect_held "$locked" 600 mapped
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
