// The administrator's run as a whole, in this process: its lock, its log,
// and the exit codes that only a whole run reaches. The scan's check is the
// fixture's recorder, so that a test decides what each file "is"; the run's
// end (ExitProcess) and the restart are stood in for.
#include <gtest/gtest.h>
#include <windows.h>

#include <new>
#include <string>
#include <vector>

#include "app/AdministratorRun.h"
#include "app/AdministratorsOnly.h"
#include "app/InstanceLock.h"
#include "app/RunLog.h"
#include "base/Handles.h"
#include "cleaning/MachineActions.h"
#include "cleaning/RegistryValues.h"
#include "cleaning/Restart.h"
#include "tests/windows/support/EngineFixture.h"
#include "engine/CheckerList.h"
#include "tests/windows/support/RegistryScratch.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

struct RunEnded {
  int code;
};
void ThrowRunEnded(int code) { throw RunEnded{code}; }

BOOL WINAPI RefuseRestart(UINT, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}
BOOL WINAPI AcceptRestart(UINT, DWORD) { return TRUE; }

BOOL WINAPI RefuseWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  SetLastError(ERROR_LOCK_VIOLATION);
  return FALSE;
}

// Wine makes every object as the one account it has: another account's
// mutex is played by reporting a foreign owner at the call that reads it.
ObjectOwner SomeoneElseOwnsIt(HANDLE) { return ObjectOwner::SomeoneElse; }

std::string Text(const std::string& path) { return ReadFileBytes(path); }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class AdministratorRunTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    previousEnd_ = UseProcessEnd(ThrowRunEnded);
  }
  void TearDown() override {
    UseProcessEnd(previousEnd_);
    UseObjectOwner(nullptr);
    EngineFixture::TearDown();
  }
  // Logs go here, outside every scanned folder.
  ScratchFolder logs_{"adminrun-logs"};
  std::string LogPath(const std::string& name) { return logs_.Join(name); }
  // A silent run of one folder without the memory phase, logging to `log`.
  int RunSilent(const std::string& folder, const std::string& log, std::vector<std::string> more = {}) {
    std::vector<std::string> words = {"/silent", "/nomemory", "/path", folder};
    if (!log.empty()) words.insert(words.end(), {"/log", log});
    words.insert(words.end(), more.begin(), more.end());
    return RunFromCommandLine(words);
  }

 private:
  ProcessEndFunction previousEnd_ = nullptr;
};

TEST_F(AdministratorRunTest, ASecondLockOfAnAdministratorIsAnotherInstance) {
  InstanceLock first, second;
  ASSERT_TRUE(first.Acquire());
  EXPECT_EQ(first.Notice(), "");
  EXPECT_FALSE(second.Acquire()) << second.Notice();
}

TEST_F(AdministratorRunTest, ALockNameThatAnotherAccountTookIsIgnoredAndLogged) {
  InstanceLock squatter;
  ASSERT_TRUE(squatter.Acquire());
  UseObjectOwner(SomeoneElseOwnsIt);
  InstanceLock lock;
  EXPECT_TRUE(lock.Acquire());
  EXPECT_TRUE(Contains(lock.Notice(), "was made by an account that is not an administrator: it is ignored"))
      << lock.Notice();

  // The whole run goes on, and its log says why.
  ScratchFolder folder("adminrun-squat");
  folder.AddFile("a.exe");
  const std::string log = LogPath("run.log");
  EXPECT_EQ(RunSilent(folder.Path(), log), 0);
  EXPECT_TRUE(Contains(Text(log), "[Log]\r\nThe instance lock ")) << Text(log);
  EXPECT_EQ(checkedPaths, std::vector<std::string>{folder.Join("a.exe")});
}

TEST_F(AdministratorRunTest, ALogNamedThroughAHardLinkIsRefusedAndNothingIsScanned) {
  ScratchFolder folder("adminrun-link");
  folder.AddFile("a.exe");
  const std::string target = folder.AddFile("elsewhere.txt", "keep");
  const std::string log = LogPath("run.log");
  ASSERT_TRUE(CreateHardLinkA(log.c_str(), target.c_str(), nullptr)) << GetLastError();
  EXPECT_EQ(RunSilent(folder.Path(), log), kExitUsage);
  EXPECT_TRUE(checkedPaths.empty());
  EXPECT_EQ(Text(target), "keep");

  RunLog direct;
  std::string error;
  EXPECT_FALSE(direct.Open(log, error));
  EXPECT_TRUE(Contains(error, "more than one name")) << error;
}

