#include <windows.h>
#include <winioctl.h>

#include <string>

#include "base/SystemLibrary.h"
#include "cleaning/OsVersion.h"
#include "cleaning/WidePath.h"
#include "cleaning/files/Files.h"
#include "cleaning/files/NativeView.h"

namespace {

// NtCreateFile's options and the one status that the headers of a Windows 95
// target do not give.
constexpr ULONG kFileOpen = 1;
constexpr ULONG kSynchronousIoNonAlert = 0x20;
constexpr ULONG kNonDirectoryFile = 0x40;
constexpr ULONG kCompleteIfOplocked = 0x100;
constexpr ULONG kOpenForBackupIntent = 0x4000;
constexpr ULONG kOpenReparsePoint = 0x200000;
constexpr ULONG kObjectCaseInsensitive = 0x40;
constexpr LONG kStatusOplockBreakInProgress = 0x108;

struct UnicodeString {
  USHORT length;
  USHORT maximumLength;
  WCHAR* buffer;
};
struct ObjectAttributes {
  ULONG length;
  HANDLE rootDirectory;
  UnicodeString* objectName;
  ULONG attributes;
  void* securityDescriptor;
  void* securityQualityOfService;
};
struct IoStatusBlock {
  union {
    LONG status;
    void* pointer;
  };
  ULONG_PTR information;
};

using NtCreateFileFunction = LONG(WINAPI*)(HANDLE* file, ACCESS_MASK access, ObjectAttributes* attributes,
                                           IoStatusBlock* status, LARGE_INTEGER* allocationSize,
                                           ULONG fileAttributes, ULONG share, ULONG disposition,
                                           ULONG options, void* eaBuffer, ULONG eaLength);
using DosPathToNtPathFunction = BOOLEAN(WINAPI*)(const WCHAR* dosName, UnicodeString* ntName,
                                                 WCHAR** filePart, void* relativeName);
using FreeUnicodeStringFunction = void(WINAPI*)(UnicodeString* text);
using NtStatusToErrorFunction = ULONG(WINAPI*)(LONG status);

const SystemFunction<NtCreateFileFunction> ntCreateFile("ntdll.dll", "NtCreateFile");
const SystemFunction<DosPathToNtPathFunction> dosPathToNtPath("ntdll.dll", "RtlDosPathNameToNtPathName_U");
const SystemFunction<FreeUnicodeStringFunction> freeUnicodeString("ntdll.dll", "RtlFreeUnicodeString");
const SystemFunction<NtStatusToErrorFunction> ntStatusToError("ntdll.dll", "RtlNtStatusToDosError");
struct NtFunctions {
  NtCreateFileFunction createFile;
  DosPathToNtPathFunction dosPathToNtPath;
  FreeUnicodeStringFunction freeUnicodeString;
  NtStatusToErrorFunction statusToError;
};

NtFunctions Nt() {
  return {ntCreateFile.Get(), dosPathToNtPath.Get(), freeUnicodeString.Get(), ntStatusToError.Get()};
}

// The open as CreateFileA makes it, but returning at once where the file is
// oplocked; the break it started is then waited for here, so that no later
// read on the handle waits for it unbounded.
HANDLE NtOpen(const wchar_t* widePath, DWORD access, DWORD share, DWORD flags) {
  const NtFunctions& f = Nt();
  UnicodeString ntPath{};
  if (!f.dosPathToNtPath(widePath, &ntPath, nullptr, nullptr)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  ObjectAttributes attributes{sizeof attributes, nullptr, &ntPath, kObjectCaseInsensitive, nullptr, nullptr};
  ULONG options = kSynchronousIoNonAlert | kNonDirectoryFile | kCompleteIfOplocked;
  if (flags & FILE_FLAG_OPEN_REPARSE_POINT) options |= kOpenReparsePoint;
  if (flags & FILE_FLAG_BACKUP_SEMANTICS) options |= kOpenForBackupIntent;
  HANDLE file = nullptr;
  IoStatusBlock status{};
  LONG result = f.createFile(&file, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &status,
                             nullptr, 0, share, kFileOpen, options, nullptr, 0);
  f.freeUnicodeString(&ntPath);
  if (result < 0) {
    SetLastError(f.statusToError ? f.statusToError(result) : ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (result == kStatusOplockBreakInProgress) {
    DWORD got = 0;
    if (!DeviceIoControl(file, FSCTL_OPLOCK_BREAK_NOTIFY, nullptr, 0, nullptr, 0, &got, nullptr)) {
      DWORD error = GetLastError();
      CloseHandle(file);
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
  }
  return file;
}

}  // namespace

HANDLE OpenForJudging(const char* path, const wchar_t* widePath, DWORD access, DWORD share, DWORD flags) {
  if (GetOsFamily() != OS_WINNT) return OpenPath(path, access, share, OPEN_EXISTING, flags);
  std::wstring converted;
  if (!widePath) {
    converted = WideFromFileText(path);
    if (converted.empty()) {
      SetLastError(ERROR_INVALID_NAME);
      return INVALID_HANDLE_VALUE;
    }
    widePath = converted.c_str();
  }
  const NtFunctions& f = Nt();
  if (!f.createFile || !f.dosPathToNtPath || !f.freeUnicodeString)
    return OpenPath(widePath, access, share, OPEN_EXISTING, flags);
  FileSystemRedirectionOff nativeView;
  return NtOpen(widePath, access, share, flags);
}
