// Names derived from an executable's path: the process and service targets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleaning/ProcessNames.h"

namespace {

std::string PerfTarget(const std::string& path, bool* found = nullptr) {
  char target[kProcessPathLength] = "untouched";
  bool ok = PerfInstanceTarget(path.c_str(), target);
  if (found) *found = ok;
  return ok ? target : "";
}

TEST(PerfTarget, IsTheUpperCasedFileNameWithoutItsExtension) {
  EXPECT_EQ(PerfTarget("C:\\WINDOWS\\WORM.EXE"), "WORM");
  EXPECT_EQ(PerfTarget("c:\\windows\\system32\\svchost.exe"), "SVCHOST");
  EXPECT_EQ(PerfTarget("worm.exe"), "WORM");  // no backslash: the whole remainder
}

TEST(PerfTarget, CutsFourCharactersWhateverTheyAre) {
  EXPECT_EQ(PerfTarget("C:\\dir\\worm.js"), "WOR");
  EXPECT_EQ(PerfTarget("ABCDE"), "A");
}

TEST(PerfTarget, PathsOfFourCharactersOrFewerMatchNothing) {
  bool found = true;
  for (const char* path : {"", "A", "W.EX", ".EXE"}) {
    PerfTarget(path, &found);
    EXPECT_FALSE(found) << path;
  }
  PerfTarget("C:\\.EXE", &found);  // an empty name after the backslash
  EXPECT_FALSE(found);
}

// The system names a second process of one image "name#1": that and the
// name itself are the file's candidates; a longer or shorter name never is.
TEST(PerfTarget, MatchesTheInstanceNameAloneOrNumbered) {
  std::string target = PerfTarget("C:\\WINDOWS\\WORM.EXE");
  for (const char* name : {"worm", "WORM", "Worm#1", "worm#12"})
    EXPECT_TRUE(PerfInstanceMatches(name, target.c_str())) << name;
  for (const char* name : {"wormy", "wor", "", "xworm", "worm#", "worm#1a", "worm#-1", "worm #1", "worm1"})
    EXPECT_FALSE(PerfInstanceMatches(name, target.c_str())) << name;
  std::string s = PerfTarget("C:\\WINDOWS\\S.EXE");
  for (const char* name : {"smss", "services", "spoolsv", "svchost"})
    EXPECT_FALSE(PerfInstanceMatches(name, s.c_str())) << name;
}

TEST(PerfTarget, ALongPathIsCutNotOverrun) {
  std::string path = "C:\\" + std::string(400, 'a') + ".exe";
  bool found = false;
  std::string target = PerfTarget(path, &found);
  EXPECT_TRUE(found);
  EXPECT_LT(target.size(), static_cast<size_t>(kProcessPathLength));
}

TEST(ExeNameTarget, IsTheUpperCasedFileName) {
  char target[kProcessPathLength];
  ExeNameTarget("C:\\WINDOWS\\worm.exe", target);
  EXPECT_STREQ(target, "WORM.EXE");
  ExeNameTarget("worm.exe", target);
  EXPECT_STREQ(target, "WORM.EXE");
  ExeNameTarget("C:\\dir\\", target);
  EXPECT_STREQ(target, "");
}

TEST(ServiceName, IsTheFileNameUpToItsLastDot) {
  char name[kServiceNameLength];
  ServiceNameOfPath("C:\\WINDOWS\\system32\\svc.host.exe", name);
  EXPECT_STREQ(name, "svc.host");
  ServiceNameOfPath("C:\\x\\worm", name);
  EXPECT_STREQ(name, "worm");
  ServiceNameOfPath("C:\\dir.d\\file", name);  // a folder's dot is not the file's
  EXPECT_STREQ(name, "file");
  ServiceNameOfPath("worm.exe", name);
  EXPECT_STREQ(name, "worm");
}

TEST(ServiceName, ALongNameIsCutNotOverrun) {
  char name[kServiceNameLength];
  std::string path = "C:\\" + std::string(500, 's') + ".exe";
  ServiceNameOfPath(path.c_str(), name);
  EXPECT_EQ(std::string(name), std::string(kServiceNameLength - 1, 's'));
}

TEST(WithoutDevicePrefix, DropsTheNtAndWin32DevicePrefixesOnly) {
  EXPECT_STREQ(WithoutDevicePrefix("\\??\\C:\\x\\worm.exe"), "C:\\x\\worm.exe");
  EXPECT_STREQ(WithoutDevicePrefix("\\\\?\\C:\\x\\worm.exe"), "C:\\x\\worm.exe");
  EXPECT_STREQ(WithoutDevicePrefix("C:\\x\\worm.exe"), "C:\\x\\worm.exe");
  EXPECT_STREQ(WithoutDevicePrefix("\\SystemRoot\\x.exe"), "\\SystemRoot\\x.exe");
  EXPECT_STREQ(WithoutDevicePrefix("\\??\\"), "\\??\\");
}

std::vector<std::string> Candidates(const char* command) {
  std::vector<std::string> found;
  char candidate[kProcessPathLength];
  for (int i = 0; CommandProgramCandidate(command, i, candidate); ++i) found.push_back(candidate);
  return found;
}

TEST(CommandProgramCandidate, ListsWhatTheSystemTriesInOrder) {
  using List = std::vector<std::string>;
  EXPECT_EQ(Candidates("\"C:\\Program Files\\x.exe\" -k a"), List{"C:\\Program Files\\x.exe"});
  EXPECT_EQ(Candidates("\"C:\\unclosed x.exe"), List{"C:\\unclosed x.exe"});
  EXPECT_EQ(Candidates("C:\\Program Files\\x.exe -k"),
            (List{"C:\\Program", "C:\\Program Files\\x.exe", "C:\\Program Files\\x.exe -k"}));
  EXPECT_EQ(Candidates("  x.exe\t-s"), (List{"x.exe", "x.exe\t-s"}));
  EXPECT_EQ(Candidates("x.exe"), List{"x.exe"});
  EXPECT_TRUE(Candidates("").empty());
  EXPECT_TRUE(Candidates("\"\" x.exe").empty());
  EXPECT_TRUE(Candidates(("\"" + std::string(300, 'p') + "\"").c_str()).empty());
  char candidate[kProcessPathLength];
  EXPECT_FALSE(CommandProgramCandidate("x.exe", -1, candidate));
}

TEST(CompareIgnoringCase, BehavesAsStrnicmpInTheCLocale) {
  EXPECT_EQ(CompareIgnoringCase("Worm", "WORMS", 4), 0);
  EXPECT_NE(CompareIgnoringCase("Wor", "WORM", 4), 0);
  EXPECT_EQ(CompareIgnoringCase("abc", "xyz", 0), 0);
  EXPECT_EQ(CompareIgnoringCase("a", "A", 10), 0);
}

}  // namespace
