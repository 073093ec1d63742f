#pragma once
// What an administrator's run ended in, as one exit code with one meaning
// each, and in words for the log. Portable.
//
// 3010 and 1641 are the codes that deployment tools already read as "restart
// needed" and "restart started"; the rest are small numbers.
enum ExitCode : int {
  kExitNothingFound = 0,
  kExitAllRemoved = 1,
  kExitSomethingLeft = 2,      // could neither be removed nor scheduled
  kExitFoundReportOnly = 3,    // nothing was changed
  kExitStopped = 4,            // the scan did not reach its end
  kExitUsage = 5,              // a usage error, or the log file cannot be used
  kExitAnotherInstance = 6,
  kExitScanIncomplete = 7,     // files that could not be examined
  kExitEndedBeforeWalk = 8,    // the memory scan ended the run before the drives
  kExitInternalError = 9,      // an unexpected failure (an exception, no memory)
  kExitRestartStarted = 1641,  // removal completes at restart, which has begun
  kExitRestartNeeded = 3010,   // removal completes at the next restart
};

// The counts of a finished (or stopped) run that decide its outcome.
struct RunTally {
  bool reportOnly = false;
  bool stopped = false;
  bool restartStarted = false;  // the restart call succeeded
  int filesInfected = 0;
  int filesLeft = 0;       // neither removed nor scheduled (removal failures)
  int filesScheduled = 0;  // left for deletion at the next restart
  int filesNotExamined = 0;
  int registryValuesLeft = 0;   // the worm's values that could not be deleted
  bool endedBeforeWalk = false; // a survivor in memory ended the run
  bool internalError = false;
  bool logFailed = false;       // the log file could not be opened or written
};

// When several apply, the one that asks most of the administrator wins: an
// internal error, a stopped run, a run that never reached the drives, then a
// file (or value) still in place, then a restart. A scan that could not
// examine every file never says "nothing found" or "everything removed"; nor
// does a run whose log failed, which then says 5.
ExitCode DecideExitCode(const RunTally& tally);

// The outcome in words, for the log's last lines.
const char* ExitCodeMeaning(ExitCode code);
