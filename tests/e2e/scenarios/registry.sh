# shellcheck shell=bash
# The worm's registry entries, planted beside the samples they start, on
# either line of Windows: its Run and RunServices values (by path, quoted
# through %SystemRoot%, and bare for a sample in the system folder), its
# uninstall entry and its fixed Run value go; unrelated values stay; each
# removed start-up value gives one "System Registry" line.

RUN_SERVICES_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\RunServices'
WORM_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\rhcjg7j0e38v'

registry_entries_removed() {  # PERSONALITY SYSTEM-FOLDER-UNDER-DRIVE-C
  prefix_create "$1"
  local system=$DRIVE_C/windows/$2
  local inSystem=$system/kqysvc.exe
  local inDownloads=$DRIVE_C/Downloads/lax.exe
  local onD=$DRIVE_D/tools/mae.exe
  plant_sample 5 "$inSystem"
  plant_sample 1 "$inDownloads"
  plant_sample 10 "$onD"
  reg_add "$RUN_KEY" LaxStart REG_SZ "\"$(win_path "$inDownloads")\" /s"
  reg_add "$RUN_KEY" KqyStart REG_SZ "kqysvc.exe"
  reg_add "$RUN_SERVICES_KEY" MaeService REG_SZ "$(win_path "$onD") -service"
  reg_add "$RUN_KEY" Unrelated REG_SZ "C:\\Program Files\\tool\\tool.exe"
  reg_add "$RUN_SERVICES_KEY" UnrelatedService REG_SZ "lax.exe"
  reg_add "$WORM_UNINSTALL_KEY" UninstallString REG_SZ "C:\\WINDOWS\\uninstall.exe /q"
  reg_add "$RUN_KEY" SMrhcjg7j0e38v REG_SZ "C:\\WINDOWS\\rhcjg7j0e38v.exe"

  app_start
  drive scan --restart no state
  screenshot
  drive close || true

  expect scan "status: Scanning completed"
  expect_statistics scan 3 3
  expect_count scan '^log: System Registry     W32/Morvo.Worm removed$' 3
  local file
  for file in "${SAMPLES[@]}"; do expect_gone "$file"; done
  expect_reg_absent "$RUN_KEY" LaxStart
  expect_reg_absent "$RUN_KEY" KqyStart
  expect_reg_absent "$RUN_SERVICES_KEY" MaeService
  expect_reg_absent "$WORM_UNINSTALL_KEY" UninstallString
  expect_reg_absent "$RUN_KEY" SMrhcjg7j0e38v
  expect_reg_present "$RUN_KEY" Unrelated
  expect_reg_present "$RUN_SERVICES_KEY" UnrelatedService
  prefix_stop
}

scenario_registry_entries_removed_98() { registry_entries_removed 98 system; }
scenario_registry_entries_removed_xp() { registry_entries_removed xp system32; }
