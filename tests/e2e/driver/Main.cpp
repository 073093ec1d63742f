// Plays the user at the scan window of a running scourix.exe, from another
// process, and writes what it saw into a text file for the scenario script.
//
//   scourix-driver.exe [--out FILE] [--timeout SECONDS] COMMAND [OPTIONS] [COMMAND ...]
//
//   idle | state          the look of every control, the title and the region
//   scan [--escape-after N | --x-after N | --cancel-after N] [--answer yes|no]
//        [--restart yes|no] [--within SECONDS] [--may-close] [--started]
//        [--screenshots PREFIX]
//                         press SCAN, answer the prompts, wait for the end,
//                         read the status line and the log; the interruption
//                         comes at the Nth change of the status line, where
//                         the program waits for it (scourix-scanpause.dll);
//                         --may-close accepts the program ending mid-scan;
//                         --started waits for a scan that /scan started;
//                         --screenshots PREFIX pauses the driver mid-scan and
//                         at the stop prompt until PREFIX-NAME.taken exists
//   enter | escape        press the key; report whether the window survived
//                         it, once the window has handled it
//   close                 press OK; report whether the window and program ended
//   second-instance PATH  start PATH; report its end and the window count
//   run [--hold-after-first-line RELEASE-FILE] PATH [ARGUMENTS...]
//                         start PATH with the arguments, no window needed;
//                         report its standard output and its exit code; held,
//                         the program waits in its second write to standard
//                         output until RELEASE-FILE exists
//   hold-file PATH SECONDS [mapped]
//                         keep PATH open (others may only read it), no window
//                         needed; "mapped": open for all and mapped, as a
//                         loaded DLL (it can be renamed, not deleted)
//
// Each command writes a section "[command]" of "prefix: value" lines. The
// exit code is 0 when every command could be carried out, 1 on a timeout or
// a window that did not let itself be driven, 2 on a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/driver/Commands.h"
#include "tests/e2e/driver/Failure.h"
#include "tests/e2e/driver/ScanCommand.h"

namespace {

struct Command {
  std::string name;
  std::vector<std::string> arguments;
};

struct Invocation {
  std::string outPath;
  unsigned timeoutMs = 30000;
  std::vector<Command> commands;
};

bool IsCommandName(const std::string& word) {
  return word == "idle" || word == "state" || word == "scan" || word == "enter" || word == "escape" ||
         word == "close" || word == "second-instance" || word == "hold-file" || word == "run";
}

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

long Number(const std::string& text, const std::string& option) {
  char* end = nullptr;
  long value = strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || value < 0) throw UsageError(option + " needs a number, not '" + text + "'");
  return value;
}

int YesNo(const std::string& text, const std::string& option) {
  if (text == "yes") return IDYES;
  if (text == "no") return IDNO;
  throw UsageError(option + " takes yes or no, not '" + text + "'");
}

Invocation ParseCommandLine(int argc, char** argv) {
  Invocation invocation;
  int i = 1;
  for (; i < argc && !IsCommandName(argv[i]); ++i) {
    std::string option = argv[i];
    if (option.compare(0, 2, "--") != 0) throw UsageError("unknown command '" + option + "'");
    if (i + 1 >= argc) throw UsageError(option + " needs a value");
    if (option == "--out")
      invocation.outPath = argv[++i];
    else if (option == "--timeout")
      invocation.timeoutMs = static_cast<unsigned>(Number(argv[++i], option) * 1000);
    else
      throw UsageError("unknown option or command '" + option + "'");
  }
  for (; i < argc; ++i) {
    std::string word = argv[i];
    if (IsCommandName(word))
      invocation.commands.push_back({word, {}});
    else
      invocation.commands.back().arguments.push_back(word);
  }
  if (invocation.commands.empty()) throw UsageError("no command given");
  return invocation;
}

