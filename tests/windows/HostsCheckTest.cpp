// The text signature on files of a real file system, and its actions.
#include <cstring>

#include "engine/TextSignatureCheck.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/ScratchFolder.h"
#include "tools/forge/InfectedHosts.h"

namespace {

class HostsCheckTest : public EngineFixture {};

TEST_F(HostsCheckTest, AnInfectedFileIsRemovedAndCounted) {
  ScratchFolder root("hosts-remove");
  std::string hosts = root.AddFile("hosts", forge::MakeInfectedHostsFile());
  scanState.infectedAction = kActionRemove;

  EXPECT_EQ(CheckTextSignatures("W32/Morvo.Worm ", hosts.c_str()), 1);

  EXPECT_FALSE(FileExists(hosts));
  EXPECT_EQ(logLines, std::vector<std::string>{hosts + "     W32/Nyxem.Worm removed"});
  EXPECT_EQ(scanState.filesInfected, 1);
  EXPECT_EQ(scanState.filesRemoved, 1);
  EXPECT_STREQ(scanState.detectionName, "W32/Nyxem.Worm");
}

TEST_F(HostsCheckTest, AFileThatCannotBeDeletedIsReportedRemoveFailed) {
  ScratchFolder root("hosts-locked");
  std::string hosts = root.AddFile("hosts", forge::MakeInfectedHostsFile(), FILE_ATTRIBUTE_READONLY);
  scanState.infectedAction = kActionRemove;

  EXPECT_EQ(CheckTextSignatures("W32/Morvo.Worm ", hosts.c_str()), 1);

  EXPECT_TRUE(FileExists(hosts));
  EXPECT_EQ(logLines, std::vector<std::string>{hosts + "     W32/Nyxem.Worm Remove failed"});
  EXPECT_EQ(scanState.restartNeeded, 0);
}

TEST_F(HostsCheckTest, ReportOnlyUsesItsOwnCapitals) {
  ScratchFolder root("hosts-report");
  std::string hosts = root.AddFile("hosts", forge::MakeInfectedHostsFile());
  scanState.infectedAction = kActionReportOnly;

  CheckTextSignatures("W32/Morvo.Worm ", hosts.c_str());

  EXPECT_TRUE(FileExists(hosts));
  EXPECT_EQ(logLines, std::vector<std::string>{hosts + "     W32/Nyxem.Worm Not Disinfected As Per User's Selection"});
}

TEST_F(HostsCheckTest, RenameAndOtherActions) {
  ScratchFolder root("hosts-rename");
  std::string hosts = root.AddFile("hosts.sam", forge::MakeInfectedHostsFile());
  scanState.infectedAction = kActionRename;
  CheckTextSignatures("W32/Morvo.Worm ", hosts.c_str());
  EXPECT_TRUE(FileExists(root.Join("hosts.Vam")));
  EXPECT_EQ(scanState.filesRenamed, 1);

  logLines.clear();
  scanState.infectedAction = 7;
  EXPECT_EQ(CheckTextSignatures("W32/Morvo.Worm ", root.Join("hosts.Vam").c_str()), 1);
  EXPECT_TRUE(logLines.empty());
}

TEST_F(HostsCheckTest, OrdinaryAndNearMissFilesAreClean) {
  ScratchFolder root("hosts-clean");
  std::string ordinary = root.AddFile("hosts", "127.0.0.1 localhost\r\n");
  std::string nearMiss = root.AddFile("near", forge::MakeNearMissHostsFile());
  scanState.infectedAction = kActionRemove;

  EXPECT_EQ(CheckTextSignatures("W32/Morvo.Worm ", ordinary.c_str()), 0);
  EXPECT_EQ(CheckTextSignatures("W32/Morvo.Worm ", nearMiss.c_str()), 0);
  EXPECT_EQ(CheckTextSignatures("W32/Morvo.Worm ", root.Join("missing").c_str()), 0);
  EXPECT_TRUE(FileExists(ordinary) && FileExists(nearMiss));
  EXPECT_EQ(scanState.filesInfected, 0);
}

}  // namespace
