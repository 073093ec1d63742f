// The judging of start-up values against an infected file's path.
#include <gtest/gtest.h>

#include <string>

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
    // Unquoted, the program ends at a blank only: Windows tries "worm.dll,start".
    {"c:\\x\\worm.dll,Start", "", "c:\\x\\worm.dll", kNo},
    {"c:\\x\\worm.exe", "", "c:\\x\\worm.exe", kPath},
    {"c:\\tools\\app2.exe", "", "c:\\tools\\app", kNo},
    {"c:\\tools\\app.exe", "", "c:\\tools\\app", kNo},
    {"c:\\tools\\app\\run.exe", "", "c:\\tools\\app", kNo},
    // A name without an extension runs as itself with ".exe", never as itself.
    {"c:\\tools\\app", "", "c:\\tools\\app", kNo},
    {"c:\\tools\\app", "", "c:\\tools\\app.exe", kPath},
    {"\"c:\\tools\\app\" /x", "", "c:\\tools\\app.exe", kPath},
    {"c:\\tools\\app.", "", "c:\\tools\\app.exe", kNo},
    // Each prefix ending at a blank is a candidate, with ".exe" when it has no
    // extension: Windows tries c:\tools\my.exe, never c:\tools\my.
    {"C:\\Tools\\My App\\agent.exe", "", "c:\\tools\\my", kNo},
    {"C:\\Tools\\My App\\agent.exe", "", "c:\\tools\\my.exe", kPath},
    {"C:\\Tools\\My App\\agent.exe", "", "c:\\tools\\my app\\agent.exe", kPath},
    {"c:\\tools\\my app\\agent.exe /s", "", "c:\\tools\\my app\\agent", kNo},
    {"c:\\tools\\my app\\agent /s", "", "c:\\tools\\my app\\agent.exe", kPath},
    {"c:\\x\\worm.exe\t-x", "", "c:\\x\\worm.exe", kPath},
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

// Stands for a disk that holds c:\tools\my.exe only.
bool OnlyMyExeExists(const char* candidate, size_t length) {
  const char kMy[] = "c:\\tools\\my";
  return length == sizeof kMy - 1 && std::string(candidate, length) == kMy;
}

TEST(JudgeRunValue, StopsAtTheFirstCandidateThatExists) {
  const char* const text = "c:\\tools\\my app\\agent.exe";
  EXPECT_EQ(JudgeRunValue(text, "", "c:\\tools\\my app\\agent.exe", kSystemFolders, 2,
                          OnlyMyExeExists),
            kNo);
  EXPECT_EQ(JudgeRunValue(text, "", "c:\\tools\\my.exe", kSystemFolders, 2, OnlyMyExeExists),
            kPath);
  EXPECT_EQ(JudgeRunValue("\"c:\\tools\\my app\\agent.exe\"", "",
                          "c:\\tools\\my app\\agent.exe", kSystemFolders, 2, OnlyMyExeExists),
            kPath);
}

TEST(ProgramHasExtension, LooksAfterTheLastBackslashOnly) {
  EXPECT_TRUE(ProgramHasExtension("c:\\x\\a.exe", 10));
  EXPECT_FALSE(ProgramHasExtension("c:\\x.y\\a", 8));
  EXPECT_FALSE(ProgramHasExtension("c:\\x\\a.exe", 6));
  EXPECT_FALSE(ProgramHasExtension("", 0));
}

TEST(JudgeRunValue, WithoutSystemFoldersNoBareCommandIsTheWorms) {
  EXPECT_EQ(JudgeRunValue("worm.exe", "", "c:\\windows\\system32\\worm.exe", nullptr, 0), kNo);
  const char* const empty[] = {"", "\\"};
  EXPECT_EQ(JudgeRunValue("worm.exe", "", "\\worm.exe", empty, 2), kNo);
}

}  // namespace
