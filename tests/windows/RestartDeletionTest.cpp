// Deletion at restart on the NT line, and the wininit.ini of the 9x line
// written into the Windows folder of the test prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cleaning/RestartDeletion.h"
#include "engine/FileReader.h"
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

// --- the NT line: never a path that a standard user can redirect ------------

// Wine keeps no owner or access list of its own on a file: every folder is
// owned by the prefix's user and lets it do everything, so under the real
// reader every folder counts as changeable by users. These tests give folders
// the lists of a real Windows 10 through the reader seam instead.
const char kTrustedInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
std::string RootList() {  // C:\ : users may add folders to the root, and own what they add
  return std::string("O:") + kTrustedInstaller +
         "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)"
         "(A;;LC;;;AU)(A;OICIIO;SDGXGWGR;;;AU)";
}
std::string WindowsList() {  // C:\Windows
  return std::string("O:") + kTrustedInstaller + "D:PAI(A;;FA;;;" + kTrustedInstaller + ")(A;CIIO;GA;;;" +
         kTrustedInstaller +
         ")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
         "(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)";
}
const char kAdministratorsOnly[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const char kUsersMayModify[] = "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)";
const char kOwnedByAUser[] = "O:S-1-5-21-1-2-3-1001D:(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;SY)";

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

std::map<std::string, std::string> folderLists;  // lower-case path -> SDDL; "" cannot be read
std::string otherFolders;                         // the list of every folder not named
std::vector<std::string> foldersRead;

bool ReadListedSecurity(HANDLE, const char* path, std::string& descriptor) {
  foldersRead.push_back(path);
  auto named = folderLists.find(Lowered(path));
  const std::string& sddl = named != folderLists.end() ? named->second : otherFolders;
  PSECURITY_DESCRIPTOR built = nullptr;
  ULONG size = 0;
  if (sddl.empty() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &built, &size))
    return false;
  descriptor.assign(static_cast<const char*>(built), size);
  LocalFree(built);
  return true;
}

BOOL WINAPI RefuseMove(const char*, const char*, DWORD) { return FALSE; }

std::vector<std::string> movedSources;
const char* movedTarget = "unset";
DWORD movedFlags = 0;
BOOL WINAPI RecordMove(const char* source, const char* target, DWORD flags) {
  movedSources.push_back(source);
  movedTarget = target;
  movedFlags = flags;
  return TRUE;
}

// The delayed-move list itself is checked where nothing else runs in the
// prefix (the links test, the XP personality test and the restart
// scenarios): any server start in this shared prefix performs the pending
// deletions and empties it.
class DeleteAtRestart : public ::testing::Test {
 protected:
  void SetUp() override {
    movedSources.clear();
    movedTarget = "unset";
    foldersRead.clear();
    folderLists.clear();
    otherFolders = kAdministratorsOnly;
    previousMove_ = UseMoveFileEx(RecordMove);
    previousReader_ = UseFolderSecurityReader(ReadListedSecurity);
  }
  void TearDown() override {
    UseMoveFileEx(previousMove_);
    UseFolderSecurityReader(previousReader_);
  }
  // Schedules `path`, judged through a handle of its own as the check does.
  int Schedule(const std::string& path, const char*& reason) {
    FileReader judged(path.c_str());
    FileIdentity identity;
    EXPECT_TRUE(judged.Identify(identity)) << path;
    if (!judged.Removable()) judged.Close();
    return ScheduleDeleteAtRestart(path.c_str(), judged.IsOpen() ? judged.Get() : INVALID_HANDLE_VALUE,
                                   identity, &reason);
  }

 private:
  MoveFileExFunction previousMove_ = nullptr;
  FolderSecurityReader previousReader_ = nullptr;
};

