// Directory links on drives of their own, made by links.sh from the Linux
// side (a Windows program cannot make one under Wine): D: holds two links
// back to D:\ and one to a folder outside every drive; E: holds, for each
// path-swap test, a folder "decoy-NAME" whose "dir" is a link out of the
// drive. A path swap renames the checked file's folder away and the decoy
// into its place, so that the same path then runs through a link.
#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "app/RunLog.h"
#include "cleaning/files/Files.h"
#include "cleaning/RestartDeletion.h"
#include "engine/FileReader.h"
#include "engine/DirectoryWalk.h"
#include "engine/InfectedFile.h"
#include "engine/VariantCheck.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/RegistryScratch.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

using LinkWalk = RealCheckFixture;

TEST_F(LinkWalk, ADriveWithLinksBackToItselfAndOutOfItIsWalkedOnceAndLeft) {
  ASSERT_EQ(GetFileAttributesA("D:\\loops\\a"), DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT});
  WriteFileBytes("D:\\outside\\lax.exe", InertSample(VariantTable[0]));  // through the link: outside every drive
  WriteFileBytes("D:\\lda.exe", InertSample(VariantTable[2]));
  WriteFileBytes("D:\\loops\\mae.exe", InertSample(VariantTable[9]));
  WriteFileBytes("D:\\loops\\letter.txt", "clean");

  int result = WalkFolder("D:\\*.*");

  EXPECT_EQ(result, 3);
  EXPECT_EQ(std::set<std::string>(checkedPaths.begin(), checkedPaths.end()),
            (std::set<std::string>{"D:\\lda.exe", "D:\\loops\\mae.exe", "D:\\loops\\letter.txt"}));
  EXPECT_EQ(checkedPaths.size(), 3u);
  EXPECT_EQ(logLines, (std::vector<std::string>{"D:\\lda.exe     W32/Morvo.Lda.Worm removed",
                                                 "D:\\loops\\mae.exe     W32/Morvo.Mae.Worm removed"}));
  for (const char* link : {"D:\\loops\\a", "D:\\loops\\b", "D:\\outside"})
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), link), statuses.end()) << link << " not shown";
  for (const std::string& status : statuses) {
    EXPECT_FALSE(Contains(status, "\\loops\\a\\") || Contains(status, "\\loops\\b\\") ||
                 Contains(status, "\\outside\\"))
        << status;
  }
  EXPECT_TRUE(FileExists("D:\\outside\\lax.exe"));
}

// The second guard: even a walk that went into links (a seam: under Wine
// every link is a reparse point, which the first guard keeps out) never
// enters a folder that it is already inside.
using LinkCycle = EngineFixture;

TEST_F(LinkCycle, AFolderAlreadyOnTheWalksPathIsNotEnteredAgain) {
  scanState.memoryPhase = 0;
  WriteFileBytes("D:\\outside\\other.txt", "outside");
  WriteFileBytes("D:\\loops\\inner.txt", "inner");
  bool previous = UseReparsePointSkip(false);

  WalkFolder("D:\\*.*");

  UseReparsePointSkip(previous);
  std::map<std::string, int> times;
  for (const std::string& path : checkedPaths) ++times[path];
  for (const auto& entry : times) EXPECT_EQ(entry.second, 1) << entry.first;
  EXPECT_EQ(times.count("D:\\loops\\inner.txt"), 1u);
  EXPECT_EQ(times.count("D:\\outside\\other.txt"), 1u);  // the seam let the walk into links
  for (const std::string& path : checkedPaths)
    EXPECT_FALSE(Contains(path, "\\loops\\a\\") || Contains(path, "\\loops\\b\\")) << path;
}

