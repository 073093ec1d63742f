# shellcheck shell=bash
# The log holds at most 150 lines while scanning: the 151st starts a fresh
# list. The statistics come after the scan and are always kept whole.

scenario_log_keeps_150_lines() {
  prefix_create 98
  local i
  for ((i = 1; i <= 160; i++)); do
    plant_sample 1 "$(printf '%s/Downloads/many/s%03d.exe' "$DRIVE_C" "$i")"
  done
  app_start
  drive scan
  screenshot
  expect scan "status: Scanning completed"
  expect_count scan '^log: .*     W32/Morvo\.Lax\.Worm removed$' 10
  expect_count scan '^log: ' 16
  expect_statistics scan 160 160
  local file
  for file in "${SAMPLES[@]}"; do expect_gone "$file"; done
}
