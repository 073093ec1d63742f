# shellcheck shell=bash
# The administrator's run, on one prefix per personality:
# - the window scans a planted machine; the same plant, scanned with
#   /silent, gives the exit code of "everything removed", a log file whose
#   lines between header and footer are the window's log, and a clean machine;
# - a sample held open gives the restart-needed code, its deletion
#   scheduled, and no restart;
# - /report changes no file, value or process, and names every sample;
# - /path walks only its folder; on the NT line names in any script and a
#   path of 300 characters are found and removed;
# - a bad option gives the usage-error code and the usage text;
# - a silent run while another Scourix holds the instance lock, while
#   another silent run runs, and while another run holds the window open,
#   gives the other-instance code;
# - /silent /restart restarts (checked from outside: the held file is gone).
# Exit codes come through the driver's "run", which sees all 32 bits.

# The log file lies on the build tree's network drive, which no scan walks,
# so that it never counts among the files scanned.
SILENT_RUNS=0

# Runs scourix.exe with ARGS to its end through the driver; the run's report
# goes to its own out file, which OUT names meanwhile.
silent_run() {  # ARGS...
  SILENT_RUNS=$((SILENT_RUNS + 1))
  local main_out=$OUT
  OUT=$WORK/run-$SILENT_RUNS.txt
  drive --timeout 600 run "$(win_path "$APP")" "$@" || true
  SILENT_OUT=$OUT
  OUT=$main_out
}

silent_exit_code() { OUT=$SILENT_OUT section run | sed -n 's/^exit-code: //p'; }

expect_exit_code() {  # CODE WHAT
  expect_equal "the exit code of $2" "$(silent_exit_code)" "$1"
}

# The lines between "[Log]" and "[Result]" of the last block of the log file.
silent_log_lines() {
  tr -d '\r' <"$WORK/scourix-run.log" |
    awk '/^\[Scourix run\]$/ { n = 0; inside = 0; delete lines }
         /^\[Log\]$/ { inside = 1; next }
         /^\[Result\]$/ { inside = 0 }
         inside { lines[++n] = $0 }
         END { for (i = 1; i <= n; i++) print lines[i] }'
}

silent_footer_value() {  # NAME
  tr -d '\r' <"$WORK/scourix-run.log" | sed -n "s/^$1: //p" | tail -n 1
}

# Samples in several folders of both drives, one of them running, a start-up
# value that starts one of them, and a clean file.
silent_plant() {
  local standin=$DRIVE_C/Running/bcic-running.exe
  plant_stand_in 76 "$standin"
  start_in_prefix "$standin"
  expect_started "$BACKGROUND_PID" "$standin" "the running sample"
  plant_sample 1 "$DRIVE_C/Downloads/lax.exe"
  plant_sample 10 "$DRIVE_D/archive/mae.dll"
  plant_sample 50 "$DRIVE_D/sub/deep/axmw.scr"
  plant_clean "$DRIVE_D/readme.txt"
  reg_add "$RUN_KEY" LaxStart REG_SZ "\"$(win_path "$DRIVE_C/Downloads/lax.exe")\" /s"
}

silent_check_like_the_window() {
  silent_plant
  app_start
  drive scan --restart no
  drive close || true
  local window_log
  window_log=$(section scan | sed -n 's/^log: //p')

  silent_plant
  silent_run /silent /log "$SILENT_RUN_LOG"
  expect_exit_code 1 "a run that removed everything"
  expect_equal "the log file's lines" "$(silent_log_lines)" "$window_log"
  expect_equal "the footer's exit code" "$(silent_footer_value 'Exit code')" 1
  # Standard output carries the same lines, then the outcome.
  expect_equal "the lines on standard output" \
    "$(OUT=$SILENT_OUT section run | sed -n 's/^stdout: //p' | head -n "$(echo "$window_log" | wc -l)")" "$window_log"
  local file
  for file in "$DRIVE_C/Downloads/lax.exe" "$DRIVE_D/archive/mae.dll" "$DRIVE_D/sub/deep/axmw.scr" \
      "$DRIVE_C/Running/bcic-running.exe"; do
    expect_gone "$file"
  done
  expect_present "$DRIVE_D/readme.txt"
  expect_reg_absent "$RUN_KEY" LaxStart
}

