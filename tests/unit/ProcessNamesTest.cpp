// Names derived from an executable's path: the process and service targets.
#include <gtest/gtest.h>

#include <string>

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

TEST(PerfTarget, MatchesInstanceNamesThatBeginWithIt) {
  std::string target = PerfTarget("C:\\WINDOWS\\WORM.EXE");
  EXPECT_TRUE(PerfInstanceMatches("worm", target.c_str()));
  EXPECT_TRUE(PerfInstanceMatches("wormy", target.c_str()));
  EXPECT_TRUE(PerfInstanceMatches("WORM", target.c_str()));
  EXPECT_FALSE(PerfInstanceMatches("wor", target.c_str()));
  EXPECT_FALSE(PerfInstanceMatches("", target.c_str()));
  EXPECT_FALSE(PerfInstanceMatches("xworm", target.c_str()));
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

TEST(CompareIgnoringCase, BehavesAsStrnicmpInTheCLocale) {
  EXPECT_EQ(CompareIgnoringCase("Worm", "WORMS", 4), 0);
  EXPECT_NE(CompareIgnoringCase("Wor", "WORM", 4), 0);
  EXPECT_EQ(CompareIgnoringCase("abc", "xyz", 0), 0);
  EXPECT_EQ(CompareIgnoringCase("a", "A", 10), 0);
}

}  // namespace
