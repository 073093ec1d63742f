// Deletion at restart on the NT line, and the wininit.ini of the 9x line
// written into the Windows folder of the test prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include "cleaning/RestartDeletion.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

const char kWininit[] = "C:\\windows\\wininit.ini";
const char kTempCopy[] = "C:\\users\\root\\Temp\\wininit.ini";

class WininitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFileAttributesA(kWininit, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(kWininit);
  }
  void TearDown() override {
    SetFileAttributesA(kWininit, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(kWininit);
  }
};

TEST_F(WininitTest, ANewFileHoldsTheSectionAndTheEntryExactly) {
  ASSERT_TRUE(AddWininitRename("NUL", "C:\\PROGRA~1\\X\\MAL.EXE"));
  EXPECT_EQ(ReadFileBytes(kWininit), "[rename]\r\nNUL=C:\\PROGRA~1\\X\\MAL.EXE\r\n");
}

TEST_F(WininitTest, AnExistingFileGetsTheEntryInItsSectionAndKeepsACopy) {
  WriteFileBytes(kWininit, "[rename]\r\nNUL=C:\\OLD.EXE\r\n[other]\r\na=b\r\n");
  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEW.EXE"));
  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEWER.EXE"));
  EXPECT_EQ(ReadFileBytes(kWininit),
            "[rename]\nNUL=C:\\OLD.EXE\nNUL=C:\\NEW.EXE\nNUL=C:\\NEWER.EXE\r\n[other]\na=b\n");
  EXPECT_EQ(ReadFileBytes(kTempCopy), "[rename]\nNUL=C:\\OLD.EXE\nNUL=C:\\NEW.EXE\r\n[other]\na=b\n");
}

TEST_F(WininitTest, AShorterNewTextCutsTheOldTail) {
  // CR LF lines come back as LF, so the new text can be shorter than the old.
  std::string old = "[x]\r\n" + std::string(50, 'a') + "\r\n[rename]\r\n";
  for (int i = 0; i < 40; ++i) old += "k=v\r\n";
  WriteFileBytes(kWininit, old);
  ASSERT_TRUE(AddWininitRename("NUL", "C:\\N.EXE"));
  std::string text = ReadFileBytes(kWininit);
  EXPECT_EQ(text.find('\r'), text.size() - 2);  // only the new entry has a CR
  EXPECT_EQ(text.substr(text.size() - 14), "NUL=C:\\N.EXE\r\n");
}

TEST_F(WininitTest, AReadOnlyFileIsNotChanged) {
  WriteFileBytes(kWininit, "[rename]\r\n");
  SetFileAttributesA(kWininit, FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(AddWininitRename("NUL", "C:\\N.EXE"));
  EXPECT_EQ(ReadFileBytes(kWininit), "[rename]\r\n");
}

BOOL WINAPI RefuseMove(const char*, const char*, DWORD) { return FALSE; }

std::string movedSource;
const char* movedTarget = "unset";
DWORD movedFlags = 0;
BOOL WINAPI RecordMove(const char* source, const char* target, DWORD flags) {
  movedSource = source;
  movedTarget = target;
  movedFlags = flags;
  return TRUE;
}

// The list itself is checked where nothing else runs in the prefix (the XP
// personality test and the restart scenarios): any server start in this
// shared prefix performs the pending deletions and empties it.
TEST(DeleteAtRestart, OnTheNtLineTheDelayedMoveIsWhatCounts) {
  ScratchFolder root("restart-nt");
  std::string path = root.AddFile("held.exe");
  EXPECT_EQ(ScheduleDeleteAtRestart(path.c_str()), 1);  // the real call

  MoveFileExFunction previous = UseMoveFileEx(RecordMove);
  EXPECT_EQ(ScheduleDeleteAtRestart(path.c_str()), 1);
  EXPECT_EQ(movedSource, path);
  EXPECT_EQ(movedTarget, nullptr);
  EXPECT_EQ(movedFlags, static_cast<DWORD>(MOVEFILE_DELAY_UNTIL_REBOOT));
  UseMoveFileEx(RefuseMove);
  EXPECT_EQ(ScheduleDeleteAtRestart(path.c_str()), 0);
  UseMoveFileEx(previous);
}

}  // namespace
