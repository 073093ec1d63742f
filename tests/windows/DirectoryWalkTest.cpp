// The directory walk on real folders under Wine.
#include <algorithm>
#include <set>

#include "cleaning/MachineActions.h"
#include "engine/CheckerList.h"
#include "engine/DirectoryWalk.h"
#include "engine/ScanRun.h"
#include "engine/VariantRecord.h"
#include "state/ReportChannel.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/DialogAnswerer.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

class DirectoryWalkTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    scanState.memoryPhase = 0;  // as after the memory scan: the drive walk proper
  }
  bool WasShown(const std::string& path) const {
    return std::find(statuses.begin(), statuses.end(), path) != statuses.end();
  }
  size_t CheckedAt(const std::string& path) const {
    return std::find(checkedPaths.begin(), checkedPaths.end(), path) - checkedPaths.begin();
  }
};

TEST_F(DirectoryWalkTest, ShowsAFoldersEntriesAndChecksItsFilesBeforeWalkingSubfoldersDepthFirst) {
  ScratchFolder root("walk-order");
  root.AddFile("a.txt");
  root.AddFile("b.txt");
  root.AddFile("one\\c.txt");
  root.AddFile("one\\deep\\d.txt");
  root.AddFile("two\\e.txt");

  int result = WalkFolder((root.Path() + "\\*.*").c_str());

  ASSERT_EQ(checkedPaths.size(), 5u);
  EXPECT_EQ(result, 5);
  EXPECT_EQ(scanState.filesScanned, 5);
  std::set<std::string> firstTwo(checkedPaths.begin(), checkedPaths.begin() + 2);
  EXPECT_EQ(firstTwo, (std::set<std::string>{root.Join("a.txt"), root.Join("b.txt")}));
  // Each subtree is walked whole before the next sibling.
  size_t c = CheckedAt(root.Join("one\\c.txt"));
  size_t d = CheckedAt(root.Join("one\\deep\\d.txt"));
  size_t e = CheckedAt(root.Join("two\\e.txt"));
  EXPECT_EQ(d, c + 1);
  EXPECT_TRUE(e == 2 ? c == 3 : (c == 2 && e == 4)) << "c " << c << " d " << d << " e " << e;
  // Every entry of the root is shown before anything below it.
  auto shownAt = [&](const std::string& path) {
    return std::find(statuses.begin(), statuses.end(), path) - statuses.begin();
  };
  EXPECT_LT(shownAt(root.Join("one")), shownAt(root.Join("one\\c.txt")));
  EXPECT_LT(shownAt(root.Join("two")), shownAt(root.Join("one\\c.txt")));
  for (const std::string& family : checkedFamilies) EXPECT_EQ(family, "W32/Morvo.Worm ");
}

TEST_F(DirectoryWalkTest, ShowsDotEntriesButNeverWalksThem) {
  ScratchFolder root("walk-dots");
  root.AddFile("only.txt");

  WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_TRUE(WasShown(root.Join(".")));
  EXPECT_TRUE(WasShown(root.Join("..")));
  EXPECT_EQ(checkedPaths, std::vector<std::string>{root.Join("only.txt")});
  for (const std::string& status : statuses) {
    EXPECT_EQ(status.find("\\.\\"), std::string::npos) << status;
    EXPECT_EQ(status.find("\\..\\"), std::string::npos) << status;
  }
}