# A file held so that only a restart can remove it. On the NT line it is
# mapped, as a loaded DLL is: it can still be moved into the administrators'
# folder for the restart (a file that could not be moved, in a folder users
# may change, would be left). The 9x line has no moves: there it is held open
# with read sharing only.
silent_hold() {  # PATH FAMILY
  if [ "$2" = 9x ]; then expect_held "$1" 900; else expect_held "$1" 900 mapped; fi
  SILENT_HOLDER=$HOLDER_PID
}

silent_check_restart_needed() {  # FAMILY
  local held=$DRIVE_D/Locked/abvm.exe
  plant_sample 47 "$held"
  silent_hold "$held" "$1"
  silent_run /silent /log "$SILENT_RUN_LOG"
  expect_exit_code 3010 "a run that left a file for the restart"
  if kill -0 "$SILENT_HOLDER" 2>/dev/null; then pass; else fail "the run restarted the computer without /restart"; fi
  if [ "$1" = 9x ]; then
    expect_present "$held"
    if grep -q '^NUL=D:' "$DRIVE_C/windows/wininit.ini" 2>/dev/null; then pass
    else fail "wininit.ini holds no deletion"; fi
  else
    expect_gone "$held"
    local pending moved
    moved=$(find "$DRIVE_D/Scourix.Removed" -type f 2>/dev/null | head -n 1)
    pending=$(reg_value "$SESSION_MANAGER_KEY" PendingFileRenameOperations || true)
    if [ -n "$moved" ] && [[ "$pending" == *"$(win_path "$moved")"* ]]; then pass
    else fail "the delayed-move list lacks the sample moved into D:\\Scourix.Removed: '$pending'"; fi
    if [[ "$pending" != *"Locked"* ]]; then pass
    else fail "the delayed-move list names the path a user could redirect: '$pending'"; fi
  fi
}

# Files, registry and processes before and after a report-only run. The
# processes are the Windows programs of this prefix, as Linux sees them.
silent_listing() {  # WHEN
  python3 "$HERE/lib/disk_listing.py" "C:=$DRIVE_C" "D:=$DRIVE_D" >"$WORK/disk-$1.txt"
  local pid
  for pid in $("$WINEBED" pids "$PREFIX"); do
    tr '\0' ' ' 2>/dev/null </proc/"$pid"/cmdline | sed 's/ *$//'; echo
  done | grep -v '^$' | LC_ALL=C sort >"$WORK/processes-$1.txt"
  local key
  for key in "$RUN_KEY" "$RUN_SERVICES_KEY"; do
    reg_run query "$key" /s || true
  done | python3 "$HERE/lib/registry_listing.py" >"$WORK/registry-$1.txt"
}

