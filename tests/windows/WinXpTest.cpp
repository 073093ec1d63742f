// Under the Windows XP personality (run in a prefix of that version).
#include <algorithm>
#include <cstring>
#include <set>

#include "cleaning/OsVersion.h"
#include "tests/windows/PersonalityTests.h"
#include "tests/windows/support/RegistryScratch.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

class WinXpTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    ASSERT_EQ(GetNtGeneration(), NTGEN_5) << "run this under the Windows XP personality";
    scanState.memoryPhase = 0;
  }
};

TEST_F(WinXpTest, ALockedSampleIsScheduledThroughTheDelayedMoveAndTheRestartOffered) {
  LockedSampleScan scan = ScanALockedSample(*this, "xp-locked");

  EXPECT_NE(std::find(logLines.begin(), logLines.end(),
                      scan.samplePath + "     W32/Morvo.Lax.Worm Unable to remove"),
            logLines.end());
  // Moved through its handle into the administrators' folder, and
  // scheduled there: no longer at the path a user could redirect.
  EXPECT_TRUE(PendingDeletionOf(scan.identity)) << ::testing::PrintToString(logLines);
  EXPECT_FALSE(FileExists(scan.samplePath));
  EXPECT_EQ(scan.restartNeeded, 1);
  ASSERT_FALSE(scan.prompts.empty());
  EXPECT_NE(scan.prompts.back().find("Restart now?"), std::string::npos);
}

TEST_F(WinXpTest, SamplesUnderNamesInAnyScriptAndPast259CharactersAreFoundAndRemoved) {
  ASSERT_EQ(GetACP(), 1252u) << "the expected lines are written for code page 1252";
  AnyNameScan scan = ScanSamplesUnderAnyName("xp-any-name");

  EXPECT_EQ(std::set<std::string>(logLines.begin(), logLines.end()),
            (std::set<std::string>{scan.root + "\\Zdj?cia\\lax.exe     W32/Morvo.Lax.Worm removed",
                                   scan.root + "\\??\\kzg.exe     W32/Morvo.Kzg.Worm removed",
                                   scan.longPath + "     W32/Morvo.Lda.Worm removed"}));
  EXPECT_FALSE(scan.polishPresent);
  EXPECT_FALSE(scan.chinesePresent);
  EXPECT_FALSE(scan.longPresent);
  EXPECT_EQ(scanState.filesRemoved, 3);
  EXPECT_EQ(scanState.filesNotExamined, 0);
}

}  // namespace
