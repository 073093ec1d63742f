// A whole scan run, over real folders and drives under Wine.
#include <algorithm>
#include <cstring>

#include "engine/ScanRun.h"
#include "tests/windows/support/DialogAnswerer.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

class ScanRunTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    ignoreMemoryPhase = true;
  }
  void Target(const std::string& target) { strcpy(scanState.scanTarget, target.c_str()); }
  size_t TimesChecked(const std::string& path) const {
    return std::count(checkedPaths.begin(), checkedPaths.end(), path);
  }
};

const std::vector<std::string> kCleanStatistics = {
    "Scanning statistics",
    "------------------------------",
    "Total files scanned\t\t:  3",
    "Total files infected\t\t:  0",
    "Total files removed\t\t:  0",
};

TEST_F(ScanRunTest, CleanFolderEndsWithTheStatisticsBlockAndCompleted) {
  ScratchFolder root("run-clean");
  root.AddFile("a.txt");
  root.AddFile("b.exe");
  root.AddFile("sub\\c.dll");
  Target(root.Path());

  EXPECT_EQ(RunScan(), 1);

  EXPECT_EQ(logLines, kCleanStatistics);
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.back(), "Scanning completed");
  EXPECT_EQ(scanState.scanFinished, 1);
  EXPECT_EQ(scanState.memoryPhase, 0);  // the memory phase ran and closed
}

TEST_F(ScanRunTest, StatisticsStartWithOneBlankLineWhenSomethingWasInfected) {
  ScratchFolder root("run-infected");
  root.AddFile("clean.txt");
  root.AddFile("infected.exe");
  Target(root.Path());
  onCheck = [](const std::string& path) {
    if (path.find("\\infected.exe") == std::string::npos) return 0;
    ++scanState.filesInfected;
    ++scanState.filesRemoved;
    return 1;
  };

  RunScan();

  EXPECT_EQ(logLines, (std::vector<std::string>{
                          " ",
                          "Scanning statistics",
                          "------------------------------",
                          "Total files scanned\t\t:  2",
                          "Total files infected\t\t:  1",
                          "Total files removed\t\t:  1",
                      }));
}

TEST_F(ScanRunTest, EmptyTargetGivesOnlyTheStatistics) {
  scanState.scanTarget[0] = '\0';

  RunScan();

  EXPECT_TRUE(checkedPaths.empty());
  EXPECT_EQ(scanState.memoryPhase, 1);  // no memory phase either
  ASSERT_EQ(logLines.size(), 5u);
  EXPECT_EQ(logLines[2], "Total files scanned\t\t:  0");
  EXPECT_EQ(statuses.back(), "Scanning completed");
}

TEST_F(ScanRunTest, EscapeAnsweredYesEndsWithTerminatedAndStillPrintsTheTotals) {
  ScratchFolder root("run-escape");
  for (int i = 0; i < 6; ++i) root.AddFile("f" + std::to_string(i) + ".txt");
  Target(root.Path());
  DialogAnswerer answerer("Scourix Ver 1.0", {IDYES});
  onCheck = [&](const std::string&) {
    if (checkedPaths.size() == 2) PostEscapeKey(sink->Window());
    return 0;
  };

  RunScan();

  EXPECT_EQ(checkedPaths.size(), 2u);
  EXPECT_EQ(statuses.back(), "Scanning terminated");
  ASSERT_EQ(logLines.size(), 5u);
  EXPECT_EQ(logLines[2], "Total files scanned\t\t:  2");
}

TEST_F(ScanRunTest, EscapeAnsweredNoLetsTheScanGoOn) {
  ScratchFolder root("run-escape-no");
  for (int i = 0; i < 4; ++i) root.AddFile("f" + std::to_string(i) + ".txt");
  Target(root.Path());
  DialogAnswerer answerer("Scourix Ver 1.0", {IDNO});
  onCheck = [&](const std::string&) {
    if (checkedPaths.size() == 1) PostEscapeKey(sink->Window());
    return 0;
  };

  RunScan();

  EXPECT_EQ(checkedPaths.size(), 4u);
  EXPECT_EQ(statuses.back(), "Scanning completed");
  EXPECT_EQ(answerer.Answered().size(), 1u);
  const auto& others = sink->OtherMessages();
  EXPECT_EQ(std::count(others.begin(), others.end(), static_cast<UINT>(WM_KEYDOWN)), 0);
}

