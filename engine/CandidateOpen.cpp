#include "engine/CandidateOpen.h"

#include <winioctl.h>

#include <cstring>
#include <new>
#include <string>

#include "base/SystemLibrary.h"
#include "cleaning/FileSystemRedirection.h"
#include "cleaning/OsVersion.h"
#include "cleaning/WidePath.h"

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
const SystemFunction<IoCancelFunction> cancelSynchronousIo("kernel32.dll", "CancelSynchronousIo");

struct NtFunctions {
  NtCreateFileFunction createFile;
  DosPathToNtPathFunction dosPathToNtPath;
  FreeUnicodeStringFunction freeUnicodeString;
  NtStatusToErrorFunction statusToError;
  IoCancelFunction cancelSynchronousIo;
};

NtFunctions Nt() {
  return {ntCreateFile.Get(), dosPathToNtPath.Get(), freeUnicodeString.Get(), ntStatusToError.Get(),
          cancelSynchronousIo.Get()};
}

CandidateOpenFunction openSeam = nullptr;
DWORD bound = kExaminationBound;
bool cancelWhereAvailable = true;
DWORD lastOpenError = 0;

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

HANDLE SystemOpen(const char* path, const wchar_t* widePath, DWORD access, DWORD share, DWORD flags) {
  if (openSeam) return openSeam(path, access, share, flags);
  // Per thread: the helper thread needs its own.
  FileSystemRedirectionOff nativeView;
  if (GetOsFamily() != OS_WINNT) return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
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
    return CreateFileWide(widePath, access, share, OPEN_EXISTING, flags);
  return NtOpen(widePath, access, share, flags);
}

IoCancelFunction cancelSeam = nullptr;

IoCancelFunction Canceller() { return cancelSeam ? cancelSeam : cancelSynchronousIo.Get(); }

bool CancelsSynchronousIo() { return cancelWhereAvailable && Canceller() != nullptr; }

// --- Before Vista: the open on a helper thread, given up after the bound ---

struct OpenJob {
  std::string path;
  std::wstring widePath;
  bool hasWidePath;
  DWORD access, share, flags;
  HANDLE result;
  DWORD error;
  volatile LONG state;  // kRunning, then kDone or kAbandoned, whoever comes first
};
constexpr LONG kRunning = 0;
constexpr LONG kDone = 1;
constexpr LONG kAbandoned = 2;

DWORD WINAPI RunOpenJob(void* parameter) {
  OpenJob* job = static_cast<OpenJob*>(parameter);
  job->result = SystemOpen(job->path.c_str(), job->hasWidePath ? job->widePath.c_str() : nullptr, job->access,
                           job->share, job->flags);
  job->error = GetLastError();
  if (InterlockedExchange(&job->state, kDone) == kAbandoned) {
    // Nobody waits for it any more: the file was given up.
    if (job->result != INVALID_HANDLE_VALUE) CloseHandle(job->result);
    delete job;
  }
  return 0;
}

HANDLE OpenOnHelperThread(const char* path, const wchar_t* widePath, DWORD access, DWORD share, DWORD flags) {
  OpenJob* job = new (std::nothrow) OpenJob{};
  if (!job) return SystemOpen(path, widePath, access, share, flags);
  job->path = path;
  job->hasWidePath = widePath != nullptr;
  if (widePath) job->widePath = widePath;
  job->access = access;
  job->share = share;
  job->flags = flags;
  job->result = INVALID_HANDLE_VALUE;
  DWORD threadId;
  HANDLE thread = CreateThread(nullptr, 0, RunOpenJob, job, 0, &threadId);
  if (!thread) {
    delete job;
    return SystemOpen(path, widePath, access, share, flags);
  }
  WaitForSingleObject(thread, bound);
  CloseHandle(thread);
  if (InterlockedCompareExchange(&job->state, kAbandoned, kRunning) == kRunning) {
    SetLastError(ERROR_TIMEOUT);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE result = job->result;
  SetLastError(job->error);
  delete job;
  return result;
}

// --- Vista on: the watchdog ---

struct Watchdog {
  bool started = false;
  CRITICAL_SECTION lock;
  HANDLE watchedThread = nullptr;  // THREAD_TERMINATE, which CancelSynchronousIo needs
  DWORD watchedThreadId = 0;
  LONG generation = 0;  // of the latest examination armed
  LONG expiredGeneration = 0;
  bool armed = false;
  DWORD armedAt = 0;
};
Watchdog watchdog;

DWORD WINAPI Watch(void*) {
  for (;;) {
    DWORD poll = bound / 10;
    Sleep(poll < 20 ? 20 : poll > 250 ? 250 : poll);
    EnterCriticalSection(&watchdog.lock);
    // Cancelling while the lock is held: the scan thread cannot meanwhile
    // end this examination and start the next one's I/O.
    if (watchdog.armed && GetTickCount() - watchdog.armedAt >= bound) {
      watchdog.expiredGeneration = watchdog.generation;
      Canceller()(watchdog.watchedThread);
    }
    LeaveCriticalSection(&watchdog.lock);
  }
}

bool StartWatchdog() {
  if (!watchdog.started) {
    InitializeCriticalSection(&watchdog.lock);
    DWORD threadId;
    HANDLE thread = CreateThread(nullptr, 0, Watch, nullptr, 0, &threadId);
    if (!thread) {
      DeleteCriticalSection(&watchdog.lock);
      return false;
    }
    CloseHandle(thread);
    watchdog.started = true;
  }
  if (watchdog.watchedThreadId != GetCurrentThreadId()) {
    HANDLE thread = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread,
                         THREAD_TERMINATE, FALSE, 0))
      return false;
    EnterCriticalSection(&watchdog.lock);
    if (watchdog.watchedThread) CloseHandle(watchdog.watchedThread);
    watchdog.watchedThread = thread;
    watchdog.watchedThreadId = GetCurrentThreadId();
    LeaveCriticalSection(&watchdog.lock);
  }
  return true;
}

