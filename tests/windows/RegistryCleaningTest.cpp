// The worm's start-up and uninstall entries, in the real Wine registry.
#include <cstring>

#include "cleaning/Privileges.h"
#include "cleaning/RegistryValues.h"
#include "cleaning/RegistryViews.h"
#include "engine/RegistryCleaning.h"
#include "engine/VariantCheck.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/RegistryScratch.h"

namespace {

const char kRemovedLine[] = "System Registry     W32/Morvo.Worm removed";

class RegistryCleaningTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    memset(wormValueName, 0, sizeof wormValueName);
  }
  void TearDown() override {
    currentFilePath[0] = '\0';
    EngineFixture::TearDown();
  }
  static void FileUnderCheck(const char* path) { strcpy(currentFilePath, path); }
  RegistryScratch registry;
};

TEST_F(RegistryCleaningTest, AValueStartingTheFileIsDeletedAndRemembered) {
  registry.Set(kRunKeyPath, "ScxTestWorm", "C:\\WINDOWS\\SYSTEM32\\worm.exe -x");
  registry.Set(kRunKeyPath, "ScxTestOther", "C:\\Program Files\\tool\\tool.exe");
  FileUnderCheck("c:\\windows\\system32\\worm.exe");

  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTestWorm"));
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestOther"));
  EXPECT_STREQ(wormValueName, "ScxTestWorm");
  EXPECT_EQ(logLines, std::vector<std::string>{kRemovedLine});
}

TEST_F(RegistryCleaningTest, AQuotedValueMatchesThroughItsExpansion) {
  registry.Set(kRunKeyPath, "ScxTestQuoted", "\"%SystemRoot%\\system32\\worm.exe\" /start");
  FileUnderCheck("C:\\windows\\system32\\worm.exe");

  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTestQuoted"));
  EXPECT_EQ(logLines.size(), 1u);
}

TEST_F(RegistryCleaningTest, ABareCommandIsTheWormsOnlyWhenTheFileIsInASystemFolder) {
  registry.Set(kRunKeyPath, "ScxTestBare", "worm.exe");
  FileUnderCheck("C:\\TEMP\\worm.exe");
  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestBare"));
  EXPECT_STREQ(wormValueName, "");

  FileUnderCheck("C:\\WINDOWS\\SYSTEM32\\worm.exe");
  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);
  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTestBare"));
  EXPECT_STREQ(wormValueName, "ScxTestBare");
  EXPECT_EQ(logLines, std::vector<std::string>{kRemovedLine});
}

std::string SystemFolder() {
  char folder[MAX_PATH] = {};
  GetSystemDirectoryA(folder, sizeof folder);
  return folder;
}

std::string WindowsFolder() {
  char folder[MAX_PATH] = {};
  GetWindowsDirectoryA(folder, sizeof folder);
  return folder;
}

TEST_F(RegistryCleaningTest, ABareValueMatchesOnlyTheWholeFileName) {
  registry.Set(kRunKeyPath, "ScxTestCtf", "ctfmon.exe");
  registry.Set(kRunKeyPath, "ScxTestCtfArgs", "ctfmon.exe /n mon.exe.log");
  registry.Set(kRunKeyPath, "ScxTestMon", "\"MON.EXE\" /start");
  FileUnderCheck((SystemFolder() + "\\mon.exe").c_str());

  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestCtf"));
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestCtfArgs"));
  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTestMon"));
  EXPECT_STREQ(wormValueName, "ScxTestMon");
  EXPECT_EQ(logLines, std::vector<std::string>{kRemovedLine});
}

TEST_F(RegistryCleaningTest, ABareValueNeedsTheFileDirectlyInASystemFolder) {
  registry.Set(kRunKeyPath, "ScxTestBare", "worm.exe");
  for (const char* elsewhere : {"C:\\Users\\x\\system32\\worm.exe", "D:\\system\\worm.exe"}) {
    FileUnderCheck(elsewhere);
    RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);
  }
  FileUnderCheck((SystemFolder() + "\\drivers\\worm.exe").c_str());
  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestBare"));
  EXPECT_STREQ(wormValueName, "");

  // The Windows folder's "system" is the other system folder.
  FileUnderCheck((WindowsFolder() + "\\SYSTEM\\worm.exe").c_str());
  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);
  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTestBare"));
  EXPECT_EQ(logLines, std::vector<std::string>{kRemovedLine});
}

