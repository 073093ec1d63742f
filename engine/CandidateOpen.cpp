#include "engine/CandidateOpen.h"

#include <new>
#include <string>
#include <utility>

#include "base/SystemLibrary.h"
#include "cleaning/OsVersion.h"
#include "cleaning/files/Files.h"

namespace {

const SystemFunction<IoCancelFunction> cancelSynchronousIo("kernel32.dll", "CancelSynchronousIo");

CandidateOpenFunction openSeam = nullptr;
DWORD bound = kExaminationBound;
bool cancelWhereAvailable = true;
DWORD lastOpenError = 0;

HANDLE SystemOpen(const char* path, const wchar_t* widePath, DWORD access, DWORD share, DWORD flags) {
  // The native view is taken per call, so per thread: the helper thread's
  // open gets its own.
  return openSeam ? openSeam(path, access, share, flags) : OpenForJudging(path, widePath, access, share, flags);
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

bool GenerationExpired(LONG generation) {
  EnterCriticalSection(&watchdog.lock);
  const bool expired = watchdog.expiredGeneration == generation;
  LeaveCriticalSection(&watchdog.lock);
  return expired;
}

bool BoundRanOut() { return armedGeneration != 0 && GenerationExpired(armedGeneration); }

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
  return generation_ != 0 && GenerationExpired(generation_);
}

CandidateOpenFunction UseCandidateOpenFunction(CandidateOpenFunction open) {
  return std::exchange(openSeam, open);
}

DWORD UseExaminationBound(DWORD milliseconds) {
  return std::exchange(bound, milliseconds);
}

bool UseSynchronousIoCancel(bool on) {
  return std::exchange(cancelWhereAvailable, on);
}

IoCancelFunction UseSynchronousIoCanceller(IoCancelFunction cancel) {
  return std::exchange(cancelSeam, cancel);
}
