// What happens to an infected file, on real files under Wine.
#include <cstring>

#include "cleaning/MachineActions.h"
#include "cleaning/files/Files.h"
#include "engine/FileReader.h"
#include "engine/InfectedFile.h"
#include "engine/VariantCheck.h"
#include "tests/windows/support/DialogAnswerer.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

const char kName[] = "W32/Morvo.Lax.Worm";

// The three ways a removal reaches the file: by its path, and through the
// check's own handle with either of the two functions that set its
// attributes and its deletion mark.
enum class Route { Path, Handle, NtHandle };
const Route kRoutes[] = {Route::Path, Route::Handle, Route::NtHandle};

// Hands the file over the way the check does on that route.
void Handle(Route route, const std::string& path) {
  bool previous = UseNtSetInformationFile(route == Route::NtHandle);
  if (route == Route::Path) {
    HandleInfectedFile(kName, path.c_str());
  } else {
    FileReader judged(path.c_str());
    EXPECT_TRUE(judged.Removable()) << path;
    HandleInfectedFile(kName, path.c_str(), &judged);
  }
  UseNtSetInformationFile(previous);
}

class InfectedFileTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    scanState.memoryPhase = 0;
    scanState.infectedAction = kActionRemove;
  }
  // As the check leaves them just before it hands a file over.
  void Detected(const std::string& path, const char* name = kName) {
    strcpy(scanState.statusText, path.c_str());
    strcpy(scanState.detectionName, name);
  }
};

TEST_F(InfectedFileTest, RemovesTheFileWithOneLineAndCountsIt) {
  for (Route route : kRoutes) {
    for (int action : {kActionRemove, kActionRemoveToo}) {
      ScratchFolder root("infected-remove");
      std::string path = root.AddFile("mal.exe");
      Detected(path);
      scanState.infectedAction = action;
      logLines.clear();
      scanState.filesRemoved = 0;

      Handle(route, path);

      EXPECT_FALSE(FileExists(path)) << action;
      EXPECT_EQ(logLines, std::vector<std::string>{path + "     W32/Morvo.Lax.Worm removed"});
      EXPECT_EQ(scanState.filesRemoved, 1);
      EXPECT_EQ(scanState.restartNeeded, 0);
    }
  }
}

