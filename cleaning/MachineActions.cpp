#include "cleaning/MachineActions.h"

#include "base/SystemLibrary.h"

namespace {

struct IoStatusBlock {
  union {
    LONG status;
    void* pointer;
  };
  ULONG_PTR information;
};
using SetByHandleFunction = BOOL(WINAPI*)(HANDLE file, int informationClass, void* information, DWORD length);
using NtSetFunction = LONG(WINAPI*)(HANDLE file, IoStatusBlock* status, void* information, ULONG length,
                                    ULONG informationClass);
using NtStatusToErrorFunction = ULONG(WINAPI*)(LONG status);

const SystemFunction<SetByHandleFunction> setFileInformationByHandle("kernel32.dll", "SetFileInformationByHandle");
const SystemFunction<NtSetFunction> ntSetInformationFile("ntdll.dll", "NtSetInformationFile");
const SystemFunction<NtStatusToErrorFunction> ntStatusToDosError("ntdll.dll", "RtlNtStatusToDosError");
bool ntAlways = false;

bool SetInformation(HANDLE file, int byHandleClass, ULONG ntClass, void* information, DWORD length,
                    DWORD& error) {
  const auto setByHandle = setFileInformationByHandle.Get();
  if (setByHandle && !ntAlways) {
    if (setByHandle(file, byHandleClass, information, length)) return true;
    error = GetLastError();
    return false;
  }
  const auto ntSet = ntSetInformationFile.Get();
  if (!ntSet) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return false;
  }
  IoStatusBlock status{};
  const LONG result = ntSet(file, &status, information, length, ntClass);
  if (result >= 0) return true;
  const auto toError = ntStatusToDosError.Get();
  error = toError ? toError(result) : ERROR_ACCESS_DENIED;
  return false;
}

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
bool RefuseInformation(HANDLE, int, ULONG, void*, DWORD, DWORD& error) {
  error = ERROR_CANCELLED;
  return false;
}
BOOL WINAPI RefuseDeletion(const char*) {
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}
BOOL WINAPI RefuseAttributes(const char*, DWORD) {
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}
BOOL WINAPI RefuseMove(const char*, const char*) {
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}
BOOL WINAPI RefuseMoveEx(const char*, const char*, DWORD) {
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}

BOOL WINAPI RefuseFolder(const char*, SECURITY_ATTRIBUTES*) {
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}
BOOL WINAPI RefuseCopy(const char*, const char*, BOOL) {
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}
HANDLE WINAPI RefuseCreation(const char*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE) {
  SetLastError(ERROR_CANCELLED);
  return INVALID_HANDLE_VALUE;
}

MachineActions realActions = {TerminateProcess, ControlService,     DeleteValueOfKey, RegDeleteKeyA,
                              ExitWindowsEx,    SetInformation,     DeleteFileA,      SetFileAttributesA,
                              MoveFileA,        MoveFileExA,        CreateDirectoryA, CopyFileA,
                              CreateFileA};
const MachineActions reportOnlyActions = {RefuseTermination, RefuseServiceControl, RefuseValueDeletion,
                                          RefuseKeyDeletion, RefuseRestart,        RefuseInformation,
                                          RefuseDeletion,    RefuseAttributes,     RefuseMove,
                                          RefuseMoveEx,      RefuseFolder,         RefuseCopy,
                                          RefuseCreation};
const MachineActions* chosen = &realActions;

}  // namespace

const MachineActions& Machine() { return *chosen; }

void ChooseMachineActions(bool reportOnly) { chosen = reportOnly ? &reportOnlyActions : &realActions; }

MachineActions& RealMachineActions() { return realActions; }

bool UseNtSetInformationFile(bool always) {
  const bool previous = ntAlways;
  ntAlways = always;
  return previous;
}
