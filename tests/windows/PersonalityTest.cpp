// Behaviour under other Windows personalities. These run only when the
// program is started again in a prefix switched to that version, with
// SCOURIX_PERSONALITY naming it (personalities.sh); elsewhere they skip.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "cleaning/MemoryScan.h"
#include "cleaning/OsVersion.h"
#include "cleaning/ProcessKill.h"
#include "cleaning/ProcessList.h"
#include "cleaning/Restart.h"
#include "engine/ScanRun.h"
#include "tests/windows/CleaningHelpers.h"
#include "tests/windows/MemoryScanScope.h"
#include "tests/windows/support/DialogAnswerer.h"
#include "tests/windows/support/ScratchFolder.h"
#include "tools/forge/Forge.h"

namespace {

const char kMemoryLine[] = "System Memory    W32/Morvo.Worm  removed";

template <const char* Version>
class Personality : public MemoryScanScope {
 protected:
  void SetUp() override {
    MemoryScanScope::SetUp();
    const char* personality = getenv("SCOURIX_PERSONALITY");
    if (!personality || strcmp(personality, Version) != 0)
      GTEST_SKIP() << "runs in a prefix posing as " << Version;
  }
  // A scan of one folder, as the window starts it.
  void ScanFolder(const std::string& folder) {
    strcpy(scanState.scanTarget, folder.c_str());
    RunScan();
  }
  static std::string Sample(ScratchFolder& folder, const std::string& name) {
    std::vector<uint8_t> bytes = forge::MakeInertSample(VariantTable[1]);
    return folder.AddFile(name, std::string(bytes.begin(), bytes.end()));
  }
};

char kWin98[] = "win98";
char kNt40[] = "nt40";
char kWin2k[] = "win2k";
char kWinXp[] = "winxp";
char kWin10[] = "win10";
using Windows98 = Personality<kWin98>;
using WindowsNT4 = Personality<kNt40>;
using Windows2000 = Personality<kWin2k>;
using WindowsXP = Personality<kWinXp>;
using Windows10 = Personality<kWin10>;

TEST_F(Windows98, IsFamilyFourGenerationZero) {
  EXPECT_EQ(GetOsFamily(), 4);
  EXPECT_EQ(GetNtGeneration(), 0);
}
TEST_F(WindowsNT4, IsFamilyFiveGenerationFive) {
  EXPECT_EQ(GetOsFamily(), 5);
  EXPECT_EQ(GetNtGeneration(), 5);
}
TEST_F(Windows2000, IsFamilyFiveGenerationSix) {
  EXPECT_EQ(GetOsFamily(), 5);
  EXPECT_EQ(GetNtGeneration(), 6);
}
TEST_F(WindowsXP, IsFamilyFiveGenerationSix) {
  EXPECT_EQ(GetOsFamily(), 5);
  EXPECT_EQ(GetNtGeneration(), 6);
}
TEST_F(Windows10, IsFamilyFiveGenerationZero) {
  EXPECT_EQ(GetOsFamily(), 5);
  EXPECT_EQ(GetNtGeneration(), 0);
}

// Restores the current folder on the way out.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    GetCurrentDirectoryA(sizeof previous_, previous_);
    SetCurrentDirectoryA(folder.c_str());
  }
  ~CurrentFolder() { SetCurrentDirectoryA(previous_); }

 private:
  char previous_[MAX_PATH] = {};
};

TEST_F(Windows98, MemoryScanEndsAStandInAndTheScanGoesOnWithoutAPrompt) {
  ScratchFolder root("p98-memory");
  std::string running = root.Join("mem\\morvo98.exe");
  root.AddFolder("mem");
  ASSERT_TRUE(WriteStandIn(running));
  std::string sample = Sample(root, "walk\\sample98.exe");
  // Wine's ToolHelp names the program only: the scanner finds it from its current folder.
  Scope(root.Path(), {"morvo98.exe"});
  CurrentFolder current(root.Join("mem"));
  StartedProgram program(running);
  ASSERT_TRUE(program.Started());
  DialogAnswerer prompt("Scourix Ver 1.0", {});

  ScanFolder(root.Join("walk"));

  EXPECT_TRUE(program.Ended(2000));
  EXPECT_FALSE(FileExists(running));
  EXPECT_FALSE(FileExists(sample)) << "the scan went on with the folder walk";
  ASSERT_GE(logLines.size(), 3u);
  EXPECT_EQ(logLines[0], kMemoryLine);
  EXPECT_EQ(Lower(logLines[1]), "morvo98.exe     w32/morvo.worm  removed");
  EXPECT_EQ(logLines[2], sample + "     " + VariantTable[1].name + " removed");
  EXPECT_EQ(statuses.back(), "Scanning completed");
  EXPECT_TRUE(prompt.Answered().empty());
}

TEST_F(Windows98, TheWalkEndsAStandInTheMemoryScanCouldNotSee) {
  ScratchFolder root("p98-walk");
  std::string running = root.Join("walk\\morvo98w.exe");
  root.AddFolder("walk");
  ASSERT_TRUE(WriteStandIn(running));
  Scope(root.Path(), {"morvo98w.exe"});
  CurrentFolder current("C:\\");  // the bare name from ToolHelp leads nowhere from here
  StartedProgram program(running);
  ASSERT_TRUE(program.Started());
  DialogAnswerer box(running, {IDOK});

  ScanFolder(root.Join("walk"));

  EXPECT_TRUE(program.Ended(2000));
  EXPECT_FALSE(FileExists(running));
  ASSERT_GE(logLines.size(), 1u);
  EXPECT_EQ(logLines[0], running + "     " + VariantTable[0].name + " removed");
  for (const std::string& line : logLines) {
    EXPECT_EQ(line.find("Unable to remove"), std::string::npos) << line;
    EXPECT_EQ(line.find("System Memory"), std::string::npos) << line;
  }
  EXPECT_TRUE(box.Answered().empty()) << "no \"Could not kill process\" box";
}

