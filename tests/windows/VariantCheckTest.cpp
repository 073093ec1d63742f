// The variant check on forged samples written to a real Wine file system.
#include <algorithm>
#include <cstring>

#include "engine/CandidateOpen.h"
#include "engine/CheckerList.h"
#include "engine/RegistryCleaning.h"
#include "engine/ScanRun.h"
#include "engine/VariantCheck.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

class VariantCheckTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    UseCheckerList(CheckerList);
    scanState.memoryPhase = 0;
    scanState.infectedAction = kActionRemove;
  }
};

TEST_F(VariantCheckTest, EveryRecordsSampleIsNamedByItsOwnRecord) {
  ScratchFolder root("check-every-record");
  scanState.infectedAction = kActionReportOnly;
  for (int index = 0; index < kVariantCount; ++index) {
    const VariantRecord& record = VariantTable[index];
    std::string path = root.AddFile("sample" + std::to_string(index + 1) + ".exe",
                                    InertSample(record));
    logLines.clear();

    EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 1) << "record " << index + 1;

    EXPECT_STREQ(scanState.detectionName, record.name) << "record " << index + 1;
    EXPECT_EQ(scanState.statusText, path);
    EXPECT_EQ(logLines, std::vector<std::string>{path + "     " + record.name +
                                                 " not disinfected as per user's selection"});
    EXPECT_TRUE(FileExists(path));
    EXPECT_STREQ(currentFilePath, "");
  }
  EXPECT_EQ(scanState.filesInfected, kVariantCount);
  EXPECT_EQ(scanState.filesRemoved, 0);
}

TEST_F(VariantCheckTest, NearMissesAreClean) {
  ScratchFolder root("check-near-misses");
  const forge::NearMiss kinds[] = {forge::NearMiss::FirstPatternByte, forge::NearMiss::SecondPatternByte,
                                   forge::NearMiss::SizePlusOne, forge::NearMiss::SizeMinusOne,
                                   forge::NearMiss::TwentyOneSections};
  for (int index : {0, 2, 8, 9, 50, kVariantCount - 1}) {
    for (forge::NearMiss kind : kinds) {
      std::string path = root.AddFile("near.exe", NearMissSample(VariantTable[index], kind));
      EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 0)
          << "record " << index + 1 << " kind " << static_cast<int>(kind);
      EXPECT_TRUE(FileExists(path));
    }
  }
  EXPECT_EQ(scanState.filesInfected, 0);
  EXPECT_TRUE(logLines.empty());
}

TEST_F(VariantCheckTest, AMatchIsRemovedWithItsRecordName) {
  ScratchFolder root("check-remove");
  std::string path = root.AddFile("mal.exe", InertSample(VariantTable[9]),
                                  FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 1);

  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(logLines, std::vector<std::string>{path + "     W32/Morvo.Mae.Worm removed"});
  EXPECT_EQ(scanState.filesInfected, 1);
  EXPECT_EQ(scanState.filesRemoved, 1);
}

TEST_F(VariantCheckTest, TheMemoryPhaseOnlyMarksTheMatch) {
  ScratchFolder root("check-memory");
  std::string path = root.AddFile("worm.exe", InertSample(VariantTable[0]));
  scanState.memoryPhase = 1;

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 1);

  EXPECT_EQ(scanState.foundInMemory, 1);
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(logLines.empty());
  EXPECT_EQ(scanState.filesInfected, 1);
  EXPECT_STREQ(scanState.detectionName, "W32/Morvo.Lax.Worm");
}

TEST_F(VariantCheckTest, AHeldFileIsReportedAsNotExaminedOnceAndNonPeFilesAreCleanWithoutALine) {
  ScratchFolder root("check-unreadable");
  std::string locked = root.AddFile("locked.exe", InertSample(VariantTable[0]));
  HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  std::string text = root.AddFile("letter.txt", std::string(0x13000, 'a'));
  std::string empty = root.AddFile("empty.exe", "");

  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", locked.c_str()), 0);
  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", locked.c_str()), 0);
  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", text.c_str()), 0);
  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", empty.c_str()), 0);
  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", root.Join("missing.exe").c_str()), 0);
  CloseHandle(holder);

  EXPECT_EQ(logLines, std::vector<std::string>{locked + "     could not be examined"});
  EXPECT_EQ(scanState.filesNotExamined, 1);
  EXPECT_EQ(scanState.filesInfected, 0);
  EXPECT_STREQ(currentFilePath, "");
}

// Wine plays no opportunistic locks. In the system call's place stands an
// open that blocks as one held by an unacknowledged oplock break would: a
// synchronous read of a pipe that nobody writes, which only a cancel or the
// pipe's end ends.
class BlockedOpenTest : public VariantCheckTest {
 protected:
  static constexpr DWORD kBound = 1000;
  void SetUp() override {
    VariantCheckTest::SetUp();
    ASSERT_TRUE(CreatePipe(&pipeRead, &pipeWrite, nullptr, 0));
    opensStarted = opensEnded = 0;
    previousBound_ = UseExaminationBound(kBound);
    previousOpen_ = UseCandidateOpenFunction(BlockingOpen);
  }
  void TearDown() override {
    UseCandidateOpenFunction(previousOpen_);
    UseExaminationBound(previousBound_);
    UseSynchronousIoCancel(true);
    CloseHandle(pipeWrite);  // ends any open still blocked on a helper thread
    while (opensEnded != opensStarted) Sleep(10);
    CloseHandle(pipeRead);
    VariantCheckTest::TearDown();
  }
  static HANDLE BlockingOpen(const char*, DWORD, DWORD, DWORD) {
    InterlockedIncrement(&opensStarted);
    char byte;
    DWORD got;
    BOOL read = ReadFile(pipeRead, &byte, 1, &got, nullptr);
    DWORD error = read ? ERROR_SUCCESS : GetLastError();
    InterlockedIncrement(&opensEnded);
    SetLastError(error == ERROR_SUCCESS ? ERROR_ACCESS_DENIED : error);
    return INVALID_HANDLE_VALUE;
  }
  // A scan of a folder holding one blocked sample and one that is not:
  // returns how long it took.
  DWORD ScanWithOneBlockedFile(ScratchFolder& root, std::string& blocked) {
    blocked = root.AddFile("held.exe", InertSample(VariantTable[0]));
    strcpy(scanState.scanTarget, root.Path().c_str());
    scanState.skipMemoryPhase = 1;
    DWORD start = GetTickCount();
    RunScan();
    return GetTickCount() - start;
  }