// The program of a command is what Windows resolves: the quoted text, or
// each prefix ending at a blank with ".exe" when it has no extension.
TEST_F(RegistryCleaningTest, APathValueMatchesOnlyTheProgramWindowsWouldStart) {
  registry.Set(kRunKeyPath, "ScxTestApp2", "c:\\tools\\app2.exe");
  registry.Set(kRunKeyPath, "ScxTestAppDir", "c:\\tools\\app\\run.exe");
  registry.Set(kRunKeyPath, "ScxTestAppComma", "c:\\tools\\app.exe,Start");
  registry.Set(kRunKeyPath, "ScxTestAppArgs", "C:\\Tools\\App -x");
  registry.Set(kRunKeyPath, "ScxTestAppQuoted", "\"c:\\tools\\app.exe\",Start");
  registry.Set(kRunKeyPath, "ScxTestMyApp", "C:\\Tools\\My App\\agent.exe");
  FileUnderCheck("c:\\tools\\app.exe");

  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

  for (const char* kept : {"ScxTestApp2", "ScxTestAppDir", "ScxTestAppComma"})
    EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, kept)) << kept;
  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTestAppArgs"));
  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTestAppQuoted"));
  EXPECT_EQ(logLines.size(), 2u);

  // A forged extensionless C:\Tools\My: Windows tries C:\Tools\My.exe.
  FileUnderCheck("C:\\Tools\\My");
  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestMyApp"));
  EXPECT_EQ(logLines.size(), 2u);
}

TEST_F(RegistryCleaningTest, ConsecutiveMatchingValuesAreAllDeleted) {
  registry.Set(kRunKeyPath, "ScxTestA1", "c:\\x\\worm.exe");
  registry.Set(kRunKeyPath, "ScxTestA2", "\"C:\\X\\WORM.EXE\"");
  registry.Set(kRunKeyPath, "ScxTestA3", "c:\\x\\worm.exe -hidden");
  registry.Set(kRunKeyPath, "ScxTestB", "c:\\x\\other.exe");
  FileUnderCheck("C:\\x\\worm.exe");

  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

  for (const char* name : {"ScxTestA1", "ScxTestA2", "ScxTestA3"})
    EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, name)) << name;
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestB"));
  EXPECT_EQ(logLines.size(), 3u);
}

// The remembered name only nominates: a value of that name that starts
// another program stays.
TEST_F(RegistryCleaningTest, TheRememberedNameGoesFromAllThreeKeysOnlyWhereItStartsTheFile) {
  registry.OwnKey(kWormUninstallKeyPath);
  for (const char* key : {kRunKeyPath, kRunServicesKeyPath, kWormUninstallKeyPath})
    registry.Set(key, "ScxTestRemembered", "\"c:\\x\\worm.exe\" /s");
  strcpy(wormValueName, "ScxTestRemembered");
  FileUnderCheck("C:\\X\\worm.exe");

  EXPECT_EQ(CleanRegistryAndHosts("W32/Morvo.Kzg.Worm"), 1);

  for (const char* key : {kRunKeyPath, kRunServicesKeyPath, kWormUninstallKeyPath})
    EXPECT_FALSE(RegistryScratch::Exists(key, "ScxTestRemembered")) << key;
  EXPECT_EQ(logLines, std::vector<std::string>(3, "System Registry     W32/Morvo.Kzg.Worm removed"));

  logLines.clear();
  for (const char* key : {kRunKeyPath, kRunServicesKeyPath, kWormUninstallKeyPath})
    registry.Set(key, "ScxTestRemembered", "c:\\x\\tool.exe /s");
  EXPECT_EQ(CleanRegistryAndHosts("W32/Morvo.Kzg.Worm"), 1);
  for (const char* key : {kRunKeyPath, kRunServicesKeyPath, kWormUninstallKeyPath})
    EXPECT_TRUE(RegistryScratch::Exists(key, "ScxTestRemembered")) << key;
  EXPECT_TRUE(logLines.empty());
}

