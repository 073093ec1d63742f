#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "base/PathText.h"

namespace {

TEST(PathText, CopyTextTakesWhatFitsWithItsTerminator) {
  char buffer[8];
  EXPECT_TRUE(CopyText(buffer, "1234567"));
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_FALSE(CopyText(buffer, "12345678"));
  EXPECT_STREQ(buffer, "");
}

TEST(PathText, AppendTextRefusesWhatWouldNotFitAndKeepsTheBuffer) {
  char buffer[8] = "abc";
  EXPECT_TRUE(AppendText(buffer, "defg"));
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_FALSE(AppendText(buffer, "h"));
  EXPECT_STREQ(buffer, "abcdefg");
  char empty[1] = "";
  EXPECT_TRUE(AppendText(empty, ""));
  EXPECT_FALSE(AppendText(empty, "x"));
}

TEST(PathText, AppendTextToAnUnterminatedBufferFails) {
  char buffer[4] = {'a', 'b', 'c', 'd'};
  EXPECT_FALSE(AppendText(buffer, ""));
}

TEST(PathText, CopyTruncatedCutsAndTerminates) {
  char buffer[5];
  CopyTruncated(buffer, "123456789");
  EXPECT_STREQ(buffer, "1234");
  CopyTruncated(buffer, "12");
  EXPECT_STREQ(buffer, "12");
}

std::string Formatted(const char* format, ...) {
  char line[200];
  va_list args;
  va_start(args, format);
  FormatEscaped(line, sizeof line, format, args);
  va_end(args);
  return line;
}

TEST(PathText, EscapeControlCharactersShowsEachOneAsHex) {
  EXPECT_EQ(EscapeControlCharacters("C:\\Windows\\x.exe"), "C:\\Windows\\x.exe");
  EXPECT_EQ(EscapeControlCharacters("a\r\nb\tc\x1f\x01"), "a\\x0D\\x0Ab\\x09c\\x1F\\x01");
  EXPECT_EQ(EscapeControlCharacters("Zdj\xea" "cia \x7f"), "Zdj\xea" "cia \x7f");
}

TEST(PathText, FormatEscapedEscapesTheArgumentsButNotTheFormat) {
  EXPECT_EQ(Formatted("%s     %s removed", "C:\\x.exe", "W32/Morvo.Lax.Worm"),
            "C:\\x.exe     W32/Morvo.Lax.Worm removed");
  EXPECT_EQ(Formatted("Total files scanned\t\t:  %d", 42), "Total files scanned\t\t:  42");
  // A registry value name that would have started a forged line of its own.
  EXPECT_EQ(Formatted("System Registry     %s removed", "Run\\x\r\nC:\\a.exe     W32/Morvo.Worm removed"),
            "System Registry     Run\\x\\x0D\\x0AC:\\a.exe     W32/Morvo.Worm removed removed");
  EXPECT_EQ(Formatted("%c|%5s|%-4d|%lu|%%|%x|%.2s", '\n', "ab", 7, 9ul, 255u, "xyz"),
            "\\x0A|   ab|7   |9|%|ff|xy");
  EXPECT_EQ(Formatted("%*d|%.*s", 3, 5, 1, "ab"), "  5|a");
}

TEST(PathText, PathRootLengthEndsAfterTheDriveOrTheShare) {
  EXPECT_EQ(PathRootLength("C:\\a\\b"), 3u);
  EXPECT_EQ(PathRootLength("\\\\server\\share\\a"), 15u);
  EXPECT_EQ(PathRootLength("\\\\server\\share"), 14u);
  EXPECT_EQ(PathRootLength("a\\b"), 0u);
}

}  // namespace
