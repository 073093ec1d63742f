// Hostile shapes of the file system met by the walk and the real check: paths
// at and past 260 bytes, very deep trees, files and folders that vanish
// between the listing and the check.
#include <algorithm>
#include <cstring>
#include <set>

#include "engine/CheckerList.h"
#include "engine/DirectoryWalk.h"
#include "engine/VariantCheck.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

// The walk with the program's own checker list in front of the recorder's
// place: every file goes to CheckVariantFile, and the fixture still sees it.
class BadPathTest : public RealCheckFixture {
 protected:
  // A folder path of exactly `length` characters below the scratch folder.
  static std::string FolderOfLength(const ScratchFolder& root, size_t length) {
    return root.Path() + "\\" + std::string(length - root.Path().size() - 1, 'f');
  }
};

TEST_F(BadPathTest, SamplesAt259AreRemovedThoseAt260And300AreReportedNotExaminedAndNeverTouched) {
  ScratchFolder root("bad-long-paths");
  const std::string folder = FolderOfLength(root, 220);
  const std::string at259 = folder + "\\" + std::string(259 - 221 - 4, 'a') + ".exe";
  const std::string at260 = folder + "\\" + std::string(260 - 221 - 4, 'b') + ".exe";
  const std::string at300 = folder + "\\" + std::string(300 - 221 - 4, 'c') + ".exe";
  ASSERT_EQ(at259.size(), 259u);
  ASSERT_EQ(at260.size(), 260u);
  ASSERT_EQ(at300.size(), 300u);
  WriteFileBytes(at259, InertSample(VariantTable[0]));
  WriteFileBytes(at260, InertSample(VariantTable[1]));
  WriteFileBytes(at300, InertSample(VariantTable[2]));

  int result = WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_EQ(checkedPaths, std::vector<std::string>{at259});
  EXPECT_EQ(result, 1);
  EXPECT_EQ(logLines, (std::vector<std::string>{at259 + "     W32/Morvo.Lax.Worm removed",
                                                 at260 + "     could not be examined",
                                                 at300 + "     could not be examined"}));
  EXPECT_EQ(scanState.filesNotExamined, 2);
  EXPECT_FALSE(FileExists(at259));
  EXPECT_TRUE(FileExists(at260));
  EXPECT_TRUE(FileExists(at300));
  EXPECT_EQ(scanState.filesInfected, 1);
  EXPECT_STREQ(scanState.statusText, at259.c_str());  // the last detection's path, whole
  for (const std::string& status : statuses) EXPECT_LE(status.size(), 60u);
}

TEST_F(BadPathTest, TheCheckGivenAPathPastItsBufferCountsTheFileCleanAndOverrunsNothing) {
  ScratchFolder root("bad-long-check");
  const std::string folder = FolderOfLength(root, 220);
  for (size_t length : {260u, 261u, 300u, 470u}) {
    const std::string path = folder + "\\" + std::string(length - 221 - 4, 'x') + ".exe";
    WriteFileBytes(path, InertSample(VariantTable[3]));
    memset(currentFilePath, 0, sizeof currentFilePath);

    EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", path.c_str()), 0) << length;

    EXPECT_TRUE(FileExists(path)) << length;
    EXPECT_STREQ(currentFilePath, "") << length;
    RemoveTree(path);
  }
  EXPECT_TRUE(logLines.empty());
  EXPECT_EQ(scanState.filesInfected, 0);
}

TEST_F(BadPathTest, AMemoryPhasePathPastTheBufferIsNotExamined) {
  ScratchFolder root("bad-long-memory");
  const std::string path = FolderOfLength(root, 220) + "\\" + std::string(300 - 221 - 4, 'm') + ".exe";
  WriteFileBytes(path, InertSample(VariantTable[0]));
  scanState.memoryPhase = 1;
  scanState.filesScanned = 5;

  EXPECT_EQ(WalkFolder(path.c_str()), 5);

  EXPECT_TRUE(checkedPaths.empty());
  EXPECT_EQ(scanState.foundInMemory, 0);
}

