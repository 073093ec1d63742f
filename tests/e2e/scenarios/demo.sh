# shellcheck shell=bash
# The README's main job: a Windows XP machine with the worm planted the way it
# spreads (samples in several folders of C: and D:, one of them running, its
# start-up values, an infected hosts file), scanned by the real program.
# demo-10 is the same job on a 64-bit Windows 10: what scripts/demo shows with
# the x86_64 build on a machine that runs no 32-bit code.

scenario_demo() { demo_on xp; }
scenario_demo_10() { demo_on 10; }

demo_on() {  # VERSION
  prefix_create "$1"
  local running=$DRIVE_C/windows/system32/lhsvc.exe
  plant_stand_in 4 "$running"
  plant_sample 1 "$DRIVE_C/Documents and Settings/Downloads/setup_lax.exe"
  plant_sample 10 "$DRIVE_C/Program Files/Free Screensaver/mae.scr"
  plant_sample 3 "$DRIVE_D/shared/music/player.exe"
  plant_sample 98 "$DRIVE_D/backup/old/bebb.dll"
  local -a clean=("$DRIVE_C/Documents and Settings/Downloads/letter.txt" "$DRIVE_D/shared/music/playlist.m3u")
  plant_clean "${clean[0]}" "Dear Sir"
  plant_clean "${clean[1]}" "track01.mp3"
  reg_add "$RUN_KEY" LhsService REG_SZ "$(win_path "$running") -service"
  reg_add "$RUN_KEY" Letter REG_SZ "notepad.exe $(win_path "${clean[0]}")"
  local hosts=$DRIVE_C/windows/system32/drivers/etc/hosts
  forge_tool || return 1
  "$FORGE_TOOL" hosts "$hosts"
  start_in_prefix "$running"
  expect_started "$BACKGROUND_PID" "$running" "the running sample"

  app_start
  drive scan --may-close --restart no state
  screenshot
  drive close || true

  expect scan "status: Scanning completed"
  expect scan "log: System Memory    W32/Morvo.Worm  removed"
  expect scan "log: $(win_path "$running")     W32/Morvo.Worm  removed"
  expect_count scan '^log: .* W32/Morvo\.[A-Za-z]+\.Worm removed$' 4
  expect scan "log: $(win_path "$hosts")     W32/Nyxem.Worm removed"
  local file
  for file in "${SAMPLES[@]}" "$hosts"; do expect_gone "$file"; done
  for file in "${clean[@]}"; do expect_present "$file"; done
  expect_reg_absent "$RUN_KEY" LhsService
  expect_reg_present "$RUN_KEY" Letter
  prefix_stop
}
