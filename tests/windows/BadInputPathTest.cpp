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

// The NT line walks and opens by "\\?\" paths: no length is too long.
TEST_F(BadPathTest, SamplesAt259_260And300AreFoundAndRemoved) {
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

  EXPECT_EQ(std::set<std::string>(checkedPaths.begin(), checkedPaths.end()),
            (std::set<std::string>{at259, at260, at300}));
  EXPECT_EQ(result, 3);
  EXPECT_EQ(std::set<std::string>(logLines.begin(), logLines.end()),
            (std::set<std::string>{at259 + "     W32/Morvo.Lax.Worm removed",
                                   at260 + "     W32/Morvo.Kzg.Worm removed",
                                   at300 + "     W32/Morvo.Lda.Worm removed"}));
  EXPECT_EQ(scanState.filesNotExamined, 0);
  EXPECT_FALSE(FileExists(at259));
  EXPECT_FALSE(FileExists(at260));
  EXPECT_FALSE(FileExists(at300));
  EXPECT_EQ(scanState.filesInfected, 3);
  EXPECT_EQ(scanState.filesRemoved, 3);
  for (const std::string& status : statuses) EXPECT_LE(status.size(), 60u);
}

// Names that the ANSI code page (1252 here) cannot hold: the log shows a "?"
// for each character it lacks, while the file is found, judged and removed
// by its own name. A same-looking folder in plain letters stays untouched.
TEST_F(BadPathTest, SamplesUnderNamesTheCodePageCannotHoldAreFoundAndRemoved) {
  ASSERT_EQ(GetACP(), 1252u) << "the expected lines are written for code page 1252";
  ScratchFolder root("bad-any-script");
  const std::wstring folder = Widened(root.Path());
  const std::wstring polish = folder + L"\\Zdj\x0119" L"cia\\w.exe";
  const std::wstring chinese = folder + L"\\\x6E2C\x8A66\\w.exe";
  WriteWideFileBytes(polish, InertSample(VariantTable[0]));
  WriteWideFileBytes(chinese, InertSample(VariantTable[1]));
  // Where the best fit of "Zdjęcia" would lead: a clean file of the same size.
  const std::string bestFit = root.AddFile("Zdjecia\\w.exe", std::string(VariantTable[0].fileSize, 'x'));

  int result = WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_EQ(result, 3);
  EXPECT_EQ(std::set<std::string>(logLines.begin(), logLines.end()),
            (std::set<std::string>{root.Join("Zdj?cia\\w.exe     W32/Morvo.Lax.Worm removed"),
                                   root.Join("??\\w.exe     W32/Morvo.Kzg.Worm removed")}));
  EXPECT_FALSE(WideFileExists(polish));
  EXPECT_FALSE(WideFileExists(chinese));
  EXPECT_TRUE(FileExists(bestFit));
  EXPECT_EQ(scanState.filesInfected, 2);
  EXPECT_EQ(scanState.filesRemoved, 2);
  EXPECT_EQ(scanState.filesNotExamined, 0);
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

// Names of ten characters: the path passes 260 bytes near level 22, and the
// tree goes on to level 100 below that, a sample at its bottom.
TEST_F(BadPathTest, AHundredLevelTreeDeeperThanAnAnsiPathCanReachIsWalkedToItsBottom) {
  ScratchFolder root("deeper");
  std::string folder = root.Path();
  std::vector<std::string> files;
  for (int level = 1; level <= 100; ++level) {
    char name[16];
    snprintf(name, sizeof name, "\\level-%03d", level);
    folder += name;
    if (level % 10 == 0) files.push_back(folder + "\\f.txt");
  }
  for (const std::string& file : files) WriteFileBytes(file, "x");
  const std::string sample = folder + "\\w.exe";
  ASSERT_GT(sample.size(), 1000u);
  WriteFileBytes(sample, InertSample(VariantTable[4]));

  int result = WalkFolder((root.Path() + "\\*.*").c_str());

  files.push_back(sample);
  EXPECT_EQ(std::set<std::string>(checkedPaths.begin(), checkedPaths.end()),
            std::set<std::string>(files.begin(), files.end()));
  EXPECT_EQ(result, 11);
  EXPECT_FALSE(FileExists(sample));
  // Cut at 499 characters, as every log line is.
  const std::string line = sample + "     " + VariantTable[4].name + " removed";
  EXPECT_EQ(logLines, std::vector<std::string>{line.substr(0, 499)});
  EXPECT_EQ(scanState.filesRemoved, 1);
  EXPECT_EQ(scanState.filesNotExamined, 0);
}

// Deeper than the walk goes (256 folders below where it starts): what lies
// below is named once as not examined, never counted clean.
TEST_F(BadPathTest, ATreeDeeperThanTheWalksBoundIsReportedNotExamined) {
  ScratchFolder root("deepest");
  std::string bound = root.Path();
  for (int level = 1; level <= 256; ++level) bound += "\\d";
  const std::string sample = bound + "\\d\\w.exe";
  WriteFileBytes(sample, InertSample(VariantTable[4]));

  WalkFolder((root.Path() + "\\*.*").c_str());

  EXPECT_TRUE(checkedPaths.empty());
  const std::string line = bound + "     could not be examined";
  EXPECT_EQ(logLines, std::vector<std::string>{line.substr(0, 499)});
  EXPECT_EQ(scanState.filesNotExamined, 1);
  EXPECT_TRUE(FileExists(sample));
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
