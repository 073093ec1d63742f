#include "cleaning/MachineActions.h"

#include <utility>

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

MachineActions realActions = {TerminateProcess, ControlService,     DeleteValueOfKey, RegDeleteKeyA,
                              ExitWindowsEx,    SetInformation,     DeleteFileA,      SetFileAttributesA,
                              MoveFileA,        MoveFileExA,        CreateDirectoryA, CopyFileA,
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

bool UseNtSetInformationFile(bool always) {
  return std::exchange(ntAlways, always);
}
