#include "app/WindowRun.h"


#include "app/AdministratorRun.h"
#include "app/RunLog.h"
#include "app/RunOutcome.h"
#include "app/ScanDialog.h"
#include "engine/MemoryScan.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"
#include "win/WinApp.h"

namespace {

RunLog* runLog = nullptr;

void MirrorLine(const char* line) { runLog->WriteLine(line); }

// A window closed before its statistics counts as stopped; the memory scan
// ends the program before them when the worm survived in memory.
ExitCode OutcomeOfTheRun(bool endedByMemoryScan) {
  RunTally tally = TallyOfTheScan(*runLog);
  tally.stopped = !endedByMemoryScan && (tally.stopped || scanState.scanFinished == 0);
  tally.endedBeforeWalk = endedByMemoryScan;
  return DecideExitCode(tally);
}

void EndFromMemoryScan(int) {
  ReportLogLine("The drives were not scanned: restart the computer, then run Scourix again");
  ExitCode code = OutcomeOfTheRun(true);
  runLog->WriteFooter(code);
  EndProcess(code);
}

}  // namespace

int RunInWindow(const CommandLineOptions& options, RunLog& log) {
  runLog = &log;
  LogLineMirror previousMirror = UseLogLineMirror(log.IsOpen() ? MirrorLine : nullptr);
  ProgramExitFunction previousExit = UseProgramExit(EndFromMemoryScan);

  ScanDialog dialog;
  dialog.UsePreparedScan(options.scanAtOnce);
  AfxGetApp()->m_pMainWnd = &dialog;
  dialog.DoModal();
  AfxGetApp()->m_pMainWnd = nullptr;

  ExitCode code = OutcomeOfTheRun(false);
  log.WriteFooter(code);
  UseProgramExit(previousExit);
  UseLogLineMirror(previousMirror);
  runLog = nullptr;
  return code;
}
