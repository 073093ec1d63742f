#include "app/AdministratorRun.h"

#include <windows.h>

#include "app/CommandLine.h"
#include "app/ConsoleOutput.h"
#include "app/InstanceLock.h"
#include "app/RunLog.h"
#include "app/RunOutcome.h"
#include "app/SilentRun.h"
#include "app/WindowRun.h"
#include "base/PathText.h"
#include "state/ProgramTitle.h"
#include "state/ScanState.h"

namespace {

// Where a caller reads: the console or standard output; a window run started
// from neither (a shortcut, say) shows the text in a plain box instead.
void Tell(const std::string& text, bool silent) {
  if (WriteToConsole(text.c_str()) || silent) return;
  MessageBoxA(nullptr, text.c_str(), kProgramTitle, MB_OK);
}

// The scan as the options ask it: one folder or every fixed drive, the
// memory phase or not, removal or only a report.
bool PrepareScan(const CommandLineOptions& options) {
  // The scan appends "\*.*" to the folder: "D:\" is taken as "D:".
  std::string folder = options.path.empty() ? "!:" : options.path;
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  if (!CopyText(scanState.scanTarget, folder.c_str())) return false;
  scanState.skipMemoryPhase = options.noMemory ? 1 : 0;
  scanState.reportOnly = options.reportOnly ? 1 : 0;
  // Report-only is the engine's "leave and report" action: every find is
  // named, nothing is touched.
  scanState.infectedAction = options.reportOnly ? kActionReportOnly : kActionRemove;
  return true;
}

}  // namespace

int RunFromCommandLine(const std::vector<std::string>& arguments) {
  CommandLineOptions options;
  std::string error;
  const bool silent = ParseCommandLine(arguments, options, error) && options.silent;
  if (!error.empty()) {
    Tell("scourix: " + error + "\r\n\r\n" + UsageText(), silent);
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

  RunLog log;
  std::string logPath = options.logFile.empty() && silent ? DefaultLogPath() : options.logFile;
  if (!logPath.empty() && !log.Open(logPath, error)) {
    Tell("scourix: the log file " + logPath + " cannot be used: " + error + "\r\n", silent);
    return kExitUsage;
  }
  if (!PrepareScan(options)) {
    Tell("scourix: the folder " + options.path + " is too long to scan\r\n", silent);
    return kExitUsage;
  }
  log.WriteHeader();
  return silent ? RunSilently(options, log) : RunInWindow(options, log);
}