  static HANDLE pipeRead, pipeWrite;
  static volatile LONG opensStarted, opensEnded;

 private:
  DWORD previousBound_ = 0;
  CandidateOpenFunction previousOpen_ = nullptr;
};
HANDLE BlockedOpenTest::pipeRead;
HANDLE BlockedOpenTest::pipeWrite;
volatile LONG BlockedOpenTest::opensStarted;
volatile LONG BlockedOpenTest::opensEnded;

TEST_F(BlockedOpenTest, TheWatchdogCancelsTheOpenAfterTheBoundAndTheScanEnds) {
  ScratchFolder root("check-blocked-cancel");
  std::string blocked;

  DWORD elapsed = ScanWithOneBlockedFile(root, blocked);

  EXPECT_GE(elapsed, kBound);
  EXPECT_LT(elapsed, kBound + 4000) << "the bound did not hold";
  EXPECT_EQ(opensEnded, opensStarted) << "an open was left blocked";
  EXPECT_NE(std::find(logLines.begin(), logLines.end(), blocked + "     could not be examined"), logLines.end());
  EXPECT_EQ(scanState.filesNotExamined, 1);
  EXPECT_EQ(scanState.filesScanned, 1);
  EXPECT_EQ(logLines.back(), "Total files removed\t\t:  0");
  EXPECT_TRUE(FileExists(blocked));
}

// Before Vista nothing cancels another thread's synchronous I/O: the open
// runs on a helper thread, and the scan gives it up after the bound.
TEST_F(BlockedOpenTest, WithoutCancelTheScanGivesTheOpenUpAfterTheBound) {
  UseSynchronousIoCancel(false);
  ScratchFolder root("check-blocked-helper");
  std::string blocked;

  DWORD elapsed = ScanWithOneBlockedFile(root, blocked);

  EXPECT_GE(elapsed, kBound);
  EXPECT_LT(elapsed, 2 * kBound + 4000) << "the bound did not hold";
  EXPECT_NE(std::find(logLines.begin(), logLines.end(), blocked + "     could not be examined"), logLines.end());
  EXPECT_EQ(scanState.filesNotExamined, 1);
  EXPECT_EQ(logLines.back(), "Total files removed\t\t:  0");
}

TEST_F(VariantCheckTest, TheWormValueNameIsClearedOnlyUntilTheFirstDetection) {
  ScratchFolder root("check-worm-value");
  std::string clean = root.AddFile("clean.exe", "MZ");
  strcpy(wormValueName, "stale");
  CheckVariantFile("W32/Morvo.Worm ", clean.c_str());
  EXPECT_STREQ(wormValueName, "");

  strcpy(wormValueName, "kept");
  scanState.filesInfected = 1;
  CheckVariantFile("W32/Morvo.Worm ", clean.c_str());
  EXPECT_STREQ(wormValueName, "kept");
}

TEST_F(VariantCheckTest, AScanOfSamplesAmongCleanFilesCountsThemAll) {
  ScratchFolder root("check-scan");
  for (int index = 0; index < kVariantCount; ++index) {
    std::string folder = index % 3 == 0 ? "" : (index % 3 == 1 ? "sub\\" : "sub\\deeper\\");
    root.AddFile(folder + "v" + std::to_string(index + 1) + ".exe",
                 InertSample(VariantTable[index]));
  }
  std::vector<std::string> clean = {
      root.AddFile("readme.txt", "hello"),
      root.AddFile("sub\\near.exe", NearMissSample(VariantTable[0], forge::NearMiss::SizePlusOne)),
      root.AddFile("sub\\deeper\\tool.exe", NearMissSample(VariantTable[5], forge::NearMiss::FirstPatternByte)),
  };
  strcpy(scanState.scanTarget, root.Path().c_str());

  RunScan();

  ASSERT_GE(logLines.size(), 6u);
  std::vector<std::string> statistics(logLines.end() - 6, logLines.end());
  EXPECT_EQ(statistics, (std::vector<std::string>{
                            " ", "Scanning statistics", "------------------------------",
                            "Total files scanned\t\t:  101", "Total files infected\t\t:  98",
                            "Total files removed\t\t:  98"}));
  EXPECT_EQ(std::count_if(logLines.begin(), logLines.end(),
                          [](const std::string& line) { return line.find(".Worm removed") != std::string::npos; }),
            98);
  for (const std::string& path : clean) EXPECT_TRUE(FileExists(path)) << path;
  EXPECT_FALSE(FileExists(root.Join("v1.exe")));
}

}  // namespace
