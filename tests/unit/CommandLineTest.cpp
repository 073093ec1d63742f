#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/RunOutcome.h"

namespace {

struct Accepted {
  std::vector<std::string> words;
  bool silent, scan, report, noMemory, restart, help;
  std::string path, log;
};

TEST(SplitArguments, ReadsTheCommandLineAsTheRuntimeDoes) {
  const struct {
    const char* line;
    std::vector<std::string> words;
  } cases[] = {
      {"scourix.exe", {}},
      {"\"C:\\Program Files\\scourix.exe\" /silent  /log x.log", {"/silent", "/log", "x.log"}},
      {"s.exe /path \"C:\\My Files\\\"", {"/path", "C:\\My Files\""}},
      {"s.exe /path \"C:\\My Files\\\\\"", {"/path", "C:\\My Files\\"}},
      {"s.exe a\\\\b \"\"", {"a\\\\b", ""}},
      {"s.exe \ta\"b c\"d\t", {"ab cd"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitArguments(c.line), c.words) << c.line;
}

TEST(ParseCommandLine, AcceptsEachOptionInEitherFormAndAnyCase) {
  const Accepted cases[] = {
      {{}, false, false, false, false, false, false, "", ""},
      {{"/silent"}, true, false, false, false, false, false, "", ""},
      {{"-SILENT", "/Restart"}, true, false, false, false, true, false, "", ""},
      {{"/scan", "-report"}, false, true, true, false, false, false, "", ""},
      {{"/PATH", "C:\\My Files", "/nomemory"}, false, false, false, true, false, false, "C:\\My Files", ""},
      {{"/silent", "/log", "-x.log", "/report"}, true, false, true, false, false, false, "", "-x.log"},
      {{"/?"}, false, false, false, false, false, true, "", ""},
      {{"-?"}, false, false, false, false, false, true, "", ""},
  };
  for (const Accepted& c : cases) {
    CommandLineOptions options;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(c.words, options, error)) << error;
    EXPECT_EQ(options.administratorRun, !c.words.empty());
    EXPECT_EQ(options.silent, c.silent);
    EXPECT_EQ(options.scanAtOnce, c.scan);
    EXPECT_EQ(options.reportOnly, c.report);
    EXPECT_EQ(options.noMemory, c.noMemory);
    EXPECT_EQ(options.restart, c.restart);
    EXPECT_EQ(options.help, c.help);
    EXPECT_EQ(options.path, c.path);
    EXPECT_EQ(options.logFile, c.log);
  }
}

TEST(ParseCommandLine, RefusesWhatItCannotTakeAtItsWord) {
  const std::vector<std::vector<std::string>> refused = {
      {"/silentx"},                 // unknown
      {"silent"},                   // no option at all
      {"/silent", "extra"},         // a stray word
      {"/log"},                     // missing value
      {"/log", "/silent"},          // an option is no value
      {"/path", ""},                // an empty folder
      {"/silent", "/SILENT"},       // twice
      {"/scan", "/silent"},         // a window and none
      {"/restart"},                 // restart needs the silent run
      {"/silent", "/report", "/restart"},  // report-only never restarts
      {"/?", "/silent"},            // help alone
      {"/"},
  };
  for (const auto& words : refused) {
    CommandLineOptions options;
    std::string error;
    EXPECT_FALSE(ParseCommandLine(words, options, error)) << words[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(DecideExitCode, TheOutcomeThatAsksMostWins) {
  struct Case {
    RunTally tally;
    ExitCode code;
  } cases[] = {
      {{false, false, false, 0, 0, 0}, kExitNothingFound},
      {{false, false, false, 3, 0, 0}, kExitAllRemoved},
      {{false, false, false, 3, 0, 1}, kExitRestartNeeded},
      {{false, false, true, 3, 0, 1}, kExitRestartStarted},
      {{false, false, false, 3, 1, 1}, kExitSomethingLeft},
      {{true, false, false, 3, 0, 0}, kExitFoundReportOnly},
      {{true, false, false, 0, 0, 0}, kExitNothingFound},
      {{false, true, false, 3, 1, 1}, kExitStopped},
      // Files that could not be examined: never "nothing found" or "everything removed".
      {{false, false, false, 0, 0, 0, 2}, kExitScanIncomplete},
      {{false, false, false, 3, 0, 0, 2}, kExitScanIncomplete},
      {{false, false, false, 3, 1, 0, 2}, kExitSomethingLeft},
      {{false, false, false, 3, 0, 1, 2}, kExitRestartNeeded},
      {{false, false, true, 3, 0, 1, 2}, kExitRestartStarted},
      {{true, false, false, 3, 0, 0, 2}, kExitFoundReportOnly},
      {{false, true, false, 0, 0, 0, 2}, kExitStopped},
      // A start-up value that could not be deleted is left like a file.
      {{false, false, false, 3, 0, 0, 0, 1}, kExitSomethingLeft},
      {{false, false, false, 3, 0, 1, 0, 1}, kExitSomethingLeft},
      // A survivor in memory ended the run before the drives.
      {{false, false, false, 1, 0, 1, 0, 0, true}, kExitEndedBeforeWalk},
      {{false, false, true, 1, 0, 1, 0, 0, true}, kExitEndedBeforeWalk},
      {{false, false, false, 1, 1, 1, 0, 1, true}, kExitEndedBeforeWalk},
      {{false, true, false, 1, 0, 1, 0, 0, true}, kExitStopped},
      // An internal error outranks everything.
      {{false, true, false, 1, 1, 1, 3, 1, true, true}, kExitInternalError},
      {{false, false, false, 0, 0, 0, 0, 0, false, true}, kExitInternalError},
      // A log that failed turns only "all is well" into 5.
      {{false, false, false, 0, 0, 0, 0, 0, false, false, true}, kExitUsage},
      {{false, false, false, 3, 0, 0, 0, 0, false, false, true}, kExitUsage},
      {{false, false, false, 3, 0, 1, 0, 0, false, false, true}, kExitRestartNeeded},
      {{false, false, false, 3, 1, 0, 0, 0, false, false, true}, kExitSomethingLeft},
      {{false, false, false, 3, 0, 0, 1, 0, false, false, true}, kExitScanIncomplete},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecideExitCode(c.tally), c.code);
    EXPECT_STRNE(ExitCodeMeaning(c.code), "unknown");
  }
}

TEST(UsageText, ListsEveryExitCodeWithTheStartOfItsMeaning) {
  const std::string usage = UsageText();
  for (ExitCode code : {kExitNothingFound, kExitAllRemoved, kExitSomethingLeft, kExitFoundReportOnly,
                        kExitStopped, kExitUsage, kExitAnotherInstance, kExitScanIncomplete,
                        kExitEndedBeforeWalk, kExitInternalError, kExitRestartStarted, kExitRestartNeeded}) {
    std::string number = std::to_string(static_cast<int>(code));
    const std::string meaning = ExitCodeMeaning(code);
    const std::string line = std::string(6 - number.size(), ' ') + number + "  " + meaning.substr(0, 40);
    EXPECT_NE(usage.find("\r\n" + line), std::string::npos) << line;
  }
}

}  // namespace
