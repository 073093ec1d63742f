#include "cleaning/Restart.h"

#include "cleaning/MachineActions.h"
#include "cleaning/OsVersion.h"
#include "cleaning/Privileges.h"

ExitWindowsFunction UseExitWindows(ExitWindowsFunction function) {
  ExitWindowsFunction previous = RealMachineActions().exitWindows;
  RealMachineActions().exitWindows = function ? function : ExitWindowsEx;
  return previous;
}

int RestartComputer() {
  if (GetOsFamily() != OS_WIN9X) {  // the 9x line has no tokens
    if (!EnablePrivilege("SeShutdownPrivilege")) return 0;
    if (DWORD error = GetLastError()) return static_cast<int>(error);
  }
  return Machine().exitWindows(EWX_REBOOT | EWX_FORCE, 0);
}

bool BeginRestart() {
  if (GetOsFamily() != OS_WIN9X) {
    if (!EnablePrivilege("SeShutdownPrivilege") || GetLastError() != ERROR_SUCCESS) return false;
  }
  return Machine().exitWindows(EWX_REBOOT | EWX_FORCE, 0) != FALSE;
}