ScanOptions ParseScanOptions(const std::vector<std::string>& arguments, unsigned timeoutMs) {
  ScanOptions options;
  options.timeoutMs = timeoutMs > options.timeoutMs ? timeoutMs : options.timeoutMs;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "--may-close") {
      options.mayClose = true;
      continue;
    }
    if (option == "--started") {
      options.startedByCommandLine = true;
      continue;
    }
    if (i + 1 >= arguments.size()) throw UsageError("scan " + option + " needs a value");
    const std::string& value = arguments[++i];
    if (option == "--escape-after") {
      options.interruption = ScanOptions::Interruption::EscapeKey;
      options.afterStatusChanges = Number(value, option);
    } else if (option == "--x-after") {
      options.interruption = ScanOptions::Interruption::CloseButton;
      options.afterStatusChanges = Number(value, option);
    } else if (option == "--cancel-after") {
      options.interruption = ScanOptions::Interruption::CancelButton;
      options.afterStatusChanges = Number(value, option);
    } else if (option == "--answer") {
      options.stopAnswer = YesNo(value, option);
    } else if (option == "--restart") {
      options.restartAnswer = YesNo(value, option);
    } else if (option == "--screenshots") {
      options.screenshotPrefix = value;
    } else if (option == "--within") {
      options.timeoutMs = static_cast<unsigned>(Number(value, option) * 1000);
    } else {
      throw UsageError("scan does not know " + option);
    }
  }
  return options;
}

void Run(const Command& command, const Invocation& invocation, Report& report) {
  report.Section(command.name);
  if (command.name == "second-instance") {
    if (command.arguments.size() != 1) throw UsageError("second-instance needs one path");
    AppWindow::WaitFor(invocation.timeoutMs);
    StartSecondInstance(command.arguments[0], report, invocation.timeoutMs);
    return;
  }
  if (command.name == "run") {
    std::vector<std::string> words = command.arguments;
    std::string releaseFile;
    if (!words.empty() && words[0] == "--hold-after-first-line") {
      if (words.size() < 2) throw UsageError("run --hold-after-first-line needs a file");
      releaseFile = words[1];
      words.erase(words.begin(), words.begin() + 2);
    }
    if (words.empty()) throw UsageError("run needs a program");
    RunProgram(words[0], std::vector<std::string>(words.begin() + 1, words.end()), report,
               invocation.timeoutMs, releaseFile);
    return;
  }
  if (command.name == "hold-file") {
    const size_t count = command.arguments.size();
    if ((count != 2 && count != 3) || (count == 3 && command.arguments[2] != "mapped"))
      throw UsageError("hold-file needs a path, a number of seconds and perhaps \"mapped\"");
    HoldFile(command.arguments[0], static_cast<unsigned>(Number(command.arguments[1], "hold-file")), count == 3,
             report);
    return;
  }
  if (command.name != "scan" && !command.arguments.empty())
    throw UsageError(command.name + " takes no arguments");
  AppWindow app = AppWindow::WaitFor(invocation.timeoutMs);
  if (command.name == "idle" || command.name == "state")
    ReportControls(app, report);
  else if (command.name == "scan")
    RunScanCommand(app, ParseScanOptions(command.arguments, invocation.timeoutMs), report);
  else if (command.name == "enter")
    PressEnter(app, report, invocation.timeoutMs);
  else if (command.name == "escape")
    PressEscape(app, report, invocation.timeoutMs);
  else if (command.name == "close")
    PressOk(app, report, invocation.timeoutMs);
}

}  // namespace

int main(int argc, char** argv) {
  Invocation invocation;
  try {
    invocation = ParseCommandLine(argc, argv);
  } catch (const UsageError& error) {
    fprintf(stderr, "scourix-driver: %s\n", error.what());
    fprintf(stderr, "usage: scourix-driver [--out FILE] [--timeout SECONDS] COMMAND [OPTIONS] [COMMAND ...]\n");
    return 2;
  }
  Report report;
  if (!report.Open(invocation.outPath)) {
    fprintf(stderr, "scourix-driver: cannot write %s\n", invocation.outPath.c_str());
    return 2;
  }
  for (const Command& command : invocation.commands) {
    try {
      Run(command, invocation, report);
    } catch (const UsageError& error) {
      fprintf(stderr, "scourix-driver: %s\n", error.what());
      return 2;
    } catch (const DriverFailure& failure) {
      report.Line("failure", failure.what());
      fprintf(stderr, "scourix-driver: %s: %s\n", command.name.c_str(), failure.what());
      return 1;
    }
  }
  return 0;
}
