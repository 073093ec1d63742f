// wininit.ini files that a plain line-by-line rewrite would damage, written
// into the Windows folder of the test prefix: whatever the file holds, the
// user's entries survive, and a failure is reported as one.
#include <gtest/gtest.h>
#include <windows.h>

#include "cleaning/RestartDeletion.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

const char kWininit[] = "C:\\windows\\wininit.ini";

std::string TempCopy() {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  return std::string(folder) + "wininit.ini";
}

const char kReplacement[] = "C:\\windows\\wininit.new";
const char kPrevious[] = "C:\\windows\\wininit.old";

// A write that gets half its bytes onto the disk and then fails, as on a
// full disk.
BOOL WINAPI WriteHalfThenFail(HANDLE file, LPCVOID data, DWORD length, LPDWORD written, LPOVERLAPPED) {
  WriteFile(file, data, length / 2, written, nullptr);
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

class BadWininitTest : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override {
    UseWininitWrite(nullptr);
    Clear();
  }
  static void Clear() {
    for (const std::string& path : {std::string(kWininit), TempCopy(), std::string(kReplacement), std::string(kPrevious)}) {
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
  }
};

// A reader with a 648-byte line buffer would see the middle of this line as a
// section header and put the entry inside the line.
TEST_F(BadWininitTest, LinesLongerThan647CharactersStayWhole) {
  const std::string bracketAt647 = "NUL=C:\\" + std::string(640, 'a') + "[b]" + std::string(50, 'c');
  ASSERT_EQ(bracketAt647[647], '[');
  const std::string veryLong = "; " + std::string(5000, 'x');
  WriteFileBytes(kWininit, "[rename]\r\n" + bracketAt647 + "\r\n" + veryLong + "\r\n[next]\r\na=b\r\n");

  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEW.EXE"));

  EXPECT_EQ(ReadFileBytes(kWininit),
            "[rename]\n" + bracketAt647 + "\n" + veryLong + "\nNUL=C:\\NEW.EXE\r\n[next]\na=b\n");
}

TEST_F(BadWininitTest, ALastLineWithoutALineEndIsEndedBeforeTheEntry) {
  WriteFileBytes(kWininit, "[rename]\r\nNUL=C:\\OLD.EXE");
  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEW.EXE"));
  EXPECT_EQ(ReadFileBytes(kWininit), "[rename]\nNUL=C:\\OLD.EXE\r\nNUL=C:\\NEW.EXE\r\n");

  WriteFileBytes(kWininit, "[other]\r\nk=v");
  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEW.EXE"));
  EXPECT_EQ(ReadFileBytes(kWininit), "[other]\nk=v\r\n[rename]\r\nNUL=C:\\NEW.EXE\r\n");
}

TEST_F(BadWininitTest, NulBytesAndEndOfFileMarksAreKeptWithEverythingAfterThem) {
  const std::string withNul = std::string("NUL=C:\\A\0B.EXE", 14);
  const std::string withMark = "; note\x1A after the mark";
  WriteFileBytes(kWininit, "[rename]\r\n" + withNul + "\r\n" + withMark + "\r\n[x]\r\ny=z\r\n");

  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEW.EXE"));

  EXPECT_EQ(ReadFileBytes(kWininit),
            "[rename]\n" + withNul + "\n" + withMark + "\nNUL=C:\\NEW.EXE\r\n[x]\ny=z\n");
}

TEST_F(BadWininitTest, AReadOnlyFileIsReportedAsAFailureAndKeepsItsEntries) {
  const std::string old = "[rename]\r\nNUL=C:\\USER.EXE\r\n";
  WriteFileBytes(kWininit, old);
  SetFileAttributesA(kWininit, FILE_ATTRIBUTE_READONLY);

  EXPECT_FALSE(AddWininitRename("NUL", "C:\\NEW.EXE"));

  EXPECT_EQ(ReadFileBytes(kWininit), old);
  EXPECT_EQ(GetFileAttributesA(kWininit) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
}

TEST_F(BadWininitTest, AHiddenSystemFileIsWrittenLikeAnyOther) {
  WriteFileBytes(kWininit, "[rename]\r\nNUL=C:\\USER.EXE\r\n");
  SetFileAttributesA(kWininit, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEW.EXE"));

  EXPECT_EQ(ReadFileBytes(kWininit), "[rename]\nNUL=C:\\USER.EXE\nNUL=C:\\NEW.EXE\r\n");
}

TEST_F(BadWininitTest, AFileHeldOpenByAnotherProgramIsReportedAsAFailure) {
  const std::string old = "[rename]\r\nNUL=C:\\USER.EXE\r\n";
  WriteFileBytes(kWininit, old);
  HANDLE holder = CreateFileA(kWininit, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  EXPECT_FALSE(AddWininitRename("NUL", "C:\\NEW.EXE"));

  CloseHandle(holder);
  EXPECT_EQ(ReadFileBytes(kWininit), old);
}

// The working copy in the temporary folder is left from an earlier call and
// is held open by another program, so it cannot be refreshed. Rewriting
// wininit.ini from that stale copy would drop the user's newer entries.
TEST_F(BadWininitTest, AWorkingCopyThatCannotBeRefreshedIsNeverUsedInsteadOfTheFile) {
  WriteFileBytes(kWininit, "[rename]\r\nNUL=C:\\FIRST.EXE\r\n");
  ASSERT_TRUE(AddWininitRename("NUL", "C:\\SECOND.EXE"));
  const std::string stale = ReadFileBytes(TempCopy());
  ASSERT_EQ(stale, "[rename]\r\nNUL=C:\\FIRST.EXE\r\n");
  const std::string current = "[rename]\r\nNUL=C:\\FIRST.EXE\r\nNUL=C:\\SECOND.EXE\r\nNUL=C:\\USER.EXE\r\n";
  WriteFileBytes(kWininit, current);
  HANDLE holder = CreateFileA(TempCopy().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  bool added = AddWininitRename("NUL", "C:\\THIRD.EXE");

  CloseHandle(holder);
  const std::string after = ReadFileBytes(kWininit);
  EXPECT_NE(after.find("NUL=C:\\USER.EXE"), std::string::npos) << after;
  if (added) {
    EXPECT_NE(after.find("NUL=C:\\THIRD.EXE"), std::string::npos) << after;
  } else {
    EXPECT_EQ(after, current);
  }
}

TEST_F(BadWininitTest, AFailedWriteLeavesTheFileAsItWasAndNoHalfWrittenCopy) {
  const std::string old = "[rename]\r\nNUL=C:\\USER.EXE\r\n[x]\r\na=b\r\n";
  WriteFileBytes(kWininit, old);
  UseWininitWrite(WriteHalfThenFail);

  EXPECT_FALSE(AddWininitRename("NUL", "C:\\NEW.EXE"));

  EXPECT_EQ(ReadFileBytes(kWininit), old);
  EXPECT_EQ(GetFileAttributesA(kReplacement), INVALID_FILE_ATTRIBUTES);
  // Nor is a new file left half written where there was none.
  DeleteFileA(kWininit);
  EXPECT_FALSE(AddWininitRename("NUL", "C:\\NEW.EXE"));
  EXPECT_EQ(GetFileAttributesA(kWininit), INVALID_FILE_ATTRIBUTES);
  UseWininitWrite(nullptr);
  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEW.EXE"));
  EXPECT_EQ(ReadFileBytes(kWininit), "[rename]\r\nNUL=C:\\NEW.EXE\r\n");
}

TEST_F(BadWininitTest, TheEntryGoesBeforeAClosingEndOfFileMark) {
  WriteFileBytes(kWininit, "[rename]\r\nNUL=C:\\USER.EXE\r\n\x1A");
  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEW.EXE"));
  EXPECT_EQ(ReadFileBytes(kWininit), "[rename]\nNUL=C:\\USER.EXE\nNUL=C:\\NEW.EXE\r\n\x1A");
}

// Copies left behind hidden and read-only, by hand or by a run that was cut
// short, would refuse to be overwritten.
TEST_F(BadWininitTest, HiddenReadOnlyCopiesLeftFromBeforeNeverBlockIt) {
  WriteFileBytes(kWininit, "[rename]\r\nNUL=C:\\USER.EXE\r\n");
  for (const std::string& leftover : {TempCopy(), std::string(kReplacement), std::string(kPrevious)}) {
    WriteFileBytes(leftover, "stale");
    ASSERT_TRUE(SetFileAttributesA(leftover.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  }

  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEW.EXE"));
  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEWER.EXE"));

  EXPECT_EQ(ReadFileBytes(kWininit), "[rename]\nNUL=C:\\USER.EXE\nNUL=C:\\NEW.EXE\nNUL=C:\\NEWER.EXE\r\n");
  EXPECT_EQ(ReadFileBytes(TempCopy().c_str()), "[rename]\nNUL=C:\\USER.EXE\nNUL=C:\\NEW.EXE\r\n");
  EXPECT_EQ(GetFileAttributesA(kReplacement), INVALID_FILE_ATTRIBUTES);
}

TEST_F(BadWininitTest, AFileTooLargeToHoldIsRefusedAndKept) {
  HANDLE file = CreateFileA(kWininit, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "[rename]\r\n", 10, &written, nullptr);
  LARGE_INTEGER size;
  size.QuadPart = (8ll << 20) + 1;  // one byte past what is read
  SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
  ASSERT_TRUE(SetEndOfFile(file));
  CloseHandle(file);

  EXPECT_FALSE(AddWininitRename("NUL", "C:\\NEW.EXE"));

  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA(kWininit, GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, static_cast<DWORD>(size.QuadPart));
  EXPECT_EQ(ReadFileBytes(kWininit).substr(0, 10), "[rename]\r\n");
}

}  // namespace
