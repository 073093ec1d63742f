#include "cleaning/MachineActions.h"

#include "cleaning/files/Files.h"

namespace {

LONG DeleteValueOfKey(HKEY root, const char* keyPath, const char* valueName, REGSAM view) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS | view, &key);
  if (result != ERROR_SUCCESS) return result;
  result = RegDeleteValueA(key, valueName);
  const LONG closed = RegCloseKey(key);
  return result == ERROR_SUCCESS ? closed : result;
}

// Each refusal fails as its real call would, with ERROR_CANCELLED as the reason.
template <typename Result, Result kFailed, typename... Arguments>
Result WINAPI Refuse(Arguments...) {
  SetLastError(ERROR_CANCELLED);
  return kFailed;
}
LONG RefuseValueDeletion(HKEY, const char*, const char*, REGSAM) { return ERROR_CANCELLED; }
bool RefuseInformation(HANDLE, int, ULONG, void*, DWORD, DWORD& error) {
  error = ERROR_CANCELLED;
  return false;
}
HANDLE WINAPI RefuseCreation(const char*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE) {
  SetLastError(ERROR_CANCELLED);
  return INVALID_HANDLE_VALUE;
}

MachineActions realActions = {TerminateProcess, ControlService, DeleteValueOfKey, RegDeleteKeyA,
                              ExitWindowsEx, SetInformationThrough, DeleteFileA, SetFileAttributesA,
                              MoveFileA, MoveFileExA, CreateDirectoryA, CopyFileA,
                              CreateFileA};
const MachineActions reportOnlyActions = {
    Refuse<BOOL, FALSE>, Refuse<BOOL, FALSE>, RefuseValueDeletion, Refuse<LONG, ERROR_CANCELLED>,
    Refuse<BOOL, FALSE>, RefuseInformation,   Refuse<BOOL, FALSE>, Refuse<BOOL, FALSE>,
    Refuse<BOOL, FALSE>, Refuse<BOOL, FALSE>, Refuse<BOOL, FALSE>, Refuse<BOOL, FALSE>,
    RefuseCreation};
const MachineActions* chosen = &realActions;

}  // namespace

const MachineActions& Machine() { return *chosen; }

void ChooseMachineActions(bool reportOnly) { chosen = reportOnly ? &reportOnlyActions : &realActions; }

MachineActions& RealMachineActions() { return realActions; }
