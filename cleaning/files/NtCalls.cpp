#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

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
const SystemFunction<LONG(WINAPI*)(ObjectAttributes* attributes, void* information)> ntQueryFullAttributesFile(
    "ntdll.dll", "NtQueryFullAttributesFile");
const SystemFunction<LONG(WINAPI*)(HANDLE folder, HANDLE event, void* apcRoutine, void* apcContext,
                                   IoStatusBlock* status, void* buffer, ULONG length, int informationClass,
                                   BOOLEAN returnSingleEntry, UnicodeString* fileName, BOOLEAN restartScan)>
    ntQueryDirectoryFile("ntdll.dll", "NtQueryDirectoryFile");
const SystemFunction<BOOL(WINAPI*)(HANDLE file, int informationClass, void* information, DWORD length)>
    setFileInformationByHandle("kernel32.dll", "SetFileInformationByHandle");
const SystemFunction<LONG(WINAPI*)(HANDLE file, IoStatusBlock* status, void* information, ULONG length,
                                   ULONG informationClass)>
    ntSetInformationFile("ntdll.dll", "NtSetInformationFile");
bool ntSetAlways = false;
// NT 4 and 98 on, so looked up; the reads it cancels are NT-only.
const SystemFunction<BOOL(WINAPI*)(HANDLE file)> cancelIo("kernel32.dll", "CancelIo");
constexpr LONG kStatusNotImplemented = static_cast<LONG>(0xC0000002);
constexpr LONG kStatusNameTooLong = static_cast<LONG>(0xC0000106);

// An NT name of `units` UTF-16 units, as the native calls take it; false
// where it is too long for one.
bool CountedName(const wchar_t* name, size_t units, UnicodeString& counted) {
  if (units * sizeof(wchar_t) > 0xFFFE) return false;
  counted.length = counted.maximumLength = static_cast<USHORT>(units * sizeof(wchar_t));
  counted.buffer = const_cast<WCHAR*>(name);
  return true;
}
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

bool CanAskByNtName() { return ntQueryFullAttributesFile && ntCreateFile; }

LONG QueryLengthByNtName(HANDLE folder, const wchar_t* name, size_t units, uint64_t& length) {
  constexpr size_t kEndOfFileAt = 40;  // in FILE_NETWORK_OPEN_INFORMATION
  const auto query = ntQueryFullAttributesFile.Get();
  if (!query) return kStatusNotImplemented;
  UnicodeString counted;
  if (!CountedName(name, units, counted)) return kStatusNameTooLong;
  ObjectAttributes attributes{sizeof attributes, folder, &counted, kObjectCaseInsensitive, nullptr, nullptr};
  uint8_t information[64] = {};
  LONG status;
  {
    FileSystemRedirectionOff nativeView;
    status = query(&attributes, information);
  }
  if (status >= 0) memcpy(&length, information + kEndOfFileAt, sizeof length);
  return status;
}

HANDLE OpenToReadAhead(const wchar_t* name, size_t units) {
  const auto create = ntCreateFile.Get();
  UnicodeString counted;
  if (!create || !CountedName(name, units, counted)) return INVALID_HANDLE_VALUE;
  ObjectAttributes attributes{sizeof attributes, nullptr, &counted, kObjectCaseInsensitive, nullptr, nullptr};
  IoStatusBlock io{};
  HANDLE opened = nullptr;
  LONG status;
  {
    FileSystemRedirectionOff nativeView;
    // No FILE_SYNCHRONOUS_IO_NONALERT: reads are overlapped, so that each
    // can be given up (ReadWithin).
    status = create(&opened, FILE_GENERIC_READ, &attributes, &io, nullptr, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    kFileOpen, kNonDirectoryFile | kCompleteIfOplocked | kOpenForBackupIntent | kOpenReparsePoint,
                    nullptr, 0);
  }
  if (status < 0) return INVALID_HANDLE_VALUE;
  if (status == kStatusOplockBreakInProgress) {
    CloseHandle(opened);
    return INVALID_HANDLE_VALUE;
  }
  return opened;
}

bool ReadWithin(HANDLE file, uint32_t position, void* buffer, uint32_t length, DWORD milliseconds, DWORD& got) {
  got = 0;
  KernelHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!done.IsValid()) return false;
  OVERLAPPED overlapped{};
  overlapped.Offset = position;
  overlapped.hEvent = done.Get();
  if (!ReadFile(file, buffer, length, nullptr, &overlapped)) {
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF) return true;
    if (error != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(done.Get(), milliseconds) != WAIT_OBJECT_0) {
      // Given up: cancelled, and waited for, since the buffer is the caller's.
      // Without CancelIo (NT 3.51) the read cannot be given up safely:
      // the wait for it goes on.
      if (cancelIo) cancelIo(file);
      GetOverlappedResult(file, &overlapped, &got, TRUE);
      got = 0;
      return false;
    }
  }
  if (GetOverlappedResult(file, &overlapped, &got, FALSE)) return true;
  return GetLastError() == ERROR_HANDLE_EOF;
}

bool CanListThroughHandle() { return ntQueryDirectoryFile.Get() != nullptr; }

bool ListThroughHandle(HANDLE folder, void* buffer, size_t length, bool restart, size_t& filled, DWORD& error) {
  constexpr int kFileDirectoryInformation = 1;
  constexpr LONG kNoMoreFiles = static_cast<LONG>(0x80000006), kNoSuchFile = static_cast<LONG>(0xC000000F);
  filled = 0;
  const auto query = ntQueryDirectoryFile.Get();
  if (!query) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return false;
  }
  IoStatusBlock io{};
  const LONG status = query(folder, nullptr, nullptr, nullptr, &io, buffer, static_cast<ULONG>(length),
                            kFileDirectoryInformation, FALSE, nullptr, restart);
  if (status < 0 || io.information == 0) {
    // The end of the listing is no failure; anything else leaves the folder
    // not looked into.
    const bool end = status >= 0 || status == kNoMoreFiles || status == kNoSuchFile;
    error = end ? ERROR_NO_MORE_FILES : ERROR_ACCESS_DENIED;
    return false;
  }
  filled = io.information < length ? io.information : length;
  return true;
}

bool SetInformationThrough(HANDLE file, int byHandleClass, ULONG ntClass, void* information, DWORD length,
                           DWORD& error) {
  if (setFileInformationByHandle && !ntSetAlways) {
    if (setFileInformationByHandle(file, byHandleClass, information, length)) return true;
    error = GetLastError();
    return false;
  }
  if (!ntSetInformationFile) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return false;
  }
  IoStatusBlock status{};
  const LONG result = ntSetInformationFile(file, &status, information, length, ntClass);
  if (result >= 0) return true;
  error = ntStatusToError ? ntStatusToError(result) : ERROR_ACCESS_DENIED;
  return false;
}

bool UseNtSetInformationFile(bool always) { return std::exchange(ntSetAlways, always); }