// Mapped like a loaded DLL: neither deletion nor a kill frees it, but it can
// be moved. It goes, through its own handle, into the administrators' folder
// at the volume's root under a name of ours, and that path is scheduled.
TEST_F(DeleteAtRestart, AFileThatCanBeMovedIsScheduledFromTheAdministratorsFolder) {
  ScratchFolder root("restart-moved");
  std::string path = root.AddFile("d\\held.exe", "MZ a worm");
  auto holder = std::make_unique<MappedFile>(path);
  ASSERT_TRUE(holder->Held());
  otherFolders = kOwnedByAUser;  // the path itself would never do
  // Made by an earlier run in this prefix, it is read back: ours still.
  folderLists["c:\\scourix.removed"] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  const char* reason = "unset";

  EXPECT_EQ(Schedule(path, reason), 1);

  EXPECT_EQ(reason, nullptr);
  ASSERT_EQ(movedSources.size(), 1u);
  const std::string moved = movedSources[0];
  EXPECT_EQ(Lowered(moved.substr(0, 19)), "c:\\scourix.removed\\") << moved;
  EXPECT_EQ(moved.substr(moved.size() - 8), ".removed");
  EXPECT_EQ(movedTarget, nullptr);
  EXPECT_EQ(movedFlags, static_cast<DWORD>(MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(ReadFileBytes(moved), "MZ a worm");

  // A refused delayed move is no scheduling.
  std::string second = root.AddFile("d\\second.exe");
  auto secondHolder = std::make_unique<MappedFile>(second);
  UseMoveFileEx(RefuseMove);
  EXPECT_EQ(Schedule(second, reason), 0);
  EXPECT_STREQ(reason, "not scheduled for deletion at restart: Windows refused the delayed deletion");

  holder.reset();
  secondHolder.reset();
  DeleteFileA(moved.c_str());
}

// A folder of that name that this run did not make is used only when it is
// the administrators' alone; one a user owns or may change is not.
TEST_F(DeleteAtRestart, ARemovalFolderThatIsNotTheAdministratorsIsNotUsed) {
  ScratchFolder root("restart-folder");
  std::string path = root.AddFile("held.exe");
  char folder[MAX_PATH];
  MakeFolders("C:\\Scourix.Removed");  // by an earlier run, or by a user
  FileIdentity volume;
  {
    FileReader file(path.c_str());
    ASSERT_TRUE(file.Identify(volume));
  }
  ForgetRemovalFolders();
  for (const char* list : {kOwnedByAUser, kUsersMayModify, ""}) {
    folderLists["c:\\scourix.removed"] = list;
    EXPECT_FALSE(PrepareRemovalFolder(path.c_str(), volume.volume, folder)) << list;
  }
  folderLists["c:\\scourix.removed"] = "O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  EXPECT_TRUE(PrepareRemovalFolder(path.c_str(), volume.volume, folder));
  EXPECT_STREQ(folder, "C:\\Scourix.Removed");
  EXPECT_FALSE(PrepareRemovalFolder(path.c_str(), volume.volume + 1, folder)) << "another volume";
}

// Held for reading and shared for reading only: it cannot be moved. Its own
// path is scheduled only when no folder on it can be changed by a user.
TEST_F(DeleteAtRestart, AFileThatCannotBeMovedIsScheduledByItsPathOnlyWhereUsersCannotChangeIt) {
  ScratchFolder root("restart-path");
  std::string path = root.AddFile("d\\held.exe");
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const char* reason = nullptr;
  const char kChangeable[] = "not scheduled for deletion at restart: users can change a folder on its path";

  for (const char* list : {kUsersMayModify, kOwnedByAUser, ""}) {  // "": the list cannot be read
    folderLists[Lowered(root.Join("d"))] = list;
    EXPECT_EQ(Schedule(path, reason), 0) << list;
    EXPECT_STREQ(reason, kChangeable) << list;
  }
  EXPECT_TRUE(movedSources.empty());

  folderLists.clear();
  EXPECT_EQ(Schedule(path, reason), 1);
  EXPECT_EQ(reason, nullptr);
  EXPECT_EQ(movedSources, std::vector<std::string>{path});
  // The root, then every folder down to the file's own (the removal
  // folder, which was looked at first, apart).
  foldersRead.erase(std::remove(foldersRead.begin(), foldersRead.end(), "C:\\Scourix.Removed"), foldersRead.end());
  ASSERT_GE(foldersRead.size(), 3u);
  EXPECT_EQ(foldersRead.front(), "C:\\");
  EXPECT_EQ(foldersRead.back(), root.Join("d"));
  CloseHandle(holder);
}

// Where a real Windows keeps its own files: the root lets users add folders
// (which redirects nothing that exists) and CREATOR OWNER's entries apply only
// to what a user could create; neither makes the path changeable.
TEST_F(DeleteAtRestart, AHeldFileUnderTheWindowsFolderIsStillScheduledByItsPath) {
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
  std::string path = std::string(windows) + "\\scourix-held-test.dll";
  WriteFileBytes(path, "MZ held");
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  folderLists[Lowered(std::string(windows, 3))] = RootList();
  folderLists[Lowered(windows)] = WindowsList();
  otherFolders = "";
  const char* reason = "unset";

  EXPECT_EQ(Schedule(path, reason), 1);

  EXPECT_EQ(reason, nullptr);
  EXPECT_EQ(movedSources, std::vector<std::string>{path});
  CloseHandle(holder);
  DeleteFileA(path.c_str());
}

}  // namespace
