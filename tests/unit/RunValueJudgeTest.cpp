// The judging of start-up values against an infected file's path.
#include <gtest/gtest.h>

#include "cleaning/RunValueJudge.h"

namespace {

const char* const kSystemFolders[] = {"c:\\windows\\system32", "C:\\WINDOWS\\system\\"};

struct Case {
  const char* text;
  const char* expanded;
  const char* file;
  RunValueVerdict verdict;
};

constexpr RunValueVerdict kNo = RunValueVerdict::NotTheWorms;
constexpr RunValueVerdict kBare = RunValueVerdict::BareCommand;
constexpr RunValueVerdict kPath = RunValueVerdict::CommandWithPath;

const Case kCases[] = {
    // Bare commands: the whole file name, and the file directly in a system folder.
    {"worm.exe", "worm.exe", "c:\\windows\\system32\\worm.exe", kBare},
    {"WORM.EXE -x", "", "C:\\Windows\\System32\\worm.exe", kBare},
    {"\"worm.exe\" /s", "", "c:\\windows\\system32\\worm.exe", kBare},
    {"run worm.exe", "", "c:\\windows\\system\\worm.exe", kBare},
    {"\\worm.exe", "", "c:\\windows\\system32\\worm.exe", kBare},
    {"worm.exe", "", "c:\\temp\\worm.exe", kNo},
    {"worm.exe", "", "c:\\users\\x\\system32\\worm.exe", kNo},
    {"worm.exe", "", "d:\\system\\worm.exe", kNo},
    {"worm.exe", "", "c:\\windows\\system32\\sub\\worm.exe", kNo},
    {"worm.exe", "", "c:\\windows\\system3\\worm.exe", kNo},
    {"worm.exe", "", "c:\\windows\\system32x\\worm.exe", kNo},
    // Not the whole name: never the bare rule.
    {"ctfmon.exe", "", "c:\\windows\\system32\\mon.exe", kNo},
    {"mon.exe2", "", "c:\\windows\\system32\\mon.exe", kNo},
    {"mon.exe,run", "", "c:\\windows\\system32\\mon.exe", kNo},
    {"ctfmon.exe mon.exe", "", "c:\\windows\\system32\\mon.exe", kBare},
    // Commands with a path: the file's path, then a boundary.
    {"c:\\windows\\system32\\worm.exe -x", "", "c:\\windows\\system32\\worm.exe", kPath},
    {"\"C:\\X\\WORM.EXE\"", "", "c:\\x\\worm.exe", kPath},
    {"\"c:\\x\\worm.dll\",Start", "", "c:\\x\\worm.dll", kPath},
    {"c:\\x\\worm.dll,Start", "", "c:\\x\\worm.dll", kPath},
    {"c:\\x\\worm.exe", "", "c:\\x\\worm.exe", kPath},
    {"c:\\tools\\app2.exe", "", "c:\\tools\\app", kNo},
    {"c:\\tools\\app.exe", "", "c:\\tools\\app", kNo},
    {"c:\\tools\\app\\run.exe", "", "c:\\tools\\app", kNo},
    {"c:\\tools\\app", "", "c:\\tools\\app", kPath},
    {"c:\\tools\\ap", "", "c:\\tools\\app", kNo},
    {"  c:\\x\\worm.exe", "", "c:\\x\\worm.exe", kNo},
    {"\"\"c:\\x\\worm.exe", "", "c:\\x\\worm.exe", kNo},
    // Through the expansion.
    {"\"%systemroot%\\system32\\worm.exe\" /start", "\"c:\\windows\\system32\\worm.exe\" /start",
     "c:\\windows\\system32\\worm.exe", kPath},
    {"%windir%\\worm.exe2", "c:\\windows\\worm.exe2", "c:\\windows\\worm.exe", kNo},
    // A bare text that names the file as a whole name but outside the system
    // folders is the user's; the path rule is not tried.
    {"\\x\\worm.exe", "\\x\\worm.exe", "c:\\x\\worm.exe", kNo},
    // A file without a folder matches nothing.
    {"worm.exe", "worm.exe", "worm.exe", kNo},
    {"", "", "c:\\x\\worm.exe", kNo},
};

TEST(JudgeRunValue, TiesEachRuleToNameBoundaries) {
  for (const Case& c : kCases) {
    EXPECT_EQ(JudgeRunValue(c.text, c.expanded, c.file, kSystemFolders, 2), c.verdict)
        << "text " << c.text << ", expanded " << c.expanded << ", file " << c.file;
  }
}

TEST(JudgeRunValue, WithoutSystemFoldersNoBareCommandIsTheWorms) {
  EXPECT_EQ(JudgeRunValue("worm.exe", "", "c:\\windows\\system32\\worm.exe", nullptr, 0), kNo);
  const char* const empty[] = {"", "\\"};
  EXPECT_EQ(JudgeRunValue("worm.exe", "", "\\worm.exe", empty, 2), kNo);
}

}  // namespace
