#include "app/RunOutcome.h"

ExitCode DecideExitCode(const RunTally& tally) {
  if (tally.stopped) return kExitStopped;
  if (tally.filesInfected == 0) return kExitNothingFound;
  if (tally.reportOnly) return kExitFoundReportOnly;
  if (tally.filesLeft > 0) return kExitSomethingLeft;
  if (tally.filesScheduled > 0) return tally.restartStarted ? kExitRestartStarted : kExitRestartNeeded;
  return kExitAllRemoved;
}

const char* ExitCodeMeaning(ExitCode code) {
  switch (code) {
    case kExitNothingFound: return "nothing found";
    case kExitAllRemoved: return "found, and everything removed";
    case kExitSomethingLeft: return "found, and something could neither be removed nor scheduled";
    case kExitFoundReportOnly: return "found in report-only mode; nothing changed";
    case kExitStopped: return "the scan was stopped before its end";
    case kExitUsage: return "usage error, or the log file cannot be used";
    case kExitAnotherInstance: return "another instance is running";
    case kExitRestartStarted: return "found; removal completes at restart, and the restart has begun";
    case kExitRestartNeeded: return "found; removal completes at the next restart (restart needed)";
  }
  return "unknown";
}