TEST_F(InfectedFileTest, ResetsReadOnlyHiddenAndSystemBeforeRemoving) {
  ScratchFolder root("infected-attributes");
  ASSERT_FALSE(DeleteFileA(root.AddFile("probe.exe", "x", FILE_ATTRIBUTE_READONLY).c_str()));
  for (Route route : kRoutes) {
    std::vector<std::string> paths = {
        root.AddFile("ro.exe", "x", FILE_ATTRIBUTE_READONLY),
        root.AddFile("hidden.exe", "x", FILE_ATTRIBUTE_HIDDEN),
        root.AddFile("system.exe", "x", FILE_ATTRIBUTE_SYSTEM),
        root.AddFile("all.exe", "x", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
    };
    logLines.clear();
    scanState.filesRemoved = 0;

    for (const std::string& path : paths) {
      Detected(path);
      Handle(route, path);
      EXPECT_FALSE(FileExists(path)) << path;
    }
    EXPECT_EQ(scanState.filesRemoved, 4);
    EXPECT_EQ(logLines.size(), 4u);
  }
}

// Held by another program for reading and shared for reading only: the
// check can judge it through a read-only handle, not with the rights to
// remove it, so the removal goes by the path; the holder explains the
// sharing violation, and the termination is asked for.
TEST_F(InfectedFileTest, AFileThatStaysLockedIsReportedUnableToRemove) {
  for (bool judged : {false, true}) {
    ScratchFolder root("infected-locked");
    std::string path = root.AddFile("held.exe");
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    Detected(path);
    logLines.clear();
    // The termination finds no process to end and says so in a box titled with the path.
    DialogAnswerer box(path, {IDOK});

    if (judged) {
      FileReader file(path.c_str());
      ASSERT_TRUE(file.IsOpen());
      EXPECT_FALSE(file.Removable());
      HandleInfectedFile(kName, path.c_str(), &file);
    } else {
      HandleInfectedFile(kName, path.c_str());
    }

    CloseHandle(holder);
    EXPECT_EQ(box.Answered().size(), 1u) << judged;
    EXPECT_TRUE(FileExists(path));
    // It cannot be moved (the holder shares no deletion), and its own path
    // runs through folders a user may change: under Wine every folder is the
    // prefix user's, with no access list of Windows' own. Left, and said why.
    EXPECT_EQ(logLines, (std::vector<std::string>{
                            path + "     W32/Morvo.Lax.Worm Unable to remove",
                            path + "     W32/Morvo.Lax.Worm not scheduled for deletion at restart: users can "
                                   "change a folder on its path"}));
    EXPECT_EQ(scanState.filesRemoved, 0);
    EXPECT_EQ(scanState.restartNeeded, 0);
    EXPECT_EQ(scanState.filesLeft, judged ? 2 : 1);
  }
}

// A second name of the file outside the walked tree: removing the walked
// name alone would leave the worm. Wine's kernel32 cannot list a file's names
// (FindFirstFileNameW is a stub there), so the file is left whole and counted;
// with the names given through the seam, as Windows lists them, each name is
// proven to be the file and deleted.
std::vector<std::string> linkNames;
bool ListLinkNames(const char*, std::vector<std::string>& names) {
  names = linkNames;
  return true;
}

TEST_F(InfectedFileTest, AFileWithASecondNameIsRemovedOnlyWithEveryName) {
  for (bool listed : {false, true}) {
    for (Route route : {Route::Path, Route::Handle}) {
      ScratchFolder root("infected-links");
      std::string path = root.AddFile("walked\\mal.exe");
      std::string other = root.Join("outside\\kept.exe");
      root.AddFolder("outside");
      ASSERT_TRUE(CreateHardLinkA(other.c_str(), path.c_str(), nullptr));
      linkNames = {other, path};
      FileNameLister previous = UseFileNameLister(listed ? ListLinkNames : nullptr);
      Detected(path);
      logLines.clear();
      scanState.filesRemoved = 0;
      scanState.filesLeft = 0;

      Handle(route, path);

      UseFileNameLister(previous);
      EXPECT_EQ(FileExists(path), !listed);
      EXPECT_EQ(FileExists(other), !listed);
      EXPECT_EQ(logLines, std::vector<std::string>{path + (listed ? "     W32/Morvo.Lax.Worm removed"
                                                                   : "     W32/Morvo.Lax.Worm Unable to remove")});
      EXPECT_EQ(scanState.filesRemoved, listed ? 1 : 0);
      EXPECT_EQ(scanState.filesLeft, listed ? 0 : 1);
      EXPECT_EQ(scanState.restartNeeded, 0);
    }
  }
}

TEST_F(InfectedFileTest, AttributesThatCannotBeSetReportTheLastDetection) {
  ScratchFolder root("infected-gone");
  std::string path = root.Join("vanished.exe");
  Detected("C:\\last\\detection.exe", "W32/Morvo.Kzg.Worm");

  HandleInfectedFile(kName, path.c_str());

  EXPECT_EQ(logLines,
            std::vector<std::string>{"C:\\last\\detection.exe     W32/Morvo.Kzg.Worm Unable to remove"});
  EXPECT_EQ(scanState.restartNeeded, 0);
}

TEST_F(InfectedFileTest, RenameReplacesTheCharacterAfterTheLastDot) {
  ScratchFolder root("infected-rename");
  std::string path = root.AddFile("a.b.exe");
  scanState.infectedAction = kActionRename;

  HandleInfectedFile(kName, path.c_str());

  EXPECT_FALSE(FileExists(path));
  EXPECT_TRUE(FileExists(root.Join("a.b.Vxe")));
  EXPECT_EQ(logLines, std::vector<std::string>{path + "     W32/Morvo.Lax.Worm renamed"});
  EXPECT_EQ(scanState.filesRenamed, 1);
  EXPECT_EQ(scanState.filesRemoved, 0);
}

TEST_F(InfectedFileTest, RenameOfAnExtensionlessFileInADottedFolderFails) {
  ScratchFolder root("infected-dotted");
  std::string path = root.AddFile("x.d\\file");
  scanState.infectedAction = kActionRename;

  HandleInfectedFile(kName, path.c_str());

  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(logLines, std::vector<std::string>{path + "     W32/Morvo.Lax.Worm Rename failed"});
  EXPECT_EQ(scanState.filesRenamed, 0);
}

TEST_F(InfectedFileTest, RenameOfAPathWithoutAnyDotFails) {
  ScratchFolder root("infected-nodot");
  std::string path = root.AddFile("file");
  scanState.infectedAction = kActionRename;

  HandleInfectedFile(kName, path.c_str());

  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(logLines, std::vector<std::string>{path + "     W32/Morvo.Lax.Worm Rename failed"});
  EXPECT_EQ(scanState.filesRenamed, 0);
}

TEST_F(InfectedFileTest, ReportOnlyLeavesTheFileAndWritesTheLowerCaseLine) {
  ScratchFolder root("infected-report");
  std::string path = root.AddFile("mal.exe");
  Detected(path);
  scanState.infectedAction = kActionReportOnly;

  HandleInfectedFile(kName, path.c_str());

  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(logLines, std::vector<std::string>{
                          path + "     W32/Morvo.Lax.Worm not disinfected as per user's selection"});
  EXPECT_EQ(scanState.filesRemoved + scanState.filesRenamed, 0);
}

TEST_F(InfectedFileTest, AnyOtherActionDoesNothing) {
  ScratchFolder root("infected-other");
  std::string path = root.AddFile("mal.exe");
  for (int action : {0, 99, 104, -1}) {
    scanState.infectedAction = action;
    HandleInfectedFile(kName, path.c_str());
  }
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(logLines.empty());
}

TEST_F(InfectedFileTest, PendingMemoryRemovalAnnouncesWaitsAndRemovesUnderTheFamilyName) {
  ScratchFolder root("infected-memory");
  std::string path = root.AddFile("worm.exe", InertSample(VariantTable[0]), FILE_ATTRIBUTE_READONLY);
  scanState.pendingMemoryAction = kActionRemove;
  scanState.infectedAction = 0;
  scanState.filesInfected = 1;

  DWORD started = GetTickCount();
  int result = CheckVariantFile("W32/Morvo.Worm ", path.c_str());
  DWORD elapsed = GetTickCount() - started;

  EXPECT_EQ(result, 0);
  EXPECT_GE(elapsed, 950u);
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(logLines, (std::vector<std::string>{"System Memory    W32/Morvo.Worm  removed",
                                                 path + "     W32/Morvo.Worm  removed"}));
  EXPECT_EQ(scanState.infectedAction, kActionRemove);
  EXPECT_EQ(scanState.filesInfected, 1);
  EXPECT_EQ(scanState.filesRemoved, 1);
}

// The memory phase judged the process's file; during the wait its path came
// to lead to another file. The removal judges what it opens, and leaves it.
TEST_F(InfectedFileTest, PendingMemoryRemovalLeavesAFileThatIsNoWormByNow) {
  ScratchFolder root("infected-memory-swapped");
  std::string path = root.AddFile("worm.exe", "a user's file by now");
  scanState.pendingMemoryAction = kActionRemove;
  scanState.filesInfected = 1;

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 0);

  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(logLines, (std::vector<std::string>{"System Memory    W32/Morvo.Worm  removed",
                                                 path + "     W32/Morvo.Worm  Unable to remove"}));
  EXPECT_EQ(scanState.filesRemoved, 0);
  EXPECT_EQ(scanState.restartNeeded, 0);
  EXPECT_EQ(scanState.filesLeft, 1);
}

