#include "cleaning/MachineActions.h"

namespace {

LONG DeleteValueOfKey(HKEY root, const char* keyPath, const char* valueName, REGSAM view) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS | view, &key);
  if (result != ERROR_SUCCESS) return result;
  result = RegDeleteValueA(key, valueName);
  const LONG closed = RegCloseKey(key);
  return result == ERROR_SUCCESS ? closed : result;
}

BOOL WINAPI RefuseTermination(HANDLE, UINT) {
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}
BOOL WINAPI RefuseServiceControl(SC_HANDLE, DWORD, SERVICE_STATUS*) {
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}
LONG RefuseValueDeletion(HKEY, const char*, const char*, REGSAM) { return ERROR_CANCELLED; }
LONG WINAPI RefuseKeyDeletion(HKEY, const char*) { return ERROR_CANCELLED; }
BOOL WINAPI RefuseRestart(UINT, DWORD) {
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}

MachineActions realActions = {TerminateProcess, ControlService, DeleteValueOfKey, RegDeleteKeyA, ExitWindowsEx};
const MachineActions reportOnlyActions = {RefuseTermination, RefuseServiceControl, RefuseValueDeletion,
                                          RefuseKeyDeletion, RefuseRestart};
const MachineActions* chosen = &realActions;

}  // namespace

const MachineActions& Machine() { return *chosen; }

void ChooseMachineActions(bool reportOnly) { chosen = reportOnly ? &reportOnlyActions : &realActions; }

MachineActions& RealMachineActions() { return realActions; }