silent_check_report_only() {
  silent_plant
  local standin=$DRIVE_C/Running/bcfx-running.exe
  plant_stand_in 64 "$standin"
  reg_add "$RUN_SERVICES_KEY" StandIn REG_SZ "$(win_path "$standin") -svc"
  start_in_prefix "$standin"
  local standin_pid=$BACKGROUND_PID
  expect_started "$standin_pid" "$standin" "the running sample"
  silent_listing before
  # Without the stand-in in it, the comparison of programs below would prove nothing.
  if grep -qF "$(basename "$standin")" "$WORK/processes-before.txt"; then pass
  else fail "the listing of running programs misses the stand-in"; fi
  silent_run /silent /report /log "$SILENT_RUN_LOG"
  expect_exit_code 3 "a report-only run that found samples"
  silent_listing after
  # The log file itself is the one thing the run writes.
  expect_equal "the files after a report-only run" "$(cat "$WORK/disk-after.txt")" "$(cat "$WORK/disk-before.txt")"
  expect_equal "the registry after a report-only run" "$(cat "$WORK/registry-after.txt")" "$(cat "$WORK/registry-before.txt")"
  expect_equal "the programs running after a report-only run" "$(cat "$WORK/processes-after.txt")" \
    "$(cat "$WORK/processes-before.txt")"
  if kill -0 "$standin_pid" 2>/dev/null; then pass; else fail "a report-only run ended the running sample"; fi
  local file lines
  lines=$(silent_log_lines)
  for file in "$DRIVE_C/Downloads/lax.exe" "$DRIVE_D/archive/mae.dll" "$DRIVE_D/sub/deep/axmw.scr" "$standin"; do
    if grep -qF "$(win_path "$file")     " <<<"$lines"; then pass; else fail "the report does not name $file"; fi
  done
  if grep -qF 'LaxStart' <<<"$lines"; then pass; else fail "the report does not name the LaxStart value"; fi
  kill "$standin_pid" 2>/dev/null || true
}

silent_check_options() {
  plant_sample 3 "$DRIVE_D/only/lda.exe"
  plant_clean "$DRIVE_D/only/note.txt"
  plant_sample 9 "$DRIVE_D/outside/lda2.exe"
  silent_run /silent /nomemory /path 'D:\only' /log "$SILENT_RUN_LOG"
  expect_exit_code 1 "a run of one folder"
  expect_gone "$DRIVE_D/only/lda.exe"
  expect_present "$DRIVE_D/outside/lda2.exe"
  expect_equal "the files /path scanned" "$(silent_footer_value 'Files scanned')" 2
  rm -f "$DRIVE_D/outside/lda2.exe"

  # A log file that cannot be opened ends the run before anything is touched.
  plant_sample 9 "$DRIVE_D/only/kept.exe"
  silent_run /silent /nomemory /path 'D:\only' /log 'Q:\nowhere\scourix.log'
  expect_exit_code 5 "a log file that cannot be opened"
  OUT=$SILENT_OUT expect_match run '^stdout: scourix: the log file Q:.nowhere.scourix\.log cannot be used: '
  expect_present "$DRIVE_D/only/kept.exe"
  rm -f "$DRIVE_D/only/kept.exe"

  silent_run /silent /bogus
  expect_exit_code 5 "a bad option"
  OUT=$SILENT_OUT expect run "stdout: scourix: unknown option /bogus"
  OUT=$SILENT_OUT expect_match run '^stdout: +/silent +no window and no prompt'

  # One Scourix at a time: while another Scourix holds the instance lock
  # (the lock holder, which takes it as the program does and keeps it until
  # told), a silent run gives the other-instance code and touches nothing;
  # once the lock is let go, the same run goes ahead.
  local status
  plant_sample 3 "$DRIVE_D/only/lda.exe"
  if instance_lock_hold; then pass; else fail "the lock holder does not hold the instance lock"; fi
  silent_run /silent /nomemory /path 'D:\only' /log "$SILENT_RUN_LOG"
  expect_exit_code 6 "a silent run while another Scourix runs"
  OUT=$SILENT_OUT expect run "stdout: scourix: another instance is running"
  expect_present "$DRIVE_D/only/lda.exe"
  if instance_lock_release; then pass; else fail "the lock holder did not let go"; fi
  silent_run /silent /nomemory /path 'D:\only' /log "$SILENT_RUN_LOG"
  expect_exit_code 1 "the same run once the lock was let go"
  expect_gone "$DRIVE_D/only/lda.exe"

  # And a silent run holds the lock for the whole of its run: held in its
  # second write to standard output (the driver reads its first line, then
  # nothing until told), it turns a second silent run away; let go, it ends
  # as usual.
  local release=$WORK/first-run.release first_run
  plant_sample 3 "$DRIVE_D/only/lda.exe"
  rm -f "$release"
  drive_in_background --timeout 600 run --hold-after-first-line "$(win_path "$release")" \
    "$(win_path "$APP")" /silent /report /nomemory /path 'D:\only' /log "$(win_path "$WORK/first-run.log")"
  first_run=$BACKGROUND_PID
  if wait_until 120 grep -q '^first-line: ' "$WORK/background-out.txt"; then pass
  else fail "the first silent run wrote no line to its standard output"; fi
  silent_run /silent /report /nomemory /path 'D:\only' /log "$SILENT_RUN_LOG"
  expect_exit_code 6 "a second silent run while one runs"
  : >"$release"
  expect_ended "$first_run" "the first silent run, let go," 120
  expect_equal "the exit code of the first silent run" \
    "$(OUT=$WORK/background-out.txt section run | sed -n 's/^exit-code: //p')" 3

  # One Scourix at a time, across modes: while a run started with a command
  # line holds the window open (idle, its scan not yet started), a silent run
  # is refused. Closed before its scan, the window's run counts as stopped.
  app_start /report /path 'D:\only'
  drive state
  silent_run /silent /report /nomemory /path 'D:\only' /log "$SILENT_RUN_LOG"
  expect_exit_code 6 "a second run while one runs"
  drive escape || true
  status=0
  wait "$APP_PID" || status=$?
  expect_equal "the exit code of a window closed before its scan" "$status" 4

  # /scan: the window scans at once, here a report of one folder, and its
  # exit code tells what it found.
  plant_sample 3 "$DRIVE_D/only/lda.exe"
  local main_out=$OUT
  OUT=$WORK/scan-at-once.txt
  app_start /scan /report /nomemory /path 'D:\only'
  drive scan --started
  expect scan "log: D:\only\lda.exe     W32/Morvo.Lda.Worm not disinfected as per user's selection"
  expect scan "status: Scanning completed"
  expect_present "$DRIVE_D/only/lda.exe"
  drive close || true
  OUT=$main_out
  status=0
  wait "$APP_PID" || status=$?
  expect_equal "the exit code of a window's report-only run that found a sample" "$status" 3
}

