#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/WalkPath.h"

namespace {

TEST(FolderPartLength, CutsAtTheCharacterBeforeTheLastDot) {
  const struct {
    const char* pattern;
    int length;
  } cases[] = {
      {"C:\\*.*", 3},
      {"C:\\a b\\c.d\\*.*", 11},
      {"C:\\app.x\\run", 5},  // a file path of the memory phase: "C:\ap"
      {".*", 0},
      {"C:\\run", -1},
      {"", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(FolderPartLength(c.pattern), c.length) << c.pattern;
}

// A 260-byte buffer, as the walk's, filled so that a write shows.
struct Buffer {
  char text[260];
  Buffer() { memset(text, '#', sizeof text); }
  bool Untouched() const { return text[0] == '#' && text[259] == '#'; }
};

TEST(JoinPath, JoinsFolderNameAndSuffixWhenTheyFit259Bytes) {
  Buffer path;
  ASSERT_TRUE(JoinPath(path.text, "C:\\d\\*.*", 5, "a.exe", ""));
  EXPECT_STREQ(path.text, "C:\\d\\a.exe");
  ASSERT_TRUE(JoinPath(path.text, "C:\\d\\*.*", 5, "sub", "\\*.*"));
  EXPECT_STREQ(path.text, "C:\\d\\sub\\*.*");

  const std::string pattern = "C:\\" + std::string(247, 'f') + "\\*.*";  // folder part: 251
  Buffer fits, tooLong, suffixTooLong;
  EXPECT_TRUE(JoinPath(fits.text, pattern.c_str(), 251, "12345678", ""));
  EXPECT_EQ(strlen(fits.text), 259u);
  EXPECT_FALSE(JoinPath(tooLong.text, pattern.c_str(), 251, "123456789", ""));
  EXPECT_TRUE(tooLong.Untouched());
  EXPECT_FALSE(JoinPath(suffixTooLong.text, pattern.c_str(), 251, "12345", "\\*.*"));
  EXPECT_TRUE(suffixTooLong.Untouched());
}

TEST(JoinPath, RefusesAFolderPartOutsideThePattern) {
  Buffer path;
  EXPECT_FALSE(JoinPath(path.text, "C:\\run", -1, "a", ""));
  EXPECT_FALSE(JoinPath(path.text, "C:\\", 4, "a", ""));
  EXPECT_TRUE(path.Untouched());
}

TEST(MakeSubfolderPattern, CutsAfterTheLastDotAndAppendsAStar) {
  const struct {
    std::string level, subfolders;
  } cases[] = {
      {"C:\\d\\*.*", "C:\\d\\*.*"},
      {"C:\\d\\run.exe", "C:\\d\\run.*"},
      {"C:\\d\\run", "C:\\d\\run*"},
      {std::string(255, 'x') + "\\*.*", std::string(255, 'x') + "\\*.*"},
  };
  for (const auto& c : cases) {
    Buffer pattern;
    ASSERT_TRUE(MakeSubfolderPattern(pattern.text, c.level.c_str())) << c.level;
    EXPECT_EQ(pattern.text, c.subfolders);
  }
  Buffer full;
  EXPECT_FALSE(MakeSubfolderPattern(full.text, std::string(259, 'x').c_str()));
}

TEST(SurvivesAsName, RefusesWhatWouldLeadOutOfTheFolder) {
  for (const char* name : {"a.exe", "a b", "x..y", "...", "~$.tmp"})
    EXPECT_TRUE(SurvivesAsName(name)) << name;
  for (const char* name : {"", ".", "..", "..\\..\\x.exe", "a/b", "c:x", "a:stream", "*", "a?", "\"", "<a>", "|"})
    EXPECT_FALSE(SurvivesAsName(name)) << name;
}

}  // namespace
