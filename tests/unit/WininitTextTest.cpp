// The wininit.ini rewrite as a text transform.
#include <gtest/gtest.h>

#include <string>

#include "cleaning/WininitText.h"

namespace {

std::string Add(const std::string& old) { return AddRenameEntry(old, "NUL", "C:\\PROGRA~1\\X\\MAL.EXE"); }
const std::string kEntry = "NUL=C:\\PROGRA~1\\X\\MAL.EXE\r\n";

TEST(WininitText, InsertsAtTheEndOfTheRenameSectionBeforeTheNextSection) {
  EXPECT_EQ(Add("[rename]\r\nNUL=C:\\OLD.EXE\r\n; note\r\n[other]\r\na=b\r\n"),
            "[rename]\nNUL=C:\\OLD.EXE\n; note\n" + kEntry + "[other]\na=b\n");
}

TEST(WininitText, AppendsWhenRenameIsTheLastSection) {
  EXPECT_EQ(Add("[other]\r\na=b\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n"),
            "[other]\na=b\n[rename]\nNUL=C:\\OLD.EXE\n" + kEntry);
}

TEST(WininitText, AddsTheSectionWhenThereIsNone) {
  EXPECT_EQ(Add("[other]\na=b\n"), "[other]\na=b\n[rename]\r\n" + kEntry);
  EXPECT_EQ(Add(""), "[rename]\r\n" + kEntry);
}

TEST(WininitText, FindsTheHeaderInAnyCaseButOnlyAtTheStartOfALine) {
  EXPECT_EQ(Add("[RENAME]\n[x]\n"), "[RENAME]\n" + kEntry + "[x]\n");
  EXPECT_EQ(Add("[Rename]\n[x]\n"), "[Rename]\n" + kEntry + "[x]\n");
  EXPECT_EQ(Add(" [rename]\n[x]\n"), " [rename]\n[x]\n[rename]\r\n" + kEntry);
  EXPECT_EQ(Add("[rename] ; deletions\n[x]\n"), "[rename] ; deletions\n" + kEntry + "[x]\n");  // 8 characters compared
}

TEST(WininitText, OnlyTheFirstRenameSectionCounts) {
  EXPECT_EQ(Add("[rename]\n[x]\n[rename]\n"), "[rename]\n" + kEntry + "[x]\n[rename]\n");
}

TEST(WininitText, TwoEntriesLandInOrder) {
  std::string once = AddRenameEntry("[rename]\r\n[x]\r\n", "NUL", "C:\\A.EXE");
  std::string twice = AddRenameEntry(once, "NUL", "C:\\B.EXE");
  EXPECT_EQ(twice, "[rename]\nNUL=C:\\A.EXE\nNUL=C:\\B.EXE\r\n[x]\n");
}

TEST(WininitText, LongLinesNulBytesAndAMissingLastLineEndSurvive) {
  std::string longLine(2000, 'q');
  longLine[700] = '[';  // where a read in 647-byte pieces would see a line start
  std::string withNul = std::string("a=b\0c", 5);
  EXPECT_EQ(Add("[rename]\n" + longLine + "\n" + withNul + "\n[x]\n"),
            "[rename]\n" + longLine + "\n" + withNul + "\n" + kEntry + "[x]\n");
  EXPECT_EQ(Add("[rename]\nNUL=C:\\OLD.EXE"), "[rename]\nNUL=C:\\OLD.EXE\r\n" + kEntry);
  EXPECT_EQ(Add("[rename]\r\nlone\rcr\r\n"), "[rename]\nlone\rcr\n" + kEntry);
}

TEST(WininitText, EntryGoesBeforeAClosingEndOfFileMark) {
  EXPECT_EQ(Add("[rename]\r\nNUL=C:\\OLD.EXE\r\n\x1A"), "[rename]\nNUL=C:\\OLD.EXE\n" + kEntry + "\x1A");
  EXPECT_EQ(Add("[other]\r\na=b\x1A\x1A"), "[other]\na=b\r\n[rename]\r\n" + kEntry + "\x1A\x1A");
  EXPECT_EQ(Add("\x1A"), "[rename]\r\n" + kEntry + "\x1A");
  // A mark inside the text is an ordinary byte of its line.
  EXPECT_EQ(Add("[rename]\n;\x1A\n[x]\n"), "[rename]\n;\x1A\n" + kEntry + "[x]\n");
}

}  // namespace