silent_check_restart() {  # FAMILY
  local held=$DRIVE_C/Locked/lax.exe
  plant_sample 1 "$held"
  silent_hold "$held" "$1"
  silent_run /silent /restart /nomemory /path 'C:\Locked' /log "$SILENT_RUN_LOG"
  # The restart ends every program of the prefix, the driver too: what the
  # run did shows in its log and on the disk.
  expect_equal "the footer's exit code" "$(silent_footer_value 'Exit code')" 1641
  expect_ended "$SILENT_HOLDER" "the file holder, after the restart," 30
  prefix_stop
  expect_gone "$held"
}

# ---- What /path names, and a default log that another program holds ----
# A /path that is not there is a usage error that names it, never "nothing
# found"; one that names a sample file examines and removes that file alone.
# The default log held open by another program (shared for reading only, so
# that the run cannot write it) does not stop the scan: the run removes what
# it finds, says on standard output that the log cannot be used, and ends 5
# instead of 1.
silent_check_targets_and_held_log() {
  silent_run /silent /nomemory /path 'D:\nonexistent' /log "$SILENT_RUN_LOG"
  expect_exit_code 5 "a /path that is not there"
  OUT=$SILENT_OUT expect run 'stdout: scourix: /path D:\nonexistent: there is no such folder or file'

  local single=$DRIVE_D/single/lax.exe beside=$DRIVE_D/single/mae.dll
  plant_sample 1 "$single"
  plant_sample 10 "$beside"
  silent_run /silent /nomemory /path 'D:\single\lax.exe' /log "$SILENT_RUN_LOG"
  expect_exit_code 1 "a /path that names a sample file"
  expect_gone "$single"
  expect_present "$beside"
  expect_equal "the files a /path of one file scanned" "$(silent_footer_value 'Files scanned')" 1
  rm -f "$beside"

  local default_log=$DRIVE_C/windows/scourix.log
  touch "$default_log"
  plant_sample 3 "$single"
  expect_held "$default_log" 900
  local log_holder=$HOLDER_PID
  silent_run /silent /nomemory /path 'D:\single'
  expect_exit_code 5 "a run whose default log another program holds"
  expect_gone "$single"
  OUT=$SILENT_OUT expect_match run '^stdout: scourix: the log file C:.windows.scourix\.log cannot be used: .*; the run goes on without it$'
  OUT=$SILENT_OUT expect_match run '^stdout: D:.single.lax\.exe     W32/Morvo\.Lda\.Worm removed$'
  kill "$log_holder" 2>/dev/null || true
  wait "$log_holder" 2>/dev/null || true
}

