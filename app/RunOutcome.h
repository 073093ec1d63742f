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
  kExitRestartStarted = 1641,  // removal completes at restart, which has begun
  kExitRestartNeeded = 3010,   // removal completes at the next restart
};

// The counts of a finished (or stopped) run that decide its outcome.
struct RunTally {
  bool reportOnly = false;
  bool stopped = false;
  bool restartStarted = false;
  int filesInfected = 0;
  int filesLeft = 0;       // neither removed nor scheduled (removal failures)
  int filesScheduled = 0;  // left for deletion at the next restart
};

// When several apply, the one that asks most of the administrator wins: a
// stopped run, then a file still in place, then a restart.
ExitCode DecideExitCode(const RunTally& tally);

// The outcome in words, for the log's last lines.
const char* ExitCodeMeaning(ExitCode code);
