// Behaviour under other Windows personalities. CTest runs each suite in the
// personality prefix switched to its version, with SCOURIX_PERSONALITY
// naming it (see wine-emulator.in); run anywhere else, a suite fails.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/AdministratorRun.h"
#include "cleaning/OsVersion.h"
#include "cleaning/ProcessKill.h"
#include "cleaning/ProcessList.h"
#include "cleaning/Restart.h"
#include "engine/MemoryScan.h"
#include "engine/ScanRun.h"
#include "tests/windows/CleaningHelpers.h"
#include "tests/windows/MemoryScanScope.h"
#include "tests/windows/support/DialogAnswerer.h"
#include "tests/windows/support/RegistryScratch.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

const char kMemoryLine[] = "System Memory    W32/Morvo.Worm  removed";

template <const char* Version>
class Personality : public MemoryScanScope {
 protected:
  void SetUp() override {
    MemoryScanScope::SetUp();
    const char* personality = getenv("SCOURIX_PERSONALITY");
    if (!personality || strcmp(personality, Version) != 0)
      FAIL() << "runs only in a prefix posing as " << Version;
  }
  template <typename Fixture>
  friend void ScanALockedSampleBesideACleanNamesake(Fixture&, const std::string&);
  // A scan of one folder, as the window starts it.
  void ScanFolder(const std::string& folder) {
    strcpy(scanState.scanTarget, folder.c_str());
    RunScan();
  }
  static std::string Sample(ScratchFolder& folder, const std::string& name) {
    return folder.AddFile(name, InertSample(VariantTable[1]));
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
// The log names the Windows that runs, not the 6.2 build 9200 that
// GetVersionExA gives a program whose manifest does not declare Windows 10.
TEST_F(Windows10, TheRunLogNamesWindows10) {
  ScratchFolder folder("p10-log-version");
  const std::string log = folder.Join("run.log");
  EXPECT_EQ(RunFromCommandLine({"/silent", "/nomemory", "/path", folder.Path(), "/log", log}), 0);
  const std::string text = ReadFileBytes(log);
  EXPECT_NE(text.find("\r\nWindows: Windows NT 10.0 build "), std::string::npos) << text;
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

const char kWininit[] = "C:\\windows\\wininit.ini";

// A sample that another process holds open, and a clean program of the
// same file name running from another folder. The termination may look at
// the namesake but must not end it: the sample is scheduled for the restart.
template <typename Fixture>
void ScanALockedSampleBesideACleanNamesake(Fixture& test, const std::string& folderName) {
  ScratchFolder root(folderName);
  std::string sample = test.Sample(root, "walk\\namesake.exe");
  root.AddFolder("clean");
  std::string namesake = root.Join("clean\\namesake.exe");
  ASSERT_TRUE(WriteCleanProgram(namesake));
  test.Scope(root.Path());
  StartedProgram clean(namesake);
  ASSERT_TRUE(clean.Started());
  // On the NT line mapped, as a loaded DLL is: neither deletion nor a kill
  // frees it, but it can be moved away. The 9x line has no moves; there it
  // is held open with read sharing only.
  // Wine keeps no owner or list of its own: a removal folder that an earlier
  // test process made in this prefix reads back as the prefix user's, and is
  // rightly refused. Each test starts without one, as a fresh machine does.
  RemoveTree("C:\\Scourix.Removed");
  std::unique_ptr<MappedFile> mapped;
  HANDLE holder = INVALID_HANDLE_VALUE;
  if (GetOsFamily() == OS_WINNT)
    mapped = std::make_unique<MappedFile>(sample);
  else
    holder = CreateFileA(sample.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_TRUE(mapped ? mapped->Held() : holder != INVALID_HANDLE_VALUE);
  const FileIdentity identity = IdentityOf(sample);
  SetFileAttributesA(kWininit, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(kWininit);
  std::vector<AnsweredDialog> boxes;
  {
    DialogAnswerer restart("Scourix Ver 1.0", {IDNO});
    DialogAnswerer box(sample, {IDOK});
    test.ScanFolder(root.Join("walk"));
    boxes = box.Answered();
  }
  mapped.reset();
  if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);

  EXPECT_FALSE(clean.Ended(200)) << "the clean namesake was ended";
  ASSERT_GE(test.logLines.size(), 2u);
  EXPECT_EQ(test.logLines[0], sample + "     " + VariantTable[1].name + " Unable to remove");
  EXPECT_EQ(test.logLines[1], " ") << "the statistics follow";
  EXPECT_EQ(scanState.restartNeeded, 1);
  if (GetOsFamily() == OS_WIN9X) {
    EXPECT_EQ(boxes.size(), 1u) << "no process of the file: \"Could not kill process\"";
    char shortPath[MAX_PATH] = {};
    GetShortPathNameA(sample.c_str(), shortPath, sizeof shortPath);
    std::string wininit = ReadFileBytes(kWininit);
    EXPECT_NE(wininit.find(std::string("NUL=") + shortPath), std::string::npos) << wininit;
    DeleteFileA(kWininit);
  } else {
    EXPECT_TRUE(boxes.empty());
    // Moved for the restart into the administrators' folder, through its handle.
    EXPECT_TRUE(PendingDeletionOf(identity));
    EXPECT_FALSE(FileExists(sample));
  }
}

TEST_F(Windows98, ALockedSampleIsScheduledAndACleanProgramOfItsNameKeepsRunning) {
  ScanALockedSampleBesideACleanNamesake(*this, "p98-namesake");
}

TEST_F(WindowsXP, ALockedSampleIsScheduledAndACleanProgramOfItsNameKeepsRunning) {
  ScanALockedSampleBesideACleanNamesake(*this, "pxp-namesake");
}

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

int exitStatus = -1;
void RecordExit(int status) { exitStatus = status; }
int restarts = 0;
FileIdentity survivor;  // the file that the restart must remove, wherever it went
bool survivorPendingAtRestart = false;
BOOL WINAPI RecordRestart(UINT, DWORD) {
  ++restarts;
  survivorPendingAtRestart = PendingDeletionOf(survivor);
  return TRUE;
}

TEST_F(WindowsXP, AWormThatCannotBeEndedAsksForTheRestartAndEndsTheProgram) {
  ScratchFolder folder("pxp-prompt");
  Scope(folder.Path());
  // Wine keeps no owner or list of its own: a removal folder that an earlier
  // test process made in this prefix reads back as the prefix user's, and is
  // rightly refused. Each test starts without one, as a fresh machine does.
  RemoveTree("C:\\Scourix.Removed");

  TerminateProcessFunction previousTerminate = UseTerminateProcess(RefuseToDie);
  ProgramExitFunction previousExit = UseProgramExit(RecordExit);
  ExitWindowsFunction previousRestart = UseExitWindows(RecordRestart);

  for (int answer : {IDCANCEL, IDOK}) {
    // A worm of its own for each run: the first run moves its file away.
    std::string running = folder.Join(answer == IDOK ? "morvotough.exe" : "morvostubborn.exe");
    ASSERT_TRUE(WriteStandIn(running));
    StartedProgram program(running);
    ASSERT_TRUE(program.Started());
    survivor = IdentityOf(running);
    survivorPendingAtRestart = false;
    exitStatus = -1;
    restarts = 0;
    memoryRestartPrompt = 0;
    logLines.clear();
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
    EXPECT_FALSE(program.Ended(100));
    // The survivor's file goes to the deletion at restart before the restart
    // is asked for: moved through its handle into the administrators' folder
    // (a running program's file can be moved), and scheduled there.
    ASSERT_EQ(logLines.size(), 1u) << ::testing::PrintToString(logLines);
    EXPECT_EQ(Lower(logLines[0]), Lower(running + "     W32/Morvo.Worm  Unable to remove"));
    EXPECT_FALSE(FileExists(running));
    if (answer == IDOK) EXPECT_TRUE(survivorPendingAtRestart);
    else EXPECT_TRUE(PendingDeletionOf(survivor));
  }
  UseTerminateProcess(previousTerminate);
  UseProgramExit(previousExit);
  UseExitWindows(previousRestart);
}

struct RunEnded {
  int code;
};
void ThrowRunEnded(int code) { throw RunEnded{code}; }

// The administrator's run that the same survivor ends before its walk: the
// log and the exit code say that the drives were not scanned.
TEST_F(WindowsXP, ASilentRunThatAWormInMemoryEndsSaysTheDrivesWereNotScanned) {
  ScratchFolder folder("pxp-silent-end");
  std::string running = folder.Join("morvotough.exe");
  ASSERT_TRUE(WriteStandIn(running));
  const std::string onDisk = Sample(folder, "lax.exe");
  const std::string log = folder.Join("run.log");
  Scope(folder.Path());
  StartedProgram program(running);
  ASSERT_TRUE(program.Started());
  TerminateProcessFunction previousTerminate = UseTerminateProcess(RefuseToDie);
  ProcessEndFunction previousEnd = UseProcessEnd(ThrowRunEnded);
  ExitWindowsFunction previousRestart = UseExitWindows(RecordRestart);
  int code = -1;
  try {
    RunFromCommandLine({"/silent", "/path", folder.Path(), "/log", log});
  } catch (const RunEnded& ended) {
    code = ended.code;
  }
  UseTerminateProcess(previousTerminate);
  UseProcessEnd(previousEnd);
  UseExitWindows(previousRestart);

  EXPECT_EQ(code, 8);
  const std::string text = ReadFileBytes(log);
  EXPECT_NE(text.find("\r\nThe drives were not scanned: restart the computer, then run Scourix again\r\n"),
            std::string::npos) << text;
  EXPECT_NE(text.find("\r\nFiles scanned: 0\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nExit code: 8\r\n"), std::string::npos) << text;
  EXPECT_TRUE(FileExists(onDisk)) << "the walk never came to it";
}

// The service fallback, with a worm that refuses to die: a service named
// like the worm's file but running another program is neither stopped nor
// are its keys deleted; the service whose binary is the worm's file loses
// its keys (it is not running, so it cannot be stopped).
TEST_F(WindowsXP, TheServiceFallbackActsOnlyOnTheServiceOfTheInfectedFile) {
  ScratchFolder folder("pxp-service");
  std::string lookAlikeWorm = folder.Join("morvosvcx.exe");
  std::string serviceWorm = folder.Join("morvosvcy.exe");
  ASSERT_TRUE(WriteStandIn(lookAlikeWorm));
  ASSERT_TRUE(WriteStandIn(serviceWorm));
  Scope(folder.Path());
  TestService lookAlike("morvosvcx");  // its binary: service-morvosvcx\morvosvcx.exe
  TestService wormService("morvosvcy", "-service", serviceWorm);
  ASSERT_TRUE(lookAlike.Ready() && wormService.Ready());
  ASSERT_TRUE(lookAlike.Start());
  ControlSetServiceKeys lookAlikeKeys("morvosvcx");
  ControlSetServiceKeys wormKeys("morvosvcy", serviceWorm);
  ASSERT_TRUE(lookAlikeKeys.Made() && wormKeys.Made());
  StartedProgram first(lookAlikeWorm), second(serviceWorm);
  ASSERT_TRUE(first.Started() && second.Started());
  TerminateProcessFunction previousTerminate = UseTerminateProcess(RefuseToDie);
  ProgramExitFunction previousExit = UseProgramExit(RecordExit);
  ExitWindowsFunction previousRestart = UseExitWindows(RecordRestart);
  exitStatus = -1;
  {
    DialogAnswerer prompt("Scourix Ver 1.0", {IDCANCEL});
    ScanMemory();
  }
  UseTerminateProcess(previousTerminate);
  UseProgramExit(previousExit);
  UseExitWindows(previousRestart);

  EXPECT_EQ(lookAlike.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_TRUE(lookAlike.Installed());
  EXPECT_EQ(lookAlikeKeys.Present(), 6);
  EXPECT_EQ(wormKeys.Present(), 0);
  EXPECT_EQ(memoryRestartPrompt, 1);
  EXPECT_EQ(exitStatus, 0);
}

// A service's program renamed while it runs, and a sample forged at its old
// name: the process's recorded path and the service's configured binary both
// name the sample now, but the process's image is another file. It is not
// ended, its service keeps running and no control set loses its keys.
TEST_F(WindowsXP, AServiceProgramRenamedWhileRunningIsNotTheSampleAtItsOldName) {
  ScratchFolder folder("pxp-renamed");
  std::string binary = folder.Join("morvosvcr.exe");
  ASSERT_TRUE(CopyFileA((ProgramFolder() + "scourix-test-service.exe").c_str(), binary.c_str(), FALSE));
  TestService service("morvosvcr", "", binary);
  ASSERT_TRUE(service.Ready());
  ASSERT_TRUE(service.Start());
  ControlSetServiceKeys keys("morvosvcr", binary);
  ASSERT_TRUE(keys.Made());
  ASSERT_TRUE(MoveFileA(binary.c_str(), folder.Join("renamed.exe").c_str()));
  WriteFileBytes(binary, InertSample(VariantTable[0]));
  Scope(folder.Path());
  ProgramExitFunction previousExit = UseProgramExit(RecordExit);
  ExitWindowsFunction previousRestart = UseExitWindows(RecordRestart);
  exitStatus = -1;

  ScanMemory();

  UseProgramExit(previousExit);
  UseExitWindows(previousRestart);
  EXPECT_EQ(scanState.filesInfected, 1) << "the sample at the old name was found";
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(keys.Present(), 6);
  EXPECT_EQ(exitStatus, -1);
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
