#include "app/SilentRun.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/ConsoleOutput.h"
#include "app/RunLog.h"
#include "app/RunOutcome.h"
#include "app/StopSignals.h"
#include "cleaning/OsVersion.h"
#include "cleaning/Privileges.h"
#include "cleaning/Restart.h"
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

// Completes the log and, when asked for and needed, starts the restart.
ExitCode FinishRun() {
  RunTally tally = TallyOfTheScan();
  ExitCode code = DecideExitCode(tally);
  if (code == kExitRestartNeeded && restartAllowed) {
    if (CanRestart()) {
      tally.restartStarted = true;
      code = DecideExitCode(tally);
    } else {
      ReportLogLine("The computer could not be restarted: the shutdown privilege is not held");
    }
  }
  runLog->WriteFooter(code);
  WriteToConsole((std::string("Exit code ") + std::to_string(static_cast<int>(code)) + ": " +
                  ExitCodeMeaning(code) + "\r\n").c_str());
  if (stopSignals) stopSignals->RunFinished();
  if (code == kExitRestartStarted) RestartComputer();
  return code;
}

// The memory scan ends the program when the worm survived in memory.
void EndFromMemoryScan(int) {
  ExitCode code = FinishRun();
  exit(static_cast<int>(code));
}

void EndOfSession() {
  runLog->WriteFooter(DecideExitCode(TallyOfTheScan()));
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
  LogLineMirror previousMirror = UseLogLineMirror(MirrorLine);
  PromptHandler previousPrompt = UsePromptHandler(AnswerForTheUser);
  ProgramExitFunction previousExit = UseProgramExit(EndFromMemoryScan);
  BetweenEntriesFunction previousPacing = UseBetweenEntries(LookForStopSignals);

  scanState.reportWindow = nullptr;
  scanState.scanRunning = 1;
  scanState.stopRequested = 0;
  RunScan();
  scanState.scanRunning = 0;
  ExitCode code = FinishRun();

  UseBetweenEntries(previousPacing);
  UseProgramExit(previousExit);
  UsePromptHandler(previousPrompt);
  UseLogLineMirror(previousMirror);
  stopSignals = nullptr;
  runLog = nullptr;
  return code;
}