// Each of two sibling folders holds a link to the other: a walk that went
// into links (the seam again) reaches each tree twice, once directly and once
// through the other; a guard on the current path alone lets it walk both.
TEST_F(LinkCycle, LinksBetweenSiblingTreesDoNotMultiplyTheWalk) {
  scanState.memoryPhase = 0;
  ASSERT_NE(GetFileAttributesA("E:\\sib\\a\\tob") & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  WriteFileBytes("E:\\sib\\a\\one.txt", "one");
  WriteFileBytes("E:\\sib\\b\\two.txt", "two");
  bool previous = UseReparsePointSkip(false);

  WalkFolder("E:\\sib\\*.*");

  UseReparsePointSkip(previous);
  EXPECT_EQ(scanState.filesScanned, 2);
  EXPECT_EQ(checkedPaths.size(), 2u);
}

// --- a folder of the checked path swapped for a link -------------------------

std::string swapName;
void SwapInTheDecoy(const char*) {
  ASSERT_TRUE(MoveFileA(("E:\\swap-" + swapName).c_str(), ("E:\\moved-" + swapName).c_str()));
  ASSERT_TRUE(MoveFileA(("E:\\decoy-" + swapName).c_str(), ("E:\\swap-" + swapName).c_str()));
  ASSERT_EQ(GetFileAttributesA(("E:\\swap-" + swapName + "\\dir").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT,
            DWORD{FILE_ATTRIBUTE_REPARSE_POINT});
}

int movesAsked = 0;
BOOL WINAPI RecordMove(const char*, const char*, DWORD) {
  ++movesAsked;
  return TRUE;
}

class PathSwap : public RealCheckFixture {
 protected:
  // Plants a worm at E:\swap-NAME\dir\worm.exe and `outsideContent` at the
  // same path below the decoy, which lies outside every drive.
  std::string Plant(const std::string& name, const std::string& outsideContent) {
    swapName = name;
    std::string path = "E:\\swap-" + name + "\\dir\\worm.exe";
    WriteFileBytes(path, InertSample(VariantTable[0]));
    WriteFileBytes("E:\\decoy-" + name + "\\dir\\worm.exe", outsideContent);
    movesAsked = 0;
    previousMove_ = UseMoveFileEx(RecordMove);
    return path;
  }
  void TearDown() override {
    UseBeforeRemovalHook(nullptr);
    UseMoveFileEx(previousMove_);
    RealCheckFixture::TearDown();
  }
  std::string OutsideFile() const { return "E:\\swap-" + swapName + "\\dir\\worm.exe"; }

 private:
  MoveFileExFunction previousMove_ = nullptr;
};

// Another program holds the file, so the check judges it read-only and the
// removal must go by the path, which by then runs through a link.
TEST_F(PathSwap, ARemovalByThePathNeverFollowsALinkSwappedIn) {
  const std::string path = Plant("path", InertSample(VariantTable[0]));
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  UseBeforeRemovalHook(SwapInTheDecoy);

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 1);

  CloseHandle(holder);
  EXPECT_EQ(logLines, std::vector<std::string>{path + "     W32/Morvo.Lax.Worm Unable to remove"});
  EXPECT_TRUE(FileExists(OutsideFile()));
  EXPECT_TRUE(FileExists("E:\\moved-path\\dir\\worm.exe"));
  FileIdentity judged;
  {
    FileReader moved("E:\\moved-path\\dir\\worm.exe");
    ASSERT_TRUE(moved.Identify(judged));
  }
  const char* reason = nullptr;
  EXPECT_EQ(ScheduleDeleteAtRestart(path.c_str(), INVALID_HANDLE_VALUE, judged, &reason), 0);
  EXPECT_STREQ(reason, "not scheduled for deletion at restart: its path runs through a link");
  EXPECT_EQ(movesAsked, 0);
  EXPECT_EQ(scanState.restartNeeded, 0);
}

// The removal by the path (another program holds the file, sharing no
// deletion) is refused, the holder is ended, and in that moment the folder
// becomes a link (the seam that ends the holder swaps it in). The retry
// re-opens the path, finds another file there and leaves it; so does the
// scheduling, which is not aimed through a link either.
int SwapInsteadOfKilling(const char* path) {
  SwapInTheDecoy(path);
  return 1;
}

TEST_F(PathSwap, TheRetryAfterTheHolderEndedNeverFollowsALinkSwappedIn) {
  const std::string path = Plant("retry", "a user's document");
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  HolderKiller previous = UseHolderKiller(SwapInsteadOfKilling);

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 1);

  UseHolderKiller(previous);
  CloseHandle(holder);
  EXPECT_EQ(logLines, (std::vector<std::string>{
                          path + "     W32/Morvo.Lax.Worm Unable to remove",
                          path + "     W32/Morvo.Lax.Worm not scheduled for deletion at restart: its path runs "
                                 "through a link"}));
  EXPECT_EQ(ReadFileBytes(OutsideFile()), "a user's document");
  EXPECT_TRUE(FileExists("E:\\moved-retry\\dir\\worm.exe"));
  EXPECT_EQ(movesAsked, 0);
  EXPECT_EQ(scanState.filesLeft, 1);
  EXPECT_EQ(scanState.filesRemoved, 0);
}

