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
#include <string>

#include "app/RunOutcome.h"
#include "base/Handles.h"

class RunLog {
 public:
  // Opens the file for appending, creating it when missing. False, with the
  // system's reason in `error`, when it cannot be written.
  bool Open(const std::string& path, std::string& error);
  bool IsOpen() const { return file_.IsValid(); }

  void WriteHeader();
  void WriteLine(const char* line);
  // Written once; a later call does nothing. Flushed to the disk at once: a
  // restart or the end of the session may follow.
  void WriteFooter(ExitCode code);

 private:
  void Write(const std::string& text);

  FileHandle file_;
  bool footerWritten_ = false;
};

// The log file of a silent run given no /log: scourix.log in the Windows folder.
std::string DefaultLogPath();

// The scan's counts that decide a run's outcome, as the scan state holds
// them; `stopped` is whether a stop was asked for.
RunTally TallyOfTheScan();