TEST_F(WindowsXP, MemoryScanEndsAStandInThroughPsapiAndTheScanGoesOn) {
  ScratchFolder root("pxp-memory");
  std::string running = root.Join("mem\\morvoxp.exe");
  root.AddFolder("mem");
  ASSERT_TRUE(WriteStandIn(running));
  std::string sample = Sample(root, "walk\\samplexp.exe");
  Scope(root.Path());
  StartedProgram program(running);
  ASSERT_TRUE(program.Started());
  DialogAnswerer prompt("Scourix Ver 1.0", {});

  ScanFolder(root.Join("walk"));

  EXPECT_TRUE(program.Ended(2000));
  EXPECT_FALSE(FileExists(running));
  EXPECT_FALSE(FileExists(sample));
  ASSERT_GE(logLines.size(), 3u);
  EXPECT_EQ(logLines[0], kMemoryLine);
  EXPECT_EQ(Lower(logLines[1]), Lower(running + "     W32/Morvo.Worm  removed"));
  EXPECT_EQ(logLines[2], sample + "     " + VariantTable[1].name + " removed");
  EXPECT_TRUE(prompt.Answered().empty());
}

TEST_F(WindowsXP, KillProcessByPathMatchesTheModulePathInAnyCase) {
  ScratchFolder folder("pxp-kill");
  std::string path = folder.Join("MorvoCase.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());
  DialogAnswerer box(path, {IDOK});

  std::string other = path;
  for (char& c : other) c = static_cast<char>(islower(static_cast<unsigned char>(c)) ? toupper(c) : tolower(c));
  EXPECT_EQ(KillProcessByPath(other.c_str()), 1);

  EXPECT_TRUE(program.Ended(2000));
  EXPECT_TRUE(box.Answered().empty());
  EXPECT_EQ(KillProcessByPath("C:\\nowhere\\nothing-matches.exe"), 1) << "nothing matched: still 1";
}

BOOL WINAPI RefuseToDie(HANDLE, UINT) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}
int exitStatus = -1;
void RecordExit(int status) { exitStatus = status; }
int restarts = 0;
BOOL WINAPI RecordRestart(UINT, DWORD) {
  ++restarts;
  return TRUE;
}

TEST_F(WindowsXP, AWormThatCannotBeEndedAsksForTheRestartAndEndsTheProgram) {
  ScratchFolder folder("pxp-prompt");
  std::string running = folder.Join("morvotough.exe");
  ASSERT_TRUE(WriteStandIn(running));
  Scope(folder.Path());
  StartedProgram program(running);
  ASSERT_TRUE(program.Started());
  TerminateProcessFunction previousTerminate = UseTerminateProcess(RefuseToDie);
  ProgramExitFunction previousExit = UseProgramExit(RecordExit);
  ExitWindowsFunction previousRestart = UseExitWindows(RecordRestart);

  for (int answer : {IDCANCEL, IDOK}) {
    exitStatus = -1;
    restarts = 0;
    memoryRestartPrompt = 0;
    DialogAnswerer prompt("Scourix Ver 1.0", {answer});

    ScanMemory();

    auto answered = prompt.Answered();
    ASSERT_EQ(answered.size(), 1u) << answer;
    EXPECT_EQ(answered[0].text,
              "W32/Morvo.Worm  found in memory! registry entries created by the worm are removed. "
              "You must restart the computer and run this program to continue scanning.\n\n"
              "Restart the computer now?");
    EXPECT_FALSE(answered[0].hasYesNo);
    EXPECT_EQ(exitStatus, 0) << "the program ends whatever the answer";
    EXPECT_EQ(restarts, answer == IDOK ? 1 : 0);
    EXPECT_EQ(memoryRestartPrompt, 1);
  }
  UseTerminateProcess(previousTerminate);
  UseProgramExit(previousExit);
  UseExitWindows(previousRestart);
  EXPECT_FALSE(program.Ended(100));
  EXPECT_TRUE(FileExists(running));
  EXPECT_TRUE(logLines.empty());
}

TEST_F(WindowsNT4, KillProcessByPathGoesThroughThePerformanceDataAndShowsTheBox) {
  ScratchFolder folder("pnt4-kill");
  std::string path = folder.Join("morvont4.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());
  DialogAnswerer box(path, {IDOK});

  EXPECT_EQ(KillProcessByPath(path.c_str()), 0);  // Wine's performance data has no process object

  auto answered = box.Answered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].text, "Could not kill process");
  EXPECT_FALSE(program.Ended(100));
}

// Started with psapi.dll disabled for the whole program.
class WindowsXPWithoutPsapi : public WindowsXP {};

TEST_F(WindowsXPWithoutPsapi, KillProcessByPathGivesZeroSilently) {
  ASSERT_EQ(GetModuleHandleA("psapi.dll"), nullptr);
  ASSERT_EQ(LoadLibraryA("psapi.dll"), nullptr) << "psapi.dll is not disabled";
  DialogAnswerer box("C:\\x\\worm.exe", {IDOK});
  NtListResult result;
  EXPECT_TRUE(ListProcessesNT(true, &result).IsEmpty());
  EXPECT_EQ(result, NtListResult::Unavailable);
  EXPECT_FALSE(KillByModulePath("C:\\x\\worm.exe"));
  EXPECT_EQ(KillProcessByPath("C:\\x\\worm.exe"), 0);
  EXPECT_TRUE(box.Answered().empty());
}

}  // namespace