TEST_F(BadPathTest, AHundredLevelTreeIsWalkedToItsBottom) {
  ScratchFolder root("deep");
  std::string bottom = root.Path();
  for (int level = 0; level < 100; ++level) bottom += "\\d";
  ASSERT_LT(bottom.size() + 6, 260u);
  const std::string sample = bottom + "\\w.exe";
  WriteFileBytes(sample, InertSample(VariantTable[4]));
  WriteFileBytes(root.Path() + "\\d\\d\\d\\clean.txt", "clean");

  int result = WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_EQ(result, 2);
  EXPECT_EQ(checkedPaths,
            (std::vector<std::string>{root.Path() + "\\d\\d\\d\\clean.txt", sample}));
  EXPECT_FALSE(FileExists(sample));
  EXPECT_EQ(logLines, std::vector<std::string>{sample + "     " + VariantTable[4].name + " removed"});
}

// Names of ten characters: the pattern outgrows 260 bytes near level 22, and
// the tree goes on to level 100 below that.
TEST_F(BadPathTest, AHundredLevelTreeDeeperThanAPathCanReachIsWalkedAsFarAsItFits) {
  ScratchFolder root("deeper");
  std::string folder = root.Path();
  std::string lastWalkable;  // the deepest file whose path fits
  std::vector<std::string> unreachable;
  for (int level = 1; level <= 100; ++level) {
    char name[16];
    snprintf(name, sizeof name, "\\level-%03d", level);
    folder += name;
    const std::string file = folder + "\\f.txt";
    if (level % 10 == 0 || file.size() < 260) WriteFileBytes(file, "x");
    // A folder is entered only when its own "\*.*" pattern fits.
    if (folder.size() + 4 < 260 && file.size() < 260) lastWalkable = file;
    else if (level % 10 == 0) unreachable.push_back(file);
  }

  int result = WalkFolder((root.Path() + "\\*.*").c_str());

  ASSERT_FALSE(checkedPaths.empty());
  EXPECT_EQ(checkedPaths.back(), lastWalkable);
  EXPECT_EQ(result, static_cast<int>(checkedPaths.size()));
  for (const std::string& path : checkedPaths) EXPECT_LT(path.size(), 260u);
  for (const std::string& path : unreachable) EXPECT_TRUE(FileExists(path)) << path;
  EXPECT_GE(unreachable.size(), 7u);
  // What lies below could not be looked at, and the log says where.
  ASSERT_EQ(logLines.size(), 1u);
  const std::string said = logLines[0];
  const std::string tail = "     could not be examined";
  ASSERT_GT(said.size(), tail.size());
  EXPECT_EQ(said.substr(said.size() - tail.size()), tail);
  EXPECT_EQ(said.find(lastWalkable.substr(0, lastWalkable.size() - 6)), 0u) << said;
  EXPECT_EQ(scanState.filesNotExamined, 1);
}

// A program that removes files while the scan runs: the first check deletes
// every other sample of the folder and the subfolder, which the listing may
// still deliver. The real check then finds nothing to open.
TEST_F(BadPathTest, FilesAndFoldersThatVanishAfterTheListingAreCleanWithoutALine) {
  ScratchFolder root("bad-vanish");
  std::vector<std::string> samples;
  for (int index = 0; index < 12; ++index)
    samples.push_back(root.AddFile("v" + std::to_string(index) + ".exe", InertSample(VariantTable[index])));
  const std::string subfolder = root.AddFolder("gone");
  root.AddFile("gone\\inner.exe", InertSample(VariantTable[20]));
  std::vector<std::string> vanished;
  int vanishedAt = -1;
  onCheck = [&](const std::string& path) {
    if (vanishedAt < 0) {
      vanishedAt = static_cast<int>(checkedPaths.size());
      for (const std::string& sample : samples)
        if (sample != path && DeleteFileA(sample.c_str())) vanished.push_back(sample);
      RemoveTree(subfolder);
      DeleteFileA(path.c_str());  // the file under check goes too, before the check opens it
    }
    return CheckVariantFile("W32/Morvo.Worm ", path.c_str());
  };

  int result = WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_EQ(vanished.size(), samples.size() - 1);
  EXPECT_EQ(result, static_cast<int>(checkedPaths.size()));
  EXPECT_TRUE(logLines.empty());
  EXPECT_EQ(scanState.filesInfected, 0);
  EXPECT_EQ(scanState.filesRemoved, 0);
  EXPECT_EQ(scanState.restartNeeded, 0);
  EXPECT_EQ(std::count(checkedPaths.begin(), checkedPaths.end(), subfolder + "\\inner.exe"), 0);
  EXPECT_STREQ(currentFilePath, "");
}

}  // namespace
