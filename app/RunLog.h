#pragma once
// The log file of an administrator's run. Every run appends: a header (when,
// on which computer, which Windows, which Scourix, the command line), every
// log line exactly as the window shows it, and a footer (the statistics, the
// outcome in words, the exit code). Lines end in CR LF; the file is shared
// for reading, so that it can be watched while the run goes on.
//
//   [Scourix run]
//   Started: 2026-12-08 13:05:01 UTC
//   ...
//   [Log]
//   <log lines>
//   [Result]
//   ...
//   Exit code: 1
#include <windows.h>

#include <string>

#include "app/RunOutcome.h"
#include "base/Handles.h"

class RunLog {
 public:
  // Opens the file for appending, creating it when missing. False, with the
  // reason in `error`, when it cannot be written. The file is opened without
  // following a link: a name that is a reparse point (a symbolic link, a
  // junction, a mount point) or a file with more than one name (hard links)
  // is refused, since whoever made it could aim the log at any file; so is a
  // path through a folder that is a link, and the folders on the path are
  // held while the log is opened, so that none is swapped for one. A file
  // that the run creates gets an access list of its own: Users may read it,
  // only Administrators and SYSTEM may change it.
  bool Open(const std::string& path, std::string& error);
  bool IsOpen() const { return file_.IsValid(); }

  // A log that could not be opened or written: the run goes on without it,
  // standard output says so, and the exit code does (RunTally::logFailed).
  // The first failure is kept; nothing is written after it, so that the
  // log never has holes.
  bool Failed() const { return failed_; }
  void MarkFailed(const std::string& reason);

  void WriteHeader();
  void WriteLine(const char* line);
  // Written once; a later call does nothing. Flushed to the disk at once: a
  // restart or the end of the session may follow. Its "[Result]" block holds
  // "Files not examined: N", "Registry values left in place: N", and, when
  // files could not be examined, "scan incomplete: N files could not be
  // examined".
  void WriteFooter(ExitCode code);

 private:
  void Write(const std::string& text);

  FileHandle file_;
  std::string path_;
  bool failed_ = false;
  bool footerWritten_ = false;
};

// The call that writes the log. Wine does not enforce another handle's
// byte-range lock on a write, so a test puts its own in place to play the
// refused write. Null restores WriteFile. Returns the previous one.
using LogWriteFunction = BOOL(WINAPI*)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                       LPOVERLAPPED overlapped);
LogWriteFunction UseLogWrite(LogWriteFunction function);

// The log file of a silent run given no /log: scourix.log in the Windows folder.
std::string DefaultLogPath();

// The scan's counts that decide a run's outcome, as the scan state holds
// them, and whether the log failed; `stopped` is whether a stop was asked for.
RunTally TallyOfTheScan(const RunLog& log);

// The system's message for an error, on one line, without its full stop.
std::string SystemMessage(DWORD error);