# ---- Names in any script, and paths past MAX_PATH ----
# The NT line walks, judges and removes by UTF-16 "\\?\" paths: samples under
# a Polish and a Chinese folder name (which code page 1252 cannot hold) and
# one at a path of 300 characters are found, removed and counted; the log
# shows each character that the code page lacks as "?". The 9x line keeps to
# the ANSI functions: it cannot reach those names (nothing found there), and
# it names the long path as not examined (exit 7); all three stay.
silent_check_any_name() {  # FAMILY
  local top=$DRIVE_D/anyname
  local polish=$top/Zdjęcia/lax.exe chinese=$top/測試/mae.dll
  local ls ms ns
  ls=$(printf '%*s' 120 '' | tr ' ' l)
  ms=$(printf '%*s' 120 '' | tr ' ' m)
  ns=$(printf '%*s' 43 '' | tr ' ' n)
  local long=$top/$ls/$ms/$ns.exe
  expect_equal "the length of the long sample's path" "$(win_path "$long" | tr -d '\n' | wc -c)" 300
  plant_sample 1 "$polish"
  plant_sample 10 "$chinese"
  plant_sample 50 "$long"
  silent_run /silent /nomemory /path 'D:\anyname' /log "$SILENT_RUN_LOG"
  local long_path="D:.anyname.$ls.$ms.$ns\.exe"
  if [ "$1" = 9x ]; then
    expect_exit_code 7 "a 9x run that met a path past MAX_PATH"
    OUT=$SILENT_OUT expect_match run "^stdout: $long_path     could not be examined\$"
    expect_present "$polish"
    expect_present "$chinese"
    expect_present "$long"
  else
    expect_exit_code 1 "a run over names in any script and a 300-character path"
    expect_equal "the files scanned under them" "$(silent_footer_value 'Files scanned')" 3
    OUT=$SILENT_OUT expect_match run '^stdout: D:.anyname.Zdj\?cia.lax\.exe     W32/Morvo\.Lax\.Worm removed$'
    OUT=$SILENT_OUT expect_match run '^stdout: D:.anyname.\?\?.mae\.dll     W32/Morvo\.Mae\.Worm removed$'
    OUT=$SILENT_OUT expect_match run "^stdout: $long_path     W32/Morvo\.Axmw\.Worm removed\$"
    expect_gone "$polish"
    expect_gone "$chinese"
    expect_gone "$long"
  fi
  rm -rf "$top"
}

silent() {  # PERSONALITY FAMILY
  prefix_create "$1"
  SILENT_RUN_LOG=$(win_path "$WORK/scourix-run.log")
  silent_check_like_the_window
  silent_check_restart_needed "$2"
  silent_check_report_only
  silent_check_options
  silent_check_targets_and_held_log
  silent_check_any_name "$2"
  silent_check_restart "$2"
}

scenario_silent_98() { silent 98 9x; }
scenario_silent_xp() { silent xp nt; }
scenario_silent_10() { silent 10 nt; }
