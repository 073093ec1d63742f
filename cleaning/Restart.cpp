#include "cleaning/Restart.h"

#include "cleaning/OsVersion.h"
#include "cleaning/Privileges.h"

namespace {
ExitWindowsFunction exitWindows = ExitWindowsEx;
}

ExitWindowsFunction UseExitWindows(ExitWindowsFunction function) {
  ExitWindowsFunction previous = exitWindows;
  exitWindows = function ? function : ExitWindowsEx;
  return previous;
}

int RestartComputer() {
  if (GetOsFamily() != OS_WIN9X) {  // the 9x line has no tokens
    if (!EnablePrivilege("SeShutdownPrivilege")) return 0;
    if (DWORD error = GetLastError()) return static_cast<int>(error);
  }
  return exitWindows(EWX_REBOOT | EWX_FORCE, 0);
}

bool BeginRestart() {
  if (GetOsFamily() != OS_WIN9X) {
    if (!EnablePrivilege("SeShutdownPrivilege") || GetLastError() != ERROR_SUCCESS) return false;
  }
  return exitWindows(EWX_REBOOT | EWX_FORCE, 0) != FALSE;
}