// A later detection of another file still removes the value remembered for
// the first one, when it starts that first file.
TEST_F(RegistryCleaningTest, TheRememberedNameIsJudgedAgainstTheFileItWasRememberedFor) {
  registry.Set(kRunKeyPath, "ScxTestFirst", "c:\\x\\first.exe");
  FileUnderCheck("c:\\x\\first.exe");
  CleanRegistryAndHosts("W32/Morvo.Lax.Worm");
  ASSERT_STREQ(wormValueName, "ScxTestFirst");
  registry.Set(kRunServicesKeyPath, "ScxTestFirst", "c:\\x\\first.exe -q");
  logLines.clear();

  FileUnderCheck("c:\\y\\second.exe");
  CleanRegistryAndHosts("W32/Morvo.Kzg.Worm");

  EXPECT_FALSE(RegistryScratch::Exists(kRunServicesKeyPath, "ScxTestFirst"));
  EXPECT_EQ(logLines, std::vector<std::string>{"System Registry     W32/Morvo.Kzg.Worm removed"});
}

TEST_F(RegistryCleaningTest, AValueTooLongForTheBufferIsRefusedNotCut) {
  // Cut at 263 characters this would read "c:\x\worm.exe" plus padding and
  // start the file; whole, it names another program.
  std::string longCommand = "c:\\x\\worm.exe" + std::string(300, 'a') + "\\other.exe";
  registry.Set(kRunKeyPath, "ScxTestLong", longCommand);
  FileUnderCheck("c:\\x\\worm.exe");

  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestLong"));
  char buffer[264];
  EXPECT_EQ(ReadRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, "ScxTestLong", buffer, sizeof buffer), 0);
}

TEST_F(RegistryCleaningTest, ANameTooLongToRememberIsStillDeletedButNotRemembered) {
  std::string name = "ScxTest" + std::string(150, 'n');
  registry.Set(kRunKeyPath, name, "c:\\x\\worm.exe");
  strcpy(wormValueName, "ScxTestEarlier");
  FileUnderCheck("c:\\x\\worm.exe");

  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, name));
  EXPECT_STREQ(wormValueName, "ScxTestEarlier");
}

TEST_F(RegistryCleaningTest, WithoutTheWindowNothingIsLoggedButTheValueGoes) {
  registry.Set(kRunServicesKeyPath, "ScxTestQuiet", "c:\\x\\worm.exe");
  scanState.reportWindow = nullptr;
  FileUnderCheck("c:\\x\\worm.exe");

  CleanRegistryAndHosts("W32/Morvo.Lax.Worm");

  EXPECT_FALSE(RegistryScratch::Exists(kRunServicesKeyPath, "ScxTestQuiet"));
  EXPECT_TRUE(logLines.empty());
}

TEST_F(RegistryCleaningTest, UninstallEntriesGoOnlyWithTheWormsUninstallKey) {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kWormUninstallKeyPath);
  registry.Set(kRunKeyPath, "SMrhcjg7j0e38v", "C:\\WINDOWS\\rhcjg7j0e38v.exe");
  EXPECT_EQ(RemoveUninstallEntries(), 0);
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "SMrhcjg7j0e38v"));

  registry.OwnKey(kWormUninstallKeyPath);
  registry.Set(kWormUninstallKeyPath, "UninstallString", "C:\\WINDOWS\\UNINSTALL.EXE");
  EXPECT_EQ(RemoveUninstallEntries(), 1);
  EXPECT_TRUE(RegistryScratch::Exists(kWormUninstallKeyPath, "UninstallString"));  // capitals: no match
  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "SMrhcjg7j0e38v"));

  registry.Set(kWormUninstallKeyPath, "UninstallString", "C:\\WINDOWS\\uninstall.exe /q");
  registry.Set(kRunKeyPath, "SMrhcjg7j0e38v", "C:\\WINDOWS\\RHCJG7J0E38V.EXE");
  EXPECT_EQ(RemoveUninstallEntries(), 1);
  EXPECT_FALSE(RegistryScratch::Exists(kWormUninstallKeyPath, "UninstallString"));
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "SMrhcjg7j0e38v"));
  EXPECT_TRUE(logLines.empty());
}

// On 64-bit Windows each build looks into both views, the 64-bit one first;
// on 32-bit Windows it passes no view flag, which the older systems reject.
TEST(RegistryViewsTest, TheCleaningExaminesEveryViewOfThisWindows) {
  REGSAM views[kMaxRegistryViews];
  const int count = MachineRegistryViews(views);
  EXPECT_EQ(std::vector<REGSAM>(views, views + count), RegistryViewsOfThisWindows());
}

