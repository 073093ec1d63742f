# shellcheck shell=bash
# A second start while the window is open ends at once and leaves the first
# window alone.

scenario_second_instance() {
  prefix_create 98
  app_start
  drive idle second-instance "$(win_path "$APP")" state
  screenshot
  expect second-instance "second-exited: 1"
  expect second-instance "windows-titled: 1"
  expect_match second-instance "^second-exit-code: [0-9]+$"
  expect_idle_common state
  if app_running; then pass; else fail "the first instance ended too"; fi
}