// Wine keeps no access list on a file (it folds one into the Unix mode
// bits), so what is checked is the list that the log's creation hands it.
TEST_F(AdministratorRunTest, TheLogIsMadeForAdministratorsToWriteAndUsersToRead) {
  AdministratorsOnly security(FILE_GENERIC_READ);
  SECURITY_ATTRIBUTES* attributes = security.Attributes();
  ASSERT_NE(attributes, nullptr);
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &acl, &defaulted));
  ASSERT_TRUE(present && acl);
  std::vector<std::pair<DWORD, ACCESS_MASK>> entries;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, i, reinterpret_cast<void**>(&ace)));
    ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    PSID sid = &ace->SidStart;
    entries.emplace_back(*GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1), ace->Mask);
  }
  const std::vector<std::pair<DWORD, ACCESS_MASK>> expected = {
      {DOMAIN_ALIAS_RID_ADMINS, GENERIC_ALL}, {SECURITY_LOCAL_SYSTEM_RID, GENERIC_ALL},
      {DOMAIN_ALIAS_RID_USERS, FILE_GENERIC_READ}};
  EXPECT_EQ(entries, expected);
  PSID owner = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorOwner(attributes->lpSecurityDescriptor, &owner, &defaulted));
  ASSERT_NE(owner, nullptr);
  EXPECT_TRUE(EqualSid(owner, AdministratorsSid()));
  // The lock's list has no reader at all.
  AdministratorsOnly lockSecurity;
  ASSERT_TRUE(GetSecurityDescriptorDacl(lockSecurity.Attributes()->lpSecurityDescriptor, &present, &acl,
                                        &defaulted));
  EXPECT_EQ(acl->AceCount, 2);
}

TEST_F(AdministratorRunTest, ARefusedWriteFailsTheLogAndTheRunSaysSo) {
  ScratchFolder folder("adminrun-lock");
  folder.AddFile("a.exe");
  const std::string path = folder.Join("run.log");
  RunLog log;
  std::string error;
  ASSERT_TRUE(log.Open(path, error)) << error;
  log.WriteHeader();
  EXPECT_FALSE(log.Failed());
  // A reader's exclusive byte-range lock refuses the write on Windows; Wine
  // does not enforce it, so the refusal is played at the call.
  LogWriteFunction previous = UseLogWrite(RefuseWrite);
  log.WriteLine("a line");
  UseLogWrite(previous);
  EXPECT_TRUE(log.Failed());
  EXPECT_TRUE(TallyOfTheScan(log).logFailed);
  // Nothing more is written after the failure: the log has no holes.
  log.WriteLine("a later line");
  EXPECT_EQ(ReadFileBytes(path).find("a later line"), std::string::npos);
  EXPECT_EQ(DecideExitCode(TallyOfTheScan(log)), kExitUsage);
}

