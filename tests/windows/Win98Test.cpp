// Under the Windows 98 personality (run in a prefix of that version).
#include <algorithm>
#include <fstream>
#include <sstream>

#include "cleaning/OsVersion.h"
#include "cleaning/RegistryCleaning.h"
#include "engine/VariantCheck.h"
#include "tests/windows/PersonalityTests.h"
#include "tests/windows/support/ScratchFolder.h"
#include "tools/forge/InfectedHosts.h"

namespace {

const char kWininit[] = "C:\\windows\\wininit.ini";

std::string ReadFileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class Win98Test : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    ASSERT_EQ(GetOsFamily(), OS_WIN9X) << "run this under the Windows 98 personality";
    scanState.memoryPhase = 0;
  }
};

TEST_F(Win98Test, TheVersionChecksSeeThe9xLine) {
  EXPECT_EQ(GetOsFamily(), 4);
  EXPECT_EQ(GetNtGeneration(), 0);
}

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

TEST_F(Win98Test, ADetectionChecksTheHostsFileInTheWindowsFolder) {
  const char hosts[] = "C:\\windows\\hosts";
  {
    std::string text = forge::MakeInfectedHostsFile();
    std::ofstream(hosts, std::ios::binary | std::ios::trunc) << text;
  }
  scanState.infectedAction = kActionRemove;

  CleanRegistryAndHosts("W32/Morvo.Lax.Worm");

  EXPECT_EQ(GetFileAttributesA(hosts), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(logLines, std::vector<std::string>{std::string(hosts) + "     W32/Nyxem.Worm removed"});
  EXPECT_EQ(scanState.filesInfected, 1);
}

}  // namespace