// Mapped (as a loaded DLL is), the sample can be neither deleted nor freed,
// but it is moved through its handle into E:\Scourix.Removed, and that is the
// path the real delayed-move list gets. Its folder then becomes a link to a
// folder holding a user's file of the same name: the list never names it.
// links.sh then restarts the prefix (wineboot -r) and checks that the user's
// file is still there and the moved sample gone.
int NoHolderFound(const char*) { return 0; }

TEST_F(PathSwap, AFileMovedForTheRestartIsNotReachedThroughTheFolderItLeft) {
  const std::string path = Plant("restart", "a user's document");
  UseMoveFileEx(nullptr);  // the real delayed move
  HolderKiller previous = UseHolderKiller(NoHolderFound);
  auto holder = std::make_unique<MappedFile>(path);
  ASSERT_TRUE(holder->Held());

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 1);
  SwapInTheDecoy(path.c_str());

  UseHolderKiller(previous);
  EXPECT_EQ(logLines, std::vector<std::string>{path + "     W32/Morvo.Lax.Worm Unable to remove"});
  EXPECT_EQ(scanState.restartNeeded, 1);
  EXPECT_EQ(scanState.filesScheduled, 1);
  EXPECT_FALSE(FileExists("E:\\moved-restart\\dir\\worm.exe")) << "moved away through its handle";
  std::vector<std::string> pending = PendingRenameSources();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].substr(0, 23), "\\??\\E:\\Scourix.Removed\\") << pending[0];
  EXPECT_EQ(ReadFileBytes(pending[0].substr(4)), InertSample(VariantTable[0]));
  EXPECT_EQ(ReadFileBytes(OutsideFile()), "a user's document");
}

// The judged file is deleted through the handle it was judged by, wherever
// its folder went. (Under Wine that deletion does not take place after the
// folder was renamed: Wine deletes by the name the file was opened under,
// and finds the link there. Real Windows deletes the file of the handle.)
TEST_F(PathSwap, ARemovalThroughTheJudgedHandleNeverReachesTheLinksTarget) {
  const std::string path = Plant("handle", InertSample(VariantTable[0]));
  UseBeforeRemovalHook(SwapInTheDecoy);

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 1);

  EXPECT_EQ(logLines, std::vector<std::string>{path + "     W32/Morvo.Lax.Worm removed"});
  EXPECT_TRUE(FileExists(OutsideFile()));
  EXPECT_EQ(movesAsked, 0);
}

// The memory removal waits a second before it acts: time enough to swap.
// It judges what it opens, a user's file by then, and leaves it.
TEST_F(PathSwap, TheMemoryRemovalJudgesTheFileItOpensAfterItsWait) {
  const std::string path = Plant("memory", "a user's document");
  SwapInTheDecoy(path.c_str());
  scanState.pendingMemoryAction = kActionRemove;

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 0);

  EXPECT_EQ(logLines, (std::vector<std::string>{"System Memory    W32/Morvo.Worm  removed",
                                                 path + "     W32/Morvo.Worm  Unable to remove"}));
  EXPECT_TRUE(FileExists(OutsideFile()));
  EXPECT_EQ(movesAsked, 0);
}

}  // namespace

// A log named through a folder that is a link is refused, whatever lies
// behind it; the same name one folder up, a plain folder, is taken.
TEST(LinkedLogFolder, ALogThroughAFolderThatIsALinkIsRefusedAndItsNeighbourTaken) {
  ASSERT_NE(GetFileAttributesA("E:\\decoy-log\\dir") & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  std::string error;
  RunLog linked;
  EXPECT_FALSE(linked.Open("E:\\decoy-log\\dir\\run.log", error));
  EXPECT_TRUE(Contains(error, "its folder E:\\decoy-log\\dir is a link")) << error;

  RunLog plain;
  error.clear();
  EXPECT_TRUE(plain.Open("E:\\decoy-log\\run.log", error)) << error;
}
