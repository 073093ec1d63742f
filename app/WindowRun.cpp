#include "app/WindowRun.h"

#include <cstdlib>

#include "app/RunOutcome.h"
#include "cleaning/MemoryScan.h"
#include "engine/ReportChannel.h"
#include "engine/ScanState.h"
#include "ui/ScanDialog.h"
#include "win/WinApp.h"

namespace {

RunLog* runLog = nullptr;

void MirrorLine(const char* line) { runLog->WriteLine(line); }

ExitCode OutcomeOfTheRun() {
  RunTally tally;
  tally.reportOnly = scanState.reportOnly != 0;
  // A window closed before its statistics counts as stopped.
  tally.stopped = scanState.stopRequested != 0 || scanState.scanFinished == 0;
  tally.filesInfected = scanState.filesInfected;
  tally.filesLeft = scanState.filesLeft;
  tally.filesScheduled = scanState.filesScheduled;
  if (tally.filesScheduled == 0 && scanState.restartNeeded) tally.filesScheduled = 1;
  return DecideExitCode(tally);
}

// The memory scan ends the program when the worm survived in memory, after
// its prompt: the restart it asks for is still needed.
void EndFromMemoryScan(int) {
  RunTally tally;
  tally.filesInfected = scanState.filesInfected > 0 ? scanState.filesInfected : 1;
  tally.filesScheduled = 1;
  ExitCode code = DecideExitCode(tally);
  runLog->WriteFooter(code);
  exit(static_cast<int>(code));
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

  ExitCode code = OutcomeOfTheRun();
  log.WriteFooter(code);
  UseProgramExit(previousExit);
  UseLogLineMirror(previousMirror);
  runLog = nullptr;
  return code;
}