// A file that does not open at all (held without sharing) was never judged:
// nothing is done by its path, no holder is looked for, nothing scheduled.
TEST_F(InfectedFileTest, PendingMemoryRemovalOfAFileThatDoesNotOpenLeavesIt) {
  ScratchFolder root("infected-memory-unopened");
  std::string path = root.AddFile("worm.exe", InertSample(VariantTable[0]));
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  scanState.pendingMemoryAction = kActionRemove;
  scanState.filesInfected = 1;
  DialogAnswerer box(path, {IDOK});

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 0);

  CloseHandle(holder);
  EXPECT_TRUE(box.Answered().empty()) << "no holder is looked for";
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(logLines, (std::vector<std::string>{"System Memory    W32/Morvo.Worm  removed",
                                                 path + "     W32/Morvo.Worm  Unable to remove"}));
  EXPECT_EQ(scanState.filesLeft, 1);
  EXPECT_EQ(scanState.restartNeeded, 0);
}

TEST_F(InfectedFileTest, PendingMemoryRemovalWithoutTheWindowChecksTheFileInstead) {
  ScratchFolder root("infected-memory-nowindow");
  std::string path = root.AddFile("clean.exe", "not a program");
  scanState.pendingMemoryAction = kActionRemove;
  scanState.reportWindow = nullptr;

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 0);
  EXPECT_TRUE(FileExists(path));
}

}  // namespace