TEST_F(ScanRunTest, OffersTheRestartWhenAFileAwaitsDeletionAtRestart) {
  ScratchFolder root("run-restart");
  Target(root.Path());
  scanState.restartNeeded = 1;
  DialogAnswerer answerer("Scourix Ver 1.0", {IDNO});

  EXPECT_EQ(RunScan(), 1);

  auto answered = answerer.Answered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].text,
            "The system has to be restarted to remove the virus completely from your system. "
            "\n\n Restart now?");
  EXPECT_TRUE(answered[0].hasYesNo);
}

TEST_F(ScanRunTest, OffersTheRestartAfterATerminatedScanToo) {
  ScratchFolder root("run-restart-stop");
  root.AddFile("a.txt");
  root.AddFile("b.txt");
  Target(root.Path());
  scanState.restartNeeded = 1;
  DialogAnswerer answerer("Scourix Ver 1.0", {IDYES, IDNO});
  PostEscapeKey(sink->Window());

  RunScan();

  EXPECT_EQ(statuses.back(), "Scanning terminated");
  auto answered = answerer.Answered();
  ASSERT_EQ(answered.size(), 2u);
  EXPECT_EQ(answered[0].text, "Terminate the Scan now?");
  EXPECT_NE(answered[1].text.find("Restart now?"), std::string::npos);
}

TEST_F(ScanRunTest, NoRestartOfferWithoutAPendingDeletion) {
  ScratchFolder root("run-no-restart");
  Target(root.Path());
  DialogAnswerer answerer("Scourix Ver 1.0", {IDYES});

  RunScan();

  EXPECT_TRUE(answerer.Answered().empty());
}

TEST_F(ScanRunTest, FollowsUpProgramFilesThatTheDriveWalkNeverEntered) {
  // The search returns the folder as "PROGRAM FILES": the walk enters it, but
  // under a name that does not count as Program Files, so the run walks it
  // again under its proper name.
  ScratchFolder programFiles("PROGRAM FILES", "G:\\");
  programFiles.AddFile("app.exe");
  Target("G:");

  RunScan();

  EXPECT_EQ(TimesChecked("G:\\PROGRAM FILES\\app.exe"), 1u);
  EXPECT_EQ(TimesChecked("G:\\Program Files\\app.exe"), 1u);
  EXPECT_EQ(scanState.programFilesPending, 0);
  EXPECT_EQ(logLines[2], "Total files scanned\t\t:  2");
}

TEST_F(ScanRunTest, NoFollowUpWhenTheDriveWalkEnteredProgramFiles) {
  ScratchFolder programFiles("Program Files", "H:\\");
  programFiles.AddFile("app.exe");
  Target("H:");

  RunScan();

  EXPECT_EQ(TimesChecked("H:\\Program Files\\app.exe"), 1u);
  EXPECT_EQ(scanState.programFilesVisited, 1);
}

TEST_F(ScanRunTest, AllFixedDrivesMeansCToZButNeverAOrBAndNeverTheLinuxRoot) {
  ScratchFolder onA("scan-all", "A:\\");
  std::string markerA = onA.AddFile("marker.txt");
  ScratchFolder onD("scan-all", "D:\\");
  std::string markerD = onD.AddFile("marker.txt");
  ASSERT_EQ(GetDriveTypeA("A:\\"), static_cast<UINT>(DRIVE_FIXED));
  ASSERT_EQ(GetDriveTypeA("Y:\\"), static_cast<UINT>(DRIVE_REMOTE));
  ASSERT_EQ(GetDriveTypeA("Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  Target("!:");

  RunScan();

  EXPECT_EQ(TimesChecked(markerD), 1u);
  EXPECT_EQ(TimesChecked(markerA), 0u);
  ASSERT_FALSE(checkedPaths.empty());
  EXPECT_TRUE(StartsWith(checkedPaths.front(), "C:\\"));
  char lastDrive = 'C';
  for (const std::string& path : checkedPaths) {
    char drive = static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
    EXPECT_TRUE(drive >= 'C' && drive <= 'H') << path;  // C: and the fixed test drives only
    EXPECT_GE(drive, lastDrive) << "drives are walked in letter order: " << path;
    lastDrive = drive;
  }
  EXPECT_EQ(statuses.back(), "Scanning completed");
}

TEST_F(ScanRunTest, ATargetTooLongForItsPatternWalksNothing) {
  Target("C:\\" + std::string(254, 't'));  // 257 characters: + "\*.*" would not fit

  RunScan();

  EXPECT_TRUE(checkedPaths.empty());
  EXPECT_EQ(logLines[2], "Total files scanned\t\t:  0");
}

}  // namespace
