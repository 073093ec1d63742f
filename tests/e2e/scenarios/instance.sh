# shellcheck shell=bash
# A second start while the window is open ends at once and leaves the first
# window alone; with no window open, the instance lock alone turns a start
# away: held by another Scourix, a start ends at once without a window.

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

  # The lock goes with the first program; the holder takes it only then.
  drive escape
  if app_wait_exit 30; then pass; else fail "the first instance still runs after Escape closed its window"; fi
  if instance_lock_hold; then pass; else fail "the lock holder does not hold the instance lock"; fi
  # A start that opened its window would still run when the driver gives up.
  drive --timeout 60 run "$(win_path "$APP")" || true
  expect_match run "^exit-code: [0-9]+$"
  if instance_lock_release; then pass; else fail "the lock holder did not let go"; fi
}