// Unicode names that the ANSI code page lacks: FindFirstFileA would give a
// best-fit form, full-width dots and backslashes as "." and "\", and
// "..\..\x.exe" joined onto the folder would name a file two folders up. The
// NT line walks by the names themselves: each is checked and walked as what
// it is, and shown with "?" for each character the code page lacks.
TEST_F(DirectoryWalkTest, NamesTheCodePageLacksAreShownWithQuestionMarksAndCheckedAsThemselves) {
  ASSERT_EQ(GetACP(), 1252u) << "the expected paths are written for code page 1252";
  ScratchFolder root("walk-best-fit");
  root.AddFile("x.exe");
  root.AddFile("a\\x.exe");
  std::string kept = root.AddFile("a\\b\\kept.txt");
  const std::wstring folder = Widened(root.Path()) + L"\\a\\b\\";
  const std::wstring dots = L"\xFF0E\xFF0E";
  const std::wstring backslash = L"\xFF3C";
  for (const std::wstring& name :
       std::vector<std::wstring>{dots + backslash + dots + backslash + L"x.exe", dots, L"q\xFF1F", L"s\xFF0A"}) {
    HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  ASSERT_TRUE(CreateDirectoryW((folder + dots + backslash + L"a").c_str(), nullptr));
  HANDLE inside = CreateFileW((folder + dots + backslash + L"a\\inside.txt").c_str(), GENERIC_WRITE, 0,
                              nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(inside, INVALID_HANDLE_VALUE);
  CloseHandle(inside);
  scanState.filesScanned = 0;

  WalkFolder((root.Path() + "\\a\\b\\*.*").c_str());

  EXPECT_TRUE(WasShown(root.Join("a\\b\\??????x.exe")));
  EXPECT_TRUE(WasShown(root.Join("a\\b\\???a")));
  EXPECT_EQ(std::set<std::string>(checkedPaths.begin(), checkedPaths.end()),
            (std::set<std::string>{kept, root.Join("a\\b\\??????x.exe"), root.Join("a\\b\\??"),
                                   root.Join("a\\b\\q?"), root.Join("a\\b\\s?"),
                                   root.Join("a\\b\\???a\\inside.txt")}));
  EXPECT_EQ(scanState.filesScanned, 6);
  for (const std::string& status : statuses) EXPECT_EQ(status.find("\\..\\"), std::string::npos) << status;
}

TEST_F(DirectoryWalkTest, HandsHiddenSystemAndReadOnlyFilesToTheCheck) {
  ScratchFolder root("walk-attributes");
  std::string hidden = root.AddFile("hidden.exe", "x", FILE_ATTRIBUTE_HIDDEN);
  std::string system = root.AddFile("system.exe", "x", FILE_ATTRIBUTE_SYSTEM);
  std::string readOnly = root.AddFile("readonly.exe", "x", FILE_ATTRIBUTE_READONLY);
  std::string all = root.AddFile("all.exe", "x",
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);

  WalkFolder((root.Path() + "\\*.*").c_str());

  std::set<std::string> checked(checkedPaths.begin(), checkedPaths.end());
  EXPECT_EQ(checked, (std::set<std::string>{hidden, system, readOnly, all}));
  EXPECT_EQ(scanState.filesScanned, 4);
}

TEST_F(DirectoryWalkTest, ReturnsTheRunningTotalOfTheWholeRun) {
  ScratchFolder root("walk-total");
  root.AddFile("a.txt");
  root.AddFile("sub\\b.txt");
  scanState.filesScanned = 40;

  EXPECT_EQ(WalkFolder((root.Path() + "\\*.*").c_str()), 42);
  EXPECT_EQ(WalkFolder((root.Path() + "\\sub\\*.*").c_str()), 43);
}

TEST_F(DirectoryWalkTest, StopsAskingTheCheckerListAtTheFirstNonZeroResult) {
  ScratchFolder root("walk-checkers");
  root.AddFile("a.txt");
  static std::vector<std::string> secondSaw;
  secondSaw.clear();
  static const CheckerEntry list[] = {
      {"first ", [](const char*, const char* path) { return std::string(path).find("stop") != std::string::npos ? 1 : 0; }},
      {"second ", [](const char*, const char* path) { secondSaw.push_back(path); return 0; }},
      {nullptr, nullptr}};
  root.AddFile("stop.txt");
  UseCheckerList(list);

  WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_EQ(secondSaw, std::vector<std::string>{root.Join("a.txt")});
}

TEST_F(DirectoryWalkTest, MemoryPhaseChecksTheOneNamedFileWithoutCountingIt) {
  ScratchFolder root("walk-memory");
  std::string program = root.AddFile("app.exe");
  root.AddFile("app.dll");
  root.AddFile("other.exe");
  scanState.memoryPhase = 1;
  scanState.filesScanned = 0;
  scanState.foundInMemory = 1;

  int result = WalkFolder(program.c_str());

  EXPECT_EQ(checkedPaths, std::vector<std::string>{program});
  EXPECT_EQ(scanState.filesScanned, 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(scanState.foundInMemory, 0);  // cleared by every walk call
  EXPECT_TRUE(WasShown(program));
}

TEST_F(DirectoryWalkTest, MemoryPhaseFileWithoutExtensionNextToAMatchingFolderGivesMinusOne) {
  ScratchFolder root("walk-noext");
  std::string program = root.AddFile("worm");
  root.AddFolder("wormdata");
  scanState.memoryPhase = 1;

  EXPECT_EQ(WalkFolder(program.c_str()), -1);
  EXPECT_EQ(checkedPaths, std::vector<std::string>{program});
}

TEST_F(DirectoryWalkTest, MemoryPhaseFileWithoutExtensionAloneIsExaminedNormally) {
  ScratchFolder root("walk-noext-alone");
  std::string program = root.AddFile("worm");
  scanState.memoryPhase = 1;
  scanState.filesScanned = 0;

  EXPECT_EQ(WalkFolder(program.c_str()), 0);
  EXPECT_EQ(checkedPaths, std::vector<std::string>{program});
}

TEST_F(DirectoryWalkTest, DriveRootWithProgramFilesSetsThePendingFlagAndThePattern) {
  ScratchFolder programFiles("Program Files", "E:\\");
  programFiles.AddFile("tool.exe");

  WalkFolder("E:\\*.*");

  EXPECT_EQ(scanState.programFilesPending, 1);
  EXPECT_STREQ(scanState.programFilesPattern, "E:\\Program Files\\*.*");
  EXPECT_EQ(scanState.programFilesVisited, 1);  // the walk entered it
  EXPECT_NE(std::find(checkedPaths.begin(), checkedPaths.end(), "E:\\Program Files\\tool.exe"),
            checkedPaths.end());
}

TEST_F(DirectoryWalkTest, DriveRootWithoutProgramFilesKeepsThePathWithoutPattern) {
  RemoveTree("F:\\Program Files");

  WalkFolder("F:\\*.*");

  EXPECT_EQ(scanState.programFilesPending, 0);
  EXPECT_STREQ(scanState.programFilesPattern, "F:\\Program Files");
  EXPECT_EQ(scanState.programFilesVisited, 0);
}

TEST_F(DirectoryWalkTest, PatternsOfSevenOrMoreCharactersNeverProbe) {
  ScratchFolder root("walk-noprobe");
  root.AddFile("a.txt");

  WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_STREQ(scanState.programFilesPattern, "");
  EXPECT_EQ(scanState.programFilesPending, 0);
}

TEST_F(DirectoryWalkTest, ProgramFilesBelowAnotherFolderCountsAsVisited) {
  ScratchFolder root("walk-backup");
  root.AddFile("Backup\\Program Files\\old.exe");

  WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_EQ(scanState.programFilesVisited, 1);
  EXPECT_EQ(scanState.programFilesPending, 0);
}

TEST_F(DirectoryWalkTest, ProgramFilesInOtherLetterCaseDoesNotCountAsVisited) {
  ScratchFolder root("walk-case");
  root.AddFile("PROGRAM FILES\\old.exe");

  WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_EQ(scanState.programFilesVisited, 0);
}

TEST_F(DirectoryWalkTest, ConfirmedEscapeStopsEveryLevelAtItsNextPumpAndClosesEverySearch) {
  ScratchFolder root("walk-stop");
  root.AddFile("a.txt");
  root.AddFile("one\\two\\three\\deep.txt");
  root.AddFile("one\\two\\three\\four\\deeper.txt");
  root.AddFile("z\\late.txt");
  // Answer once outside the measurement, so that the message box's own
  // first-use handles are not counted as the walk's.
  DialogAnswerer answerer("Scourix Ver 1.0", {IDNO, IDYES});
  PostEscapeKey(sink->Window());
  WalkFolder((root.Path() + "\\*.*").c_str());
  checkedPaths.clear();
  uintptr_t before = NextHandleValue();

  onCheck = [&](const std::string& path) {
    if (path.find("deep.txt") != std::string::npos) PostEscapeKey(sink->Window());
    return 0;
  };
  int result = WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_EQ(result, 0);
  EXPECT_EQ(scanState.stopRequested, 1);
  ASSERT_FALSE(checkedPaths.empty());
  EXPECT_NE(checkedPaths.back().find("deep.txt"), std::string::npos);
  EXPECT_EQ(std::count_if(checkedPaths.begin(), checkedPaths.end(),
                          [](const std::string& p) { return p.find("deeper.txt") != std::string::npos; }),
            0);
  EXPECT_EQ(NextHandleValue(), before) << "a search handle was left open";
  auto answered = answerer.Answered();
  ASSERT_EQ(answered.size(), 2u);
  EXPECT_EQ(answered[1].text, "Terminate the Scan now?");
  EXPECT_TRUE(answered[1].hasYesNo);
  // A stopped run's later walks end at their first pump.
  checkedPaths.clear();
  EXPECT_EQ(WalkFolder((root.Path() + "\\*.*").c_str()), 0);
  EXPECT_TRUE(checkedPaths.empty());
}

TEST_F(DirectoryWalkTest, EscapeAnsweredNoGoesOnAndNeverReachesTheWindow) {
  ScratchFolder root("walk-escape-no");
  root.AddFile("a.txt");
  root.AddFile("b.txt");
  DialogAnswerer answerer("Scourix Ver 1.0", {IDNO});
  PostEscapeKey(sink->Window());

  int result = WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_EQ(result, 2);
  EXPECT_EQ(scanState.stopRequested, 0);
  EXPECT_EQ(answerer.Answered().size(), 1u);
  const auto& others = sink->OtherMessages();
  EXPECT_EQ(std::count(others.begin(), others.end(), static_cast<UINT>(WM_KEYDOWN)), 0);
}

TEST_F(DirectoryWalkTest, QuitAndDestroyMessagesStopTheWalk) {
  for (UINT message : {static_cast<UINT>(WM_QUIT), static_cast<UINT>(WM_DESTROY)}) {
    ScratchFolder root("walk-quit");
    root.AddFile("a.txt");
    scanState.stopRequested = 0;
    checkedPaths.clear();
    PostMessageA(sink->Window(), message, 0, 0);

    EXPECT_EQ(WalkFolder((root.Path() + "\\*.*").c_str()), 0) << message;
    EXPECT_TRUE(checkedPaths.empty()) << message;
    EXPECT_TRUE(IsWindow(sink->Window()));  // consumed, never dispatched
  }
}

TEST_F(DirectoryWalkTest, WalksPathsPastMaxPathLikeAnyOther) {
  ScratchFolder root("walk-long");
  // Folder path of exactly 220 characters, then names that bring the full
  // path to 259, 260 and 300.
  std::string folder = root.Path() + "\\" + std::string(220 - root.Path().size() - 1, 'f');
  ASSERT_EQ(folder.size(), 220u);
  std::string fits = folder + "\\" + std::string(259 - 221, 'a');
  std::string tooLong = folder + "\\" + std::string(260 - 221, 'b');
  std::string farTooLong = folder + "\\" + std::string(300 - 221, 'c');
  WriteFileBytes(fits, "x");
  WriteFileBytes(tooLong, std::string(VariantTable[0].fileSize, 'x'));
  WriteFileBytes(farTooLong, "x");
  // A subfolder whose own path fits but whose "\*.*" pattern would not.
  std::string deepFolder = folder + "\\" + std::string(257 - 221, 'd');
  WriteFileBytes(deepFolder + "\\below.txt", "x");
  root.AddFile("after.txt");

  int result = WalkFolder((root.Path() + "\\*.*").c_str());

  std::set<std::string> checked(checkedPaths.begin(), checkedPaths.end());
  EXPECT_EQ(checked, (std::set<std::string>{fits, tooLong, farTooLong, deepFolder + "\\below.txt",
                                            root.Join("after.txt")}));
  EXPECT_EQ(result, 5);
  for (const std::string& status : statuses) EXPECT_LE(status.size(), 60u);
  EXPECT_TRUE(logLines.empty());
  EXPECT_EQ(scanState.filesNotExamined, 0);
}

TEST_F(DirectoryWalkTest, AnOverlongPatternWalksNothing) {
  std::string pattern = "C:\\" + std::string(260, 'p') + "\\*.*";
  scanState.filesScanned = 7;

  EXPECT_EQ(WalkFolder(pattern.c_str()), 7);
  EXPECT_TRUE(checkedPaths.empty());
}

TEST_F(DirectoryWalkTest, ShowsLongPathsShortenedToSixtyCharacters) {
  ScratchFolder root("walk-status");
  std::string file = root.AddFile("a-name-long-enough-to-pass-sixty-characters-in-all.txt");
  ASSERT_GT(file.size(), 60u);

  WalkFolder((root.Path() + "\\*.*").c_str());

  std::string expected = file.substr(0, 29) + ".." + file.substr(file.size() - 29);
  EXPECT_TRUE(WasShown(expected));
}

}  // namespace

// The silent walk prepares folders ahead, on threads of its own: whatever it
// hands to the check, counts, logs and stops at must be what the walk folder
// by folder gives, at every point a stop can come.
namespace {

int betweenEntriesLeft = -1;  // entries until the stop request; -1: none
void StopAfterSomeEntries() {
  if (betweenEntriesLeft > 0 && --betweenEntriesLeft == 0) scanState.stopRequested = 1;
}

struct SilentWalk {
  std::vector<std::string> checked;
  int result;
  int32_t scanned;
  int32_t infected;
  int32_t notExamined;
  std::vector<std::string> log;
  bool operator==(const SilentWalk& other) const {
    return checked == other.checked && result == other.result && scanned == other.scanned &&
           infected == other.infected && notExamined == other.notExamined && log == other.log;
  }
};

std::vector<std::string>* silentLog = nullptr;
void RecordSilentLine(const char* line) { silentLog->push_back(line); }

}  // namespace

TEST_F(DirectoryWalkTest, TheSilentWalkOnSeveralThreadsChecksCountsAndStopsAsOnOne) {
  ScratchFolder root("walk-threads");
  // More folders than the walk opens ahead, some deep, some empty, files
  // between them; samples among files that their lengths rule out.
  int files = 0;
  for (int folder = 0; folder < 24; ++folder, ++files) {
    const std::string name = "f" + std::to_string(folder);
    for (int file = 0; file < folder % 5; ++file, ++files)
      root.AddFile(name + "\\x" + std::to_string(file) + ".dat", std::string(100 + 37 * file, 'c'));
    if (folder % 4 == 0) root.AddFile(name + "\\in\\deeper\\y.dat", std::string(5000, 'd')), ++files;
    if (folder % 7 == 3) root.AddFolder(name + "\\empty");
    root.AddFile("top" + std::to_string(folder) + ".txt", std::string(folder, 't'));
  }
  root.AddFile("f2\\sample.exe", InertSample(VariantTable[1]));
  root.AddFile("f17\\in\\sample.dll", InertSample(VariantTable[10]));
  root.AddFile("f8\\in\\deeper\\sample.scr", InertSample(VariantTable[50]));
  // Clean, but of a length that only their reading can rule out.
  root.AddFile("f5\\near.exe", NearMissSample(VariantTable[1], forge::NearMiss::FirstPatternByte));
  root.AddFile("f12\\in\\near.dll", NearMissSample(VariantTable[10], forge::NearMiss::SecondPatternByte));
  files += 5;

  // threads 0: the walk that prepares nothing ahead.
  auto walk = [&](int threads, int stopAfter, bool programsCheck) {
    scanState = ScanState{};
    scanState.memoryPhase = 0;
    scanState.infectedAction = kActionReportOnly;
    ChooseMachineActions(true);
    checkedPaths.clear();
    SilentWalk outcome{};
    silentLog = &outcome.log;
    const LogLineMirror mirror = UseLogLineMirror(RecordSilentLine);
    const BetweenEntriesFunction pacing = UseBetweenEntries(StopAfterSomeEntries);
    const CheckerEntry* checkers = programsCheck ? UseCheckerList(nullptr) : nullptr;
    const int previousThreads = UseWalkThreads(threads);
    const bool ahead = UseFoldersPreparedAhead(threads > 0);
    betweenEntriesLeft = stopAfter;
    outcome.result = WalkFolder((root.Path() + "\\*.*").c_str());
    UseFoldersPreparedAhead(ahead);
    UseWalkThreads(previousThreads);
    if (programsCheck) UseCheckerList(checkers);
    UseBetweenEntries(pacing);
    UseLogLineMirror(mirror);
    outcome.checked = checkedPaths;
    outcome.scanned = scanState.filesScanned;
    outcome.infected = scanState.filesInfected;
    outcome.notExamined = scanState.filesNotExamined;
    return outcome;
  };

  // The recording check sees every file; the program's own passes most over
  // by their lengths, on the threads, and finds the three samples.
  for (bool programsCheck : {false, true}) {
    const SilentWalk before = walk(0, -1, programsCheck);
    ASSERT_EQ(before.result, files) << programsCheck;
    ASSERT_EQ(before.checked.size(), programsCheck ? 0u : static_cast<size_t>(files));
    EXPECT_EQ(before.infected, programsCheck ? 3 : 0);
    EXPECT_EQ(before.log.empty(), !programsCheck);
    for (int threads : {1, 2, 4})
      EXPECT_EQ(walk(threads, -1, programsCheck), before) << threads << " threads, program's check " << programsCheck;
    for (int stopAfter : {1, 2, 7, 30, 55, 90, 140, 170, 260}) {
      const SilentWalk stopped = walk(0, stopAfter, programsCheck);
      EXPECT_EQ(stopped.result, 0) << stopAfter;
      for (int threads : {1, 4})
        EXPECT_EQ(walk(threads, stopAfter, programsCheck), stopped) << threads << " threads, stopped after " << stopAfter;
    }
  }
}