// The examination armed now, if any, and whether its bound ran out.
LONG armedGeneration = 0;
bool insideBound = false;
bool givenUp = false;

bool BoundRanOut() {
  if (armedGeneration == 0) return false;
  EnterCriticalSection(&watchdog.lock);
  bool expired = watchdog.expiredGeneration == armedGeneration;
  LeaveCriticalSection(&watchdog.lock);
  return expired;
}

}  // namespace

HANDLE OpenCandidateFile(const char* path, DWORD access, DWORD share, DWORD flags, const wchar_t* widePath) {
  // Once the bound has run out, a further open of the same examination (the
  // check tries a second, with fewer rights) would only wait it out again.
  if (givenUp) {
    lastOpenError = ERROR_TIMEOUT;
    SetLastError(ERROR_TIMEOUT);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file;
  if (GetOsFamily() == OS_WINNT && !CancelsSynchronousIo())
    file = OpenOnHelperThread(path, widePath, access, share, flags);
  else
    file = SystemOpen(path, widePath, access, share, flags);
  lastOpenError = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (insideBound && file == INVALID_HANDLE_VALUE && (lastOpenError == ERROR_TIMEOUT || BoundRanOut()))
    givenUp = true;
  return file;
}

DWORD LastCandidateOpenError() { return lastOpenError; }

ExaminationBound::ExaminationBound() : generation_(0) {
  insideBound = true;
  givenUp = false;
  armedGeneration = 0;
  if (!CancelsSynchronousIo() || !StartWatchdog()) return;
  EnterCriticalSection(&watchdog.lock);
  generation_ = ++watchdog.generation;
  watchdog.armedAt = GetTickCount();
  watchdog.armed = true;
  LeaveCriticalSection(&watchdog.lock);
  armedGeneration = generation_;
}

ExaminationBound::~ExaminationBound() { Disarm(); }

void ExaminationBound::Disarm() {
  if (disarmed_) return;
  disarmed_ = true;
  gaveUp_ = givenUp;
  insideBound = false;
  givenUp = false;
  armedGeneration = 0;
  if (generation_ == 0) return;
  EnterCriticalSection(&watchdog.lock);
  if (watchdog.generation == generation_) watchdog.armed = false;
  LeaveCriticalSection(&watchdog.lock);
}

bool ExaminationBound::Expired() const {
  if (disarmed_ ? gaveUp_ : givenUp) return true;
  if (generation_ == 0) return false;
  EnterCriticalSection(&watchdog.lock);
  bool expired = watchdog.expiredGeneration == generation_;
  LeaveCriticalSection(&watchdog.lock);
  return expired;
}

CandidateOpenFunction UseCandidateOpenFunction(CandidateOpenFunction open) {
  CandidateOpenFunction previous = openSeam;
  openSeam = open;
  return previous;
}

DWORD UseExaminationBound(DWORD milliseconds) {
  DWORD previous = bound;
  bound = milliseconds;
  return previous;
}

bool UseSynchronousIoCancel(bool on) {
  bool previous = cancelWhereAvailable;
  cancelWhereAvailable = on;
  return previous;
}

IoCancelFunction UseSynchronousIoCanceller(IoCancelFunction cancel) {
  IoCancelFunction previous = cancelSeam;
  cancelSeam = cancel;
  return previous;
}