TEST_F(AdministratorRunTest, ADefaultLogHeldWithoutSharingStillLetsTheRunScan) {
  const std::string path = DefaultLogPath();
  FileHandle holder(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
  ASSERT_TRUE(holder.IsValid()) << GetLastError();
  ScratchFolder folder("adminrun-held");
  folder.AddFile("a.exe");
  // Nothing found, but no log: 5, not 0.
  EXPECT_EQ(RunSilent(folder.Path(), ""), kExitUsage);
  EXPECT_EQ(checkedPaths, std::vector<std::string>{folder.Join("a.exe")});
  onCheck = [](const std::string&) {
    ++scanState.filesInfected;
    ++scanState.filesLeft;
    return 1;
  };
  scanState = ScanState{};
  // A find keeps its own code.
  EXPECT_EQ(RunSilent(folder.Path(), ""), kExitSomethingLeft);
}

TEST_F(AdministratorRunTest, APathThatIsNotThereIsAUsageErrorThatNamesIt) {
  ScratchFolder folder("adminrun-missing");
  const std::string log = LogPath("run.log");
  const std::string missing = folder.Join("nonexistent");
  EXPECT_EQ(RunSilent(missing, log), kExitUsage);
  EXPECT_TRUE(Contains(Text(log), "scourix: /path " + missing + ": there is no such folder or file")) << Text(log);
  EXPECT_TRUE(Contains(Text(log), "Exit code: 5"));
  EXPECT_TRUE(checkedPaths.empty());
}

TEST_F(AdministratorRunTest, APathThatNamesAFileExaminesThatFileAlone) {
  ScratchFolder folder("adminrun-file");
  const std::string file = folder.AddFile("one.exe");
  folder.AddFile("two.exe");
  folder.AddFile("sub\\one.exe");
  const std::string log = LogPath("run.log");
  EXPECT_EQ(RunSilent(file, log), kExitNothingFound);
  EXPECT_EQ(checkedPaths, std::vector<std::string>{file});
  EXPECT_TRUE(Contains(Text(log), "Files scanned: 1\r\n")) << Text(log);
}

TEST_F(AdministratorRunTest, FilesThatCouldNotBeExaminedMakeTheScanIncomplete) {
  ScratchFolder folder("adminrun-incomplete");
  folder.AddFile("a.exe");
  const std::string log = LogPath("run.log");
  // What the check does with a file it could not open in time.
  onCheck = [](const std::string&) {
    ++scanState.filesNotExamined;
    return 0;
  };
  EXPECT_EQ(RunSilent(folder.Path(), log), kExitScanIncomplete);
  EXPECT_TRUE(Contains(Text(log), "Files not examined: 1\r\nRegistry values left in place: 0\r\n"
                                  "scan incomplete: 1 files could not be examined\r\n"
                                  "Outcome: scan incomplete: files could not be examined\r\nExit code: 7\r\n"))
      << Text(log);
}

TEST_F(AdministratorRunTest, ARestartThatWindowsRefusesGives3010AndALine) {
  ScratchFolder folder("adminrun-restart");
  folder.AddFile("a.exe");
  const std::string log = LogPath("run.log");
  onCheck = [](const std::string&) {
    ++scanState.filesInfected;
    ++scanState.filesScheduled;
    return 1;
  };
  ExitWindowsFunction previous = UseExitWindows(RefuseRestart);
  EXPECT_EQ(RunSilent(folder.Path(), log, {"/restart"}), kExitRestartNeeded);
  EXPECT_TRUE(Contains(Text(log), "\r\nThe computer could not be restarted: ")) << Text(log);
  EXPECT_TRUE(Contains(Text(log), "Exit code: 3010\r\n"));

  UseExitWindows(AcceptRestart);
  scanState = ScanState{};
  EXPECT_EQ(RunSilent(folder.Path(), log, {"/restart"}), kExitRestartStarted);
  UseExitWindows(previous);
}

TEST_F(AdministratorRunTest, AnExceptionEndsTheRunWithTheInternalErrorCodeAfterItsLog) {
  ScratchFolder folder("adminrun-internal");
  folder.AddFile("a.exe");
  const std::string log = LogPath("run.log");
  onCheck = [](const std::string&) -> int { throw std::bad_alloc(); };
  int code = -1;
  try {
    RunSilent(folder.Path(), log);
  } catch (const RunEnded& ended) {
    code = ended.code;
  }
  EXPECT_EQ(code, kExitInternalError);
  EXPECT_TRUE(Contains(Text(log), "\r\nInternal error: out of memory; the run ends here\r\n[Result]\r\n")) << Text(log);
  EXPECT_TRUE(Contains(Text(log), "Outcome: internal error\r\nExit code: 9\r\n"));
}

// A worm's start-up value in a key whose list refuses setting values (the
// worm's own deny entry): it stays, and counts like a file left in place.
TEST_F(AdministratorRunTest, AValueThatCannotBeDeletedIsLeftAndLogged) {
  const char keyPath[] = "Software\\ScourixTests\\DeniedRun";
  RegistryScratch scratch;
  scratch.OwnKey(keyPath);
  scratch.Set(keyPath, "Lax", "C:\\x.exe");
  {
    RegistryKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyPath, WRITE_DAC);
    ASSERT_TRUE(key.IsValid());
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    BYTE aclBuffer[256];
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION));
    ASSERT_TRUE(AddAccessDeniedAce(acl, ACL_REVISION, KEY_SET_VALUE, everyone));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS & ~KEY_SET_VALUE, everyone));
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
    ASSERT_EQ(RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
    FreeSid(everyone);
  }
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, keyPath, "Lax"), 0);
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, keyPath, "Lax"), 0);
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, keyPath, "Absent"), 0);
  EXPECT_TRUE(RegistryScratch::Exists(keyPath, "Lax"));
  EXPECT_EQ(scanState.registryValuesLeft, 1) << "once, however often it is tried";
  ASSERT_EQ(logLines.size(), 1u);
  EXPECT_EQ(logLines[0], std::string("System Registry     HKLM\\") + keyPath + "\\Lax Unable to remove");
  RunLog log;
  scanState.filesInfected = 1;
  EXPECT_EQ(DecideExitCode(TallyOfTheScan(log)), kExitSomethingLeft);
}

