#include "app/SilentRun.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/AdministratorRun.h"
#include "app/ConsoleOutput.h"
#include "app/RunLog.h"
#include "app/RunOutcome.h"
#include "app/StopSignals.h"
#include "cleaning/OsVersion.h"
#include "cleaning/Privileges.h"
#include "cleaning/Restart.h"
#include "engine/DirectoryWalk.h"
#include "engine/MemoryScan.h"
#include "engine/ScanRun.h"
#include "state/Prompt.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

namespace {

RunLog* runLog = nullptr;
bool restartAllowed = false;
StopSignals* stopSignals = nullptr;

void MirrorLine(const char* line) {
  runLog->WriteLine(line);
  WriteToConsole((std::string(line) + "\r\n").c_str());
}

// A question's text on one line: its line feeds, and the blanks around them, become one blank.
std::string OneLine(const char* text) {
  std::string line;
  for (const char* at = text; *at; ++at) {
    if (*at == '\n' || *at == '\r') {
      while (!line.empty() && line.back() == ' ') line.pop_back();
      while (at[1] == '\n' || at[1] == '\r' || at[1] == ' ') ++at;
      line += ' ';
    } else {
      line += *at;
    }
  }
  return line;
}

// No one is there to answer. Notices become log lines; a restart is never
// begun from inside the scan but at its end, once the log is complete.
int AnswerForTheUser(PromptKind kind, const char* text, const char* caption, unsigned int) {
  switch (kind) {
    case PromptKind::Notice:
      ReportLogLine("%s     %s", caption ? caption : "", text ? text : "");
      return IDOK;
    case PromptKind::StopScan:
      return IDNO;
    case PromptKind::RestartOffer:
    case PromptKind::FoundInMemory:
      ReportLogLine("%s     %s", OneLine(text ? text : "").c_str(),
                    restartAllowed ? "Restarting when the run ends" : "No restart without /restart");
      return kind == PromptKind::RestartOffer ? IDNO : IDCANCEL;
  }
  return IDNO;
}

// Whether this process may restart the computer: the 9x line has no
// privileges; on the NT line the shutdown privilege must be held.
bool CanRestart() {
  if (GetOsFamily() != OS_WINNT) return true;
  return EnablePrivilege("SeShutdownPrivilege") && GetLastError() == ERROR_SUCCESS;
}

// The line that says a run ended before its walk of the drives.
void ReportDrivesNotScanned() {
  ReportLogLine("The drives were not scanned: restart the computer, then run Scourix again");
}

// Completes the log and, when asked for and needed, starts the restart. The
// restart is asked for before the log's last block, so that the block says
// whether the system took it (1641) or not (3010); the block follows at once.
ExitCode FinishRun(bool endedBeforeWalk) {
  RunTally tally = TallyOfTheScan(*runLog);
  tally.endedBeforeWalk = endedBeforeWalk;
  ExitCode code = DecideExitCode(tally);
  // A survivor in memory goes only with a restart: /restart restarts for it too.
  if (restartAllowed && (code == kExitRestartNeeded || code == kExitEndedBeforeWalk)) {
    if (!CanRestart()) {
      ReportLogLine("The computer could not be restarted: the shutdown privilege is not held");
    } else if (BeginRestart()) {
      tally.restartStarted = true;
    } else {
      ReportLogLine("The computer could not be restarted: %s", SystemMessage(GetLastError()).c_str());
    }
    code = DecideExitCode(tally);
  }
  runLog->WriteFooter(code);
  if (scanState.filesNotExamined > 0)
    WriteToConsole(("scan incomplete: " + std::to_string(static_cast<int>(scanState.filesNotExamined)) +
                    " files could not be examined\r\n").c_str());
  WriteToConsole((std::string("Exit code ") + std::to_string(static_cast<int>(code)) + ": " +
                  ExitCodeMeaning(code) + "\r\n").c_str());
  if (stopSignals) stopSignals->RunFinished();
  return code;
}

// The memory scan ends the program when the worm survived in memory.
void EndFromMemoryScan(int) {
  ReportDrivesNotScanned();
  EndProcess(FinishRun(true));
}

void EndOfSession() {
  runLog->WriteFooter(DecideExitCode(TallyOfTheScan(*runLog)));
  if (stopSignals) stopSignals->RunFinished();
}

}  // namespace

// Between the walk's entries: no window to keep alive, only a look now and
// then at the queue, where a console's Ctrl+C and the end of the session
// arrive. Each look costs a call into the system, so it is taken at most
// every 50 ms.
void LookForStopSignals() {
  static DWORD lastLook = 0;
  const DWORD now = GetTickCount();
  if (now - lastLook < 50) return;
  lastLook = now;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      scanState.stopRequested = 1;
      return;
    }
    DispatchMessageA(&message);
  }
}

int RunSilently(const CommandLineOptions& options, RunLog& log) {
  runLog = &log;
  restartAllowed = options.restart;
  StopSignals signals(EndOfSession);
  stopSignals = &signals;
  // Put back however the run ends here: returned, or thrown through.
  struct Seams {
    LogLineMirror mirror = UseLogLineMirror(MirrorLine);
    PromptHandler prompt = UsePromptHandler(AnswerForTheUser);
    ProgramExitFunction exit = UseProgramExit(EndFromMemoryScan);
    BetweenEntriesFunction pacing = UseBetweenEntries(LookForStopSignals);
    ~Seams() {
      UseBetweenEntries(pacing);
      UseProgramExit(exit);
      UsePromptHandler(prompt);
      UseLogLineMirror(mirror);
      stopSignals = nullptr;
      runLog = nullptr;
    }
  } seams;

  // SCOURIX_WALK_THREADS=N: the walk's threads (1: the scan's thread alone),
  // so that a run can be compared with the single-threaded one.
  char threads[8] = "";
  if (GetEnvironmentVariableA("SCOURIX_WALK_THREADS", threads, sizeof threads) - 1 < sizeof threads - 1)
    UseWalkThreads(atoi(threads));

  scanState.reportWindow = nullptr;
  scanState.scanRunning = 1;
  scanState.stopRequested = 0;
  RunScan();
  scanState.scanRunning = 0;
  return FinishRun(false);
}
