// Under the Windows 98 personality (run in a prefix of that version).
#include <algorithm>

#include "cleaning/OsVersion.h"
#include "cleaning/RestartDeletion.h"
#include "engine/RegistryCleaning.h"
#include "engine/VariantCheck.h"
#include "tests/windows/PersonalityTests.h"
#include "tests/windows/support/ScratchFolder.h"
#include "tools/forge/InfectedHosts.h"

namespace {

const char kWininit[] = "C:\\windows\\wininit.ini";

class Win98Test : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    ASSERT_EQ(GetOsFamily(), OS_WIN9X) << "run this under the Windows 98 personality";
    scanState.memoryPhase = 0;
  }
};

TEST_F(Win98Test, ALockedSampleIsScheduledInWininitAndTheRestartOffered) {
  SetFileAttributesA(kWininit, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(kWininit);

  LockedSampleScan scan = ScanALockedSample(*this, "win98-locked");

  EXPECT_NE(std::find(logLines.begin(), logLines.end(),
                      scan.samplePath + "     W32/Morvo.Lax.Worm Unable to remove"),
            logLines.end());
  char shortPath[MAX_PATH] = {};
  GetShortPathNameA("C:\\scourix-tests", shortPath, sizeof shortPath);
  std::string wininit = ReadFileBytes(kWininit);
  EXPECT_EQ(wininit.rfind("[rename]\r\nNUL=", 0), 0u) << wininit;
  EXPECT_NE(wininit.find(std::string(shortPath) + "\\"), std::string::npos) << wininit;
  EXPECT_EQ(scan.restartNeeded, 1);
  ASSERT_FALSE(scan.prompts.empty());
  EXPECT_NE(scan.prompts.back().find("Restart now?"), std::string::npos);
  DeleteFileA(kWininit);
}

// The 9x line keeps to the ANSI functions: names its code page cannot hold
// are out of its reach, and a path past 259 characters is named as not
// examined, never counted clean.
TEST_F(Win98Test, NamesTheCodePageLacksAreOutOfReachAndAPathPast259IsNotExamined) {
  AnyNameScan scan = ScanSamplesUnderAnyName("win98-any-name");

  // Its folder's own pattern ("\\*.*") is already past 259 characters.
  const std::string longFolder = scan.longPath.substr(0, scan.longPath.rfind('\\'));
  EXPECT_EQ(logLines, std::vector<std::string>{longFolder + "     could not be examined"});
  EXPECT_TRUE(scan.polishPresent);
  EXPECT_TRUE(scan.chinesePresent);
  EXPECT_TRUE(scan.longPresent);
  EXPECT_EQ(scanState.filesNotExamined, 1);
}

BOOL WINAPI FailEveryWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

// Without MoveFileEx the old file steps aside as wininit.old while the new
// one takes its name, and goes once it has.
TEST_F(Win98Test, WininitIsReplacedByRenamesAndKeptWhenTheNewTextFails) {
  const char previous[] = "C:\\windows\\wininit.old";
  const std::string old = "[rename]\r\nNUL=C:\\USER.EXE\r\n";
  WriteFileBytes(kWininit, old);
  WriteFileBytes(previous, "left from before");
  SetFileAttributesA(previous, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);

  WriteFileFunction normal = UseWininitWrite(FailEveryWrite);
  EXPECT_FALSE(AddWininitRename("NUL", "C:\\NEW.EXE"));
  UseWininitWrite(normal);
  EXPECT_EQ(ReadFileBytes(kWininit), old);

  ASSERT_TRUE(AddWininitRename("NUL", "C:\\NEW.EXE"));
  EXPECT_EQ(ReadFileBytes(kWininit), "[rename]\nNUL=C:\\USER.EXE\nNUL=C:\\NEW.EXE\r\n");
  EXPECT_EQ(GetFileAttributesA(previous), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA("C:\\windows\\wininit.new"), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(kWininit);
}

TEST_F(Win98Test, ADetectionChecksTheHostsFileInTheWindowsFolder) {
  const char hosts[] = "C:\\windows\\hosts";
  WriteFileBytes(hosts, forge::MakeInfectedHostsFile());
  scanState.infectedAction = kActionRemove;

  CleanRegistryAndHosts("W32/Morvo.Lax.Worm");

  EXPECT_EQ(GetFileAttributesA(hosts), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(logLines, std::vector<std::string>{std::string(hosts) + "     W32/Nyxem.Worm removed"});
  EXPECT_EQ(scanState.filesInfected, 1);
}

}  // namespace