// Every change goes through the run's set of actions: a report-only run of
// every variant's sample and of a start-up value naming one reaches none of
// the real set's calls, which a removing run of the same reaches (and, all refused, leaves
// both in place).
int realActionsReached = 0;
BOOL WINAPI CountTermination(HANDLE, UINT) { return ++realActionsReached, FALSE; }
BOOL WINAPI CountServiceControl(SC_HANDLE, DWORD, SERVICE_STATUS*) { return ++realActionsReached, FALSE; }
LONG CountValueDeletion(HKEY, const char*, const char*, REGSAM) { return ++realActionsReached, ERROR_ACCESS_DENIED; }
LONG WINAPI CountKeyDeletion(HKEY, const char*) { return ++realActionsReached, ERROR_ACCESS_DENIED; }
BOOL WINAPI CountRestart(UINT, DWORD) { return ++realActionsReached, FALSE; }
bool CountInformation(HANDLE, int, ULONG, void*, DWORD, DWORD& error) {
  error = ERROR_ACCESS_DENIED;
  return ++realActionsReached, false;
}
BOOL WINAPI CountDeletion(const char*) { return ++realActionsReached, FALSE; }
BOOL WINAPI CountAttributes(const char*, DWORD) { return ++realActionsReached, FALSE; }
BOOL WINAPI CountMove(const char*, const char*) { return ++realActionsReached, FALSE; }
BOOL WINAPI CountMoveEx(const char*, const char*, DWORD) { return ++realActionsReached, FALSE; }
BOOL WINAPI CountFolder(const char*, SECURITY_ATTRIBUTES*) { return ++realActionsReached, FALSE; }
BOOL WINAPI CountCopy(const char*, const char*, BOOL) { return ++realActionsReached, FALSE; }
HANDLE WINAPI CountCreation(const char*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE) {
  return ++realActionsReached, INVALID_HANDLE_VALUE;
}

TEST_F(AdministratorRunTest, AReportOnlyRunReachesNoRealActionWhereARemovingRunDoes) {
  struct CountedActions {
    MachineActions saved = RealMachineActions();
    CountedActions() {
      RealMachineActions() = {CountTermination, CountServiceControl, CountValueDeletion, CountKeyDeletion,
                              CountRestart,     CountInformation,    CountDeletion,      CountAttributes,
                              CountMove,        CountMoveEx,         CountFolder,        CountCopy,
                              CountCreation};
      realActionsReached = 0;
    }
    ~CountedActions() { RealMachineActions() = saved; }
  } counted;
  UseCheckerList(CheckerList);
  ScratchFolder folder("adminrun-actions");
  const std::string sample = folder.AddFile("lax.exe", InertSample(VariantTable[0]));
  for (int i = 1; i < kVariantCount; ++i)  // every variant the forge makes
    folder.AddFile("variant" + std::to_string(i) + ".exe", InertSample(VariantTable[i]));
  const std::string runKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  RegistryScratch registry;
  registry.Set(runKey, "scourix-test-actions", sample);

  EXPECT_EQ(RunSilent(folder.Path(), "", {"/report"}), kExitFoundReportOnly);
  EXPECT_EQ(realActionsReached, 0);
  EXPECT_TRUE(FileExists(sample));
  EXPECT_TRUE(RegistryScratch::Exists(runKey, "scourix-test-actions"));

  ChooseMachineActions(false);
  RunSilent(folder.Path(), "");
  EXPECT_GT(realActionsReached, 1);
  EXPECT_TRUE(FileExists(sample));
  EXPECT_TRUE(RegistryScratch::Exists(runKey, "scourix-test-actions"));
}

}  // namespace
