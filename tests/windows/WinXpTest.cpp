// Under the Windows XP personality (run in a prefix of that version).
#include <algorithm>
#include <cstring>

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

}  // namespace
