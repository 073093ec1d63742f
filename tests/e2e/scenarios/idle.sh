# shellcheck shell=bash
# The window before any scan, with and without the full product installed,
# and the keys that must not close it.

scenario_idle_without_product() {
  prefix_create xp
  app_start
  drive idle
  screenshot
  expect_idle_common idle
  expect_control idle 1053 1 1 DOWNLOAD
  expect_control idle 1077 1 1 DLINK
  expect_visible idle 1075 0
}

scenario_idle_with_product() {
  prefix_create 10
  reg_add "$PRODUCT_KEY" "Installed Folder" REG_SZ 'C:\Program Files\Keystrel'
  app_start
  drive idle
  screenshot
  expect_idle_common idle
  expect_control idle 1053 1 0 DOWNLOAD
  expect_control idle 1077 0 0 DLINK
  expect_control idle 1075 1 1 "$PRODUCT_LINE"
}

scenario_enter_keeps_window() {
  prefix_create xp
  app_start
  drive enter idle
  screenshot
  expect enter "enter-window-exists: 1"
  expect_idle_common idle
  if app_running; then pass; else fail "the program ended after Enter"; fi
}

scenario_escape_closes_idle() {
  prefix_create xp
  app_start
  drive idle
  screenshot
  drive escape
  expect escape "escape-window-exists: 0"
  if app_wait_exit 10; then pass; else fail "the program still runs after Escape closed its window"; fi
}
