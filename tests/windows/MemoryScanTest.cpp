// The memory scan over real processes of the shared prefix (Windows 7: the
// NT line without the service fallback). The check sees only this test's
// folder, so that no other program of the prefix is ever touched.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "base/PathText.h"
#include "cleaning/OsVersion.h"
#include "cleaning/ProcessImage.h"
#include "cleaning/ProcessList.h"
#include "engine/MemoryScan.h"
#include "engine/VariantCheck.h"
#include "tests/windows/CleaningHelpers.h"
#include "tests/windows/MemoryScanScope.h"
#include "tests/windows/support/DialogAnswerer.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

class MemoryScanTest : public MemoryScanScope {};

TEST_F(MemoryScanTest, EndsAnInfectedProcessAndRemovesItsFile) {
  if (GetOsFamily() != OS_WINNT) GTEST_SKIP() << "the shared test prefix is on the NT line";
  ScratchFolder folder("memory-nt");
  Scope(folder.Path());
  std::string path = folder.Join("morvo-mem.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());
  DialogAnswerer prompt("Scourix Ver 1.0", {});

  ScanMemory();

  EXPECT_TRUE(program.Ended(2000));
  EXPECT_FALSE(FileExists(path));
  ASSERT_EQ(logLines.size(), 2u);
  EXPECT_EQ(logLines[0], "System Memory    W32/Morvo.Worm  removed");
  EXPECT_EQ(Lower(logLines[1]), Lower(path + "     W32/Morvo.Worm  removed"));
  EXPECT_EQ(scanState.filesInfected, 1);
  EXPECT_EQ(scanState.filesRemoved, 1);
  EXPECT_EQ(scanState.memoryPhase, 0);
  EXPECT_EQ(scanState.pendingMemoryAction, 0);
  EXPECT_TRUE(prompt.Answered().empty());
}

TEST_F(MemoryScanTest, ReportOnlyActionLeavesTheProcessAndItsFile) {
  ScratchFolder folder("memory-report");
  Scope(folder.Path());
  std::string path = folder.Join("morvo-keep.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());
  scanState.infectedAction = kActionReportOnly;

  ScanMemory();

  EXPECT_FALSE(program.Ended(200));
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(logLines.empty());
  EXPECT_EQ(scanState.filesInfected, 1);  // found all the same
  EXPECT_EQ(scanState.memoryPhase, 0);
}

TEST_F(MemoryScanTest, AProcessThatRefusesToDieIsLeftForTheDriveWalk) {
  if (GetOsFamily() != OS_WINNT || GetNtGeneration() != NTGEN_OTHER)
    GTEST_SKIP() << "the shared test prefix poses as Windows 7";
  ScratchFolder folder("memory-refuse");
  Scope(folder.Path());
  std::string path = folder.Join("morvo-tough.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());
  TerminateProcessFunction previous = UseTerminateProcess(RefuseToDie);

  ScanMemory();

  UseTerminateProcess(previous);
  EXPECT_FALSE(program.Ended(200));
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(logLines.empty());
  EXPECT_EQ(memoryRestartPrompt, 0);  // no service fallback on this generation
  EXPECT_EQ(scanState.memoryPhase, 0);
}

// A process id that another program took between the listing and the
// termination, which Wine cannot arrange on demand: the reader of image
// paths answers the infected file for that id once (the listing), and the
// truth afterwards.
DWORD reusedId = 0;
std::string formerImage;
int reusedIdReads = 0;
ProcessImageReader systemReader = nullptr;

bool ReadReusedIdAsTheFormerImage(HANDLE process, DWORD processId, char* path, size_t length) {
  if (processId == reusedId && reusedIdReads++ == 0) return CopyText(path, length, formerImage.c_str());
  return systemReader(process, processId, path, length);
}

TEST_F(MemoryScanTest, AListedIdThatNowRunsAnotherImageIsNotTerminated) {
  ScratchFolder folder("memory-reuse");
  ScratchFolder elsewhere("memory-reuse-now");
  Scope(folder.Path());
  formerImage = folder.Join("morvo-former.exe");
  ASSERT_TRUE(WriteStandIn(formerImage));
  std::string now = elsewhere.Join("now-running.exe");
  ASSERT_TRUE(WriteCleanProgram(now));
  StartedProgram program(now);
  ASSERT_TRUE(program.Started());
  reusedId = program.Id();
  reusedIdReads = 0;
  systemReader = UseProcessImageReader(ReadReusedIdAsTheFormerImage);

  ScanMemory();

  UseProcessImageReader(systemReader);
  EXPECT_GE(reusedIdReads, 2) << "listed, then read again before any termination";
  EXPECT_FALSE(program.Ended(200));
  EXPECT_EQ(scanState.filesInfected, 1) << "the listed file was checked and found";
  EXPECT_TRUE(FileExists(formerImage)) << "nothing ended: the drive walk meets it";
  EXPECT_TRUE(logLines.empty());
}

TEST_F(MemoryScanTest, CleanProcessesAreOnlyLookedAt) {
  ScratchFolder folder("memory-clean");
  Scope(folder.Path());
  std::string path = folder.AddFile("clean.exe", "not a program");  // never runs; just scoped

  ScanMemory();

  EXPECT_TRUE(logLines.empty());
  EXPECT_EQ(scanState.filesInfected, 0);
  EXPECT_EQ(scanState.filesScanned, 0);
  EXPECT_GT(examined.size(), 0u) << "the running processes' files were handed to the check";
  EXPECT_EQ(scanState.memoryPhase, 0);
}

}  // namespace
