#include "app/RunOutcome.h"

ExitCode DecideExitCode(const RunTally& tally) {
  if (tally.internalError) return kExitInternalError;
  if (tally.stopped) return kExitStopped;
  if (tally.endedBeforeWalk) return kExitEndedBeforeWalk;
  ExitCode code = kExitAllRemoved;
  if (tally.filesInfected == 0)
    code = kExitNothingFound;
  else if (tally.reportOnly)
    code = kExitFoundReportOnly;
  else if (tally.filesLeft > 0 || tally.registryValuesLeft > 0)
    code = kExitSomethingLeft;
  else if (tally.filesScheduled > 0)
    code = tally.restartStarted ? kExitRestartStarted : kExitRestartNeeded;
  // Only the two codes that say "all is well" give way.
  if (code != kExitNothingFound && code != kExitAllRemoved) return code;
  if (tally.filesNotExamined > 0) return kExitScanIncomplete;
  if (tally.logFailed) return kExitUsage;
  return code;
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
    case kExitScanIncomplete: return "scan incomplete: files could not be examined";
    case kExitEndedBeforeWalk:
      return "found in memory; removal completes at the next restart, and the drives were not "
             "scanned: restart, then run again";
    case kExitInternalError: return "internal error";
    case kExitRestartStarted: return "found; removal completes at restart, and the restart has begun";
    case kExitRestartNeeded: return "found; removal completes at the next restart (restart needed)";
  }
  return "unknown";
}
