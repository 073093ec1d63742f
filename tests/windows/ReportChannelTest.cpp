// The report channel into a real (hidden) window.
#include <cstring>

#include "state/ReportChannel.h"
#include "tests/windows/support/EngineFixture.h"

namespace {

using ReportChannelTest = EngineFixture;

TEST_F(ReportChannelTest, LogLineIsFormattedThenSentAndHandledBeforeTheCallReturns) {
  ReportLogLine("%s     %s removed", "C:\\x.exe", "W32/Morvo.Lax.Worm");

  ASSERT_EQ(logLines.size(), 1u);
  EXPECT_EQ(logLines[0], "C:\\x.exe     W32/Morvo.Lax.Worm removed");
  EXPECT_TRUE(statuses.empty());
}

TEST_F(ReportChannelTest, StatusIsCopiedThenSent) {
  ReportStatus("Scanning completed");

  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(statuses[0], "Scanning completed");
  EXPECT_STREQ(scanState.statusText, "Scanning completed");
  EXPECT_TRUE(logLines.empty());
}

TEST_F(ReportChannelTest, OverlongLogLineIsCutAt499CharactersWithoutTouchingItsNeighbours) {
  strcpy(scanState.statusText, "neighbour");
  std::string path(600, 'p');

  ReportLogLine("%s     %s removed", path.c_str(), "W32/Morvo.Lax.Worm");

  ASSERT_EQ(logLines.size(), 1u);
  EXPECT_EQ(logLines[0], std::string(499, 'p'));
  EXPECT_STREQ(scanState.statusText, "neighbour");
}

TEST_F(ReportChannelTest, OverlongStatusIsCutAt259CharactersWithoutTouchingItsNeighbours) {
  strcpy(scanState.detectionName, "neighbour");
  std::string text(300, 's');

  ReportStatus(text.c_str());

  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(statuses[0], std::string(259, 's'));
  EXPECT_STREQ(scanState.detectionName, "neighbour");
}

TEST_F(ReportChannelTest, ReportsWithoutAWindowAreLost) {
  scanState.reportWindow = nullptr;

  ReportLogLine("lost %d", 1);
  ReportStatus("lost");

  EXPECT_TRUE(logLines.empty());
  EXPECT_TRUE(statuses.empty());
}

TEST_F(ReportChannelTest, ControlCharactersInANameAreEscapedAndTheFormatsOwnTabsKept) {
  ReportLogLine("System Registry     %s removed", "HKLM\\Run\\x\r\nC:\\a.exe     W32/Morvo.Worm removed");
  ReportLogLine("Total files scanned\t\t:  %d", 3);

  ASSERT_EQ(logLines.size(), 2u);
  EXPECT_EQ(logLines[0], "System Registry     HKLM\\Run\\x\\x0D\\x0AC:\\a.exe     W32/Morvo.Worm removed removed");
  EXPECT_EQ(logLines[1], "Total files scanned\t\t:  3");
}

}  // namespace
