#pragma once
// How a file that may be the worm is opened, and the bound on how long its
// examination may take. A standard user can hold an opportunistic lock on a
// file that they own and never acknowledge its break: an ordinary open of it
// then waits for ever, and the scan with it.
//
// On the NT line the open goes through NtCreateFile with
// FILE_COMPLETE_IF_OPLOCKED, so that it returns at once instead of waiting for
// the break, and with FILE_OPEN_FOR_BACKUP_INTENT (FILE_FLAG_BACKUP_SEMANTICS),
// so that an access list does not hide the file from an administrator whose
// backup privilege the scan has enabled. The 9x line has neither oplocks on
// its fixed drives nor access lists: CreateFileA as always.
//
// The bound (kExaminationBound, 5 s): where kernel32 has CancelSynchronousIo
// (Vista on), a watchdog thread cancels whatever synchronous I/O the scan
// thread is doing once an examination has been armed for longer than the
// bound; it polls a timestamp, so arming costs no thread switch. Elsewhere
// (NT 4 to XP) the open, and the wait for an oplock break it started, run on
// a helper thread that the scan waits for up to the bound; after that the
// file is given up and the helper left to finish (it closes what it opened).
#include <windows.h>

constexpr DWORD kExaminationBound = 5000;  // milliseconds

// Opens an existing file as CreateFileA(path, access, share, nullptr,
// OPEN_EXISTING, flags) would, within the bound. INVALID_HANDLE_VALUE when it
// cannot; LastCandidateOpenError() then says why (ERROR_TIMEOUT when the bound
// ran out). The caller owns the handle. On the NT line `widePath`, where
// given, is what is opened, and `path` only its shown text (the seam below
// still sees `path`).
HANDLE OpenCandidateFile(const char* path, DWORD access, DWORD share, DWORD flags,
                         const wchar_t* widePath = nullptr);
DWORD LastCandidateOpenError();

// Arms the watchdog for one file's examination (open and reads) for as long
// as it lives. Expired(): the bound ran out meanwhile, so whatever failed in
// the examination may have failed because it was cancelled.
class ExaminationBound {
 public:
  ExaminationBound();
  ~ExaminationBound();
  ExaminationBound(const ExaminationBound&) = delete;
  ExaminationBound& operator=(const ExaminationBound&) = delete;

  // Ends the watch early, before what follows the examination.
  void Disarm();
  bool Expired() const;

 private:
  LONG generation_;
  bool disarmed_ = false;
  bool gaveUp_ = false;  // an open of it was given up
};

// Test seams. The open that the system call stands for (Wine plays no
// oplocks: a test puts an open in its place that blocks until cancelled);
// null restores the system's. The bound in milliseconds. Whether
// CancelSynchronousIo is used where kernel32 has it (false: the helper
// thread, as before Vista). Each returns the previous setting.
using CandidateOpenFunction = HANDLE (*)(const char* path, DWORD access, DWORD share, DWORD flags);
CandidateOpenFunction UseCandidateOpenFunction(CandidateOpenFunction open);
// What cancels the scan thread's synchronous I/O in CancelSynchronousIo's
// place (null: the system's, where kernel32 has it).
using IoCancelFunction = BOOL(WINAPI*)(HANDLE thread);
IoCancelFunction UseSynchronousIoCanceller(IoCancelFunction cancel);
DWORD UseExaminationBound(DWORD milliseconds);
bool UseSynchronousIoCancel(bool on);