// A 64-bit and a 32-bit program each wrote the value into its own view; the
// copy in each view goes, with a line each. A value of the other program
// beside it stays.
TEST_F(RegistryCleaningTest, AValueInEachViewIsRemovedFromEachWithALineEach) {
  const std::vector<REGSAM> views = RegistryViewsOfThisWindows();
  for (REGSAM view : views) registry.Set(kRunKeyPath, "ScxTestViews", "c:\\x\\worm.exe /s", view);
  registry.Set(kRunKeyPath, "ScxTestViewsKept", "c:\\x\\tool.exe", views.back());
  FileUnderCheck("c:\\x\\worm.exe");

  CleanRegistryAndHosts("W32/Morvo.Lax.Worm");

  for (REGSAM view : views) EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTestViews", view)) << view;
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestViewsKept", views.back()));
  EXPECT_EQ(logLines, std::vector<std::string>(views.size(), kRemovedLine));
}

TEST_F(RegistryCleaningTest, TheRememberedNameIsDeletedFromEveryViewOfTheThreeKeys) {
  const std::vector<REGSAM> views = RegistryViewsOfThisWindows();
  for (REGSAM view : views) {
    registry.OwnKey(kWormUninstallKeyPath, view);
    for (const char* key : {kRunKeyPath, kRunServicesKeyPath, kWormUninstallKeyPath})
      registry.Set(key, "ScxTestEveryView", "c:\\x\\worm.exe", view);
  }
  strcpy(wormValueName, "ScxTestEveryView");
  FileUnderCheck("c:\\x\\worm.exe");

  CleanRegistryAndHosts("W32/Morvo.Kzg.Worm");

  for (REGSAM view : views) {
    for (const char* key : {kRunKeyPath, kRunServicesKeyPath, kWormUninstallKeyPath})
      EXPECT_FALSE(RegistryScratch::Exists(key, "ScxTestEveryView", view)) << key << " " << view;
  }
  EXPECT_EQ(logLines,
            std::vector<std::string>(3 * views.size(), "System Registry     W32/Morvo.Kzg.Worm removed"));
}

// A 32-bit worm on 64-bit Windows leaves its uninstall entry and fixed Run
// value in the 32-bit view, where either build finds them.
TEST_F(RegistryCleaningTest, UninstallEntriesGoFromTheViewThatHoldsThem) {
  const REGSAM view = RegistryViewsOfThisWindows().back();
  registry.OwnKey(kWormUninstallKeyPath, view);
  registry.Set(kWormUninstallKeyPath, "UninstallString", "C:\\WINDOWS\\uninstall.exe /q", view);
  registry.Set(kRunKeyPath, "SMrhcjg7j0e38v", "C:\\WINDOWS\\rhcjg7j0e38v.exe", view);

  EXPECT_EQ(RemoveUninstallEntries(), 1);

  EXPECT_FALSE(RegistryScratch::Exists(kWormUninstallKeyPath, "UninstallString", view));
  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "SMrhcjg7j0e38v", view));
}

}  // namespace

// Every key and token that the cleaning opens is closed again, whichever way
// it leaves: values found and deleted in every view, values and keys that are
// missing. One pass first, so that the keys that the registry functions keep
// open for the process (the roots of each view) are there before counting.
TEST_F(RegistryCleaningTest, EveryKeyAndTokenOpenedIsClosedOnEveryPath) {
  const std::vector<REGSAM> views = RegistryViewsOfThisWindows();
  auto cleanOnce = [&] {
    for (REGSAM view : views) {
      registry.Set(kRunKeyPath, "ScxTestClosed", "c:\\x\\worm.exe", view);
      registry.Set(kRunServicesKeyPath, "ScxTestClosedToo", "anything", view);
    }
    strcpy(wormValueName, "ScxTestClosedToo");
    FileUnderCheck("c:\\x\\worm.exe");
    CleanRegistryAndHosts("W32/Morvo.Worm");
    RemoveUninstallEntries();
    char text[264];
    EXPECT_EQ(ReadRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, "ScxTestMissing", text, sizeof text), 0);
    EXPECT_EQ(ReadRegValue(HKEY_LOCAL_MACHINE, "Software\\ScourixTests\\Missing", "x", text, sizeof text), 0);
    EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, "ScxTestMissing"), 0);
    EXPECT_TRUE(EnablePrivilege("SeDebugPrivilege"));
  };
  cleanOnce();
  const uintptr_t before = NextHandleValue();

  cleanOnce();

  EXPECT_EQ(NextHandleValue(), before) << "a key or the token was left open";
  for (REGSAM view : views) EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTestClosed", view)) << view;
}
