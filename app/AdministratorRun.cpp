#include "app/AdministratorRun.h"

#include <windows.h>

#include <exception>
#include <new>
#include <utility>

#include "app/CommandLine.h"
#include "app/ConsoleOutput.h"
#include "app/InstanceLock.h"
#include "app/RunLog.h"
#include "app/RunOutcome.h"
#include "app/SilentRun.h"
#include "app/WindowRun.h"
#include "base/Handles.h"
#include "base/PathText.h"
#include "cleaning/MachineActions.h"
#include "cleaning/OsVersion.h"
#include "cleaning/files/Files.h"
#include "state/ProgramTitle.h"
#include "state/ScanState.h"

namespace {

// Where a caller reads: the console or standard output; a window run started
// from neither (a shortcut, say) shows the text in a plain box instead.
void Tell(const std::string& text, bool silent) {
  if (WriteToConsole(text.c_str()) || silent) return;
  MessageBoxA(nullptr, text.c_str(), kProgramTitle, MB_OK);
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
         error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME ||
         error == ERROR_BAD_PATHNAME;
}

// What /path names must be there and open: a folder whose entries can be
// listed, or a file that can be read. Anything else is the administrator's
// mistake, not a clean machine.
bool CheckTarget(const std::string& path, std::string& error) {
  const std::string named = "/path " + EscapeControlCharacters(path.c_str());
  const DWORD attributes = PathAttributes(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD reason = GetLastError();
    error = IsMissing(reason) ? named + ": there is no such folder or file"
                              : named + ": it cannot be opened (" + SystemMessage(reason) + ")";
    return false;
  }
  DWORD reason = ERROR_SUCCESS;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    std::string pattern = path;
    if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstEntry((pattern + "*.*").c_str(), found));
    if (!search.IsValid() && GetLastError() != ERROR_FILE_NOT_FOUND) reason = GetLastError();
  } else {
    // The 9x line refuses FILE_SHARE_DELETE as an invalid parameter.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (GetOsFamily() == OS_WINNT ? FILE_SHARE_DELETE : 0);
    FileHandle file(OpenPath(path.c_str(), GENERIC_READ, share, OPEN_EXISTING, 0));
    if (!file.IsValid()) reason = GetLastError();
  }
  if (reason == ERROR_SUCCESS) return true;
  error = named + ": it cannot be opened (" + SystemMessage(reason) + ")";
  return false;
}

// The scan as the options ask it: one folder or file, or every fixed drive,
// the memory phase or not, removal or only a report.
bool PrepareScan(const CommandLineOptions& options, std::string& error) {
  if (!options.path.empty() && !CheckTarget(options.path, error)) return false;
  // The scan appends "\*.*" to a folder: "D:\" is taken as "D:".
  std::string folder = options.path.empty() ? "!:" : options.path;
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  if (!CopyText(scanState.scanTarget, folder.c_str())) {
    error = "the folder " + EscapeControlCharacters(options.path.c_str()) + " is too long to scan";
    return false;
  }
  scanState.skipMemoryPhase = options.noMemory ? 1 : 0;
  ChooseMachineActions(options.reportOnly);
  // Report-only is the engine's "leave and report" action: every find is
  // named, nothing is touched.
  scanState.infectedAction = options.reportOnly ? kActionReportOnly : kActionRemove;
  return true;
}

// An unexpected failure anywhere in the run (an exception that nothing
// caught, no memory, a fault) ends it with its own code once the log is
// complete: never with a code that the table gives another meaning, such as
// the runtime's 3 for abort().
RunLog* activeLog = nullptr;
LONG ending = 0;

void ExitWithCode(int code) { ExitProcess(static_cast<UINT>(code)); }
ProcessEndFunction processEnd = ExitWithCode;

[[noreturn]] void EndWithInternalError(const char* what) {
  if (InterlockedExchange(&ending, 1) == 0 && activeLog) {
    const std::string line =
        "Internal error: " + EscapeControlCharacters(what) + "; the run ends here";
    activeLog->WriteLine(line.c_str());
    WriteToConsole((line + "\r\n").c_str());
    RunTally tally = TallyOfTheScan(*activeLog);
    tally.internalError = true;
    activeLog->WriteFooter(DecideExitCode(tally));
    WriteToConsole((std::string("Exit code 9: ") + ExitCodeMeaning(kExitInternalError) + "\r\n").c_str());
  }
  EndProcess(kExitInternalError);
}

void OnTerminate() { EndWithInternalError("an unexpected exception"); }

LONG WINAPI OnUnhandledFault(EXCEPTION_POINTERS* exception) {
  char what[80];
  snprintf(what, sizeof what, "an unexpected fault (exception 0x%08lX)",
           exception && exception->ExceptionRecord
               ? static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode)
               : 0ul);
  EndWithInternalError(what);
}

}  // namespace

ProcessEndFunction UseProcessEnd(ProcessEndFunction function) {
  return std::exchange(processEnd, function ? function : ExitWithCode);
}

void EndProcess(int code) {
  processEnd(code);
  ExitProcess(static_cast<UINT>(code));  // never reached: the stand-in throws
}

int RunFromCommandLine(const std::vector<std::string>& arguments) {
  CommandLineOptions options;
  std::string error;
  const bool silent = ParseCommandLine(arguments, options, error) && options.silent;
  if (!error.empty()) {
    Tell("scourix: " + EscapeControlCharacters(error.c_str()) + "\r\n\r\n" + UsageText(), silent);
    return kExitUsage;
  }
  if (options.help) {
    Tell(UsageText(), false);
    return kExitNothingFound;
  }

  InstanceLock lock;
  if (!lock.Acquire() || (!silent && FindWindowA(nullptr, kProgramTitle))) {
    Tell("scourix: another instance is running\r\n", silent);
    return kExitAnotherInstance;
  }

  // The log the administrator named must work, or nothing is done. The
  // default one is in a place that another account may hold: a run whose
  // default log cannot be opened scans anyway and says so.
  RunLog log;
  const bool defaultLog = options.logFile.empty() && silent;
  std::string logPath = defaultLog ? DefaultLogPath() : options.logFile;
  if (!logPath.empty() && !log.Open(logPath, error)) {
    if (!defaultLog) {
      Tell("scourix: the log file " + EscapeControlCharacters(logPath.c_str()) + " cannot be used: " + error +
               "\r\n",
           silent);
      return kExitUsage;
    }
    log.MarkFailed(error);
  }
  if (!PrepareScan(options, error)) {
    Tell("scourix: " + error + "\r\n", silent);
    log.WriteHeader();
    log.WriteLine(("scourix: " + error).c_str());
    log.WriteFooter(kExitUsage);
    return kExitUsage;
  }
  log.WriteHeader();
  if (!lock.Notice().empty()) {
    log.WriteLine(lock.Notice().c_str());
    if (silent) WriteToConsole((lock.Notice() + "\r\n").c_str());
  }

  activeLog = &log;
  ending = 0;
  std::set_terminate(OnTerminate);
  LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = SetUnhandledExceptionFilter(OnUnhandledFault);
  // Whatever else is thrown reaches std::terminate, and so OnTerminate.
  struct Restore {
    LPTOP_LEVEL_EXCEPTION_FILTER filter;
    ~Restore() {
      SetUnhandledExceptionFilter(filter);
      activeLog = nullptr;
    }
  } restore{previousFilter};
  try {
    return silent ? RunSilently(options, log) : RunInWindow(options, log);
  } catch (const std::bad_alloc&) {
    EndWithInternalError("out of memory");
  } catch (const std::exception& exception) {
    EndWithInternalError(exception.what());
  }
}
