// The size prefilter: a scan with it must be indistinguishable from a scan
// without it, while files whose directory entry rules out every record are
// never opened.
#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include "base/PathText.h"
#include "engine/CheckerList.h"
#include "engine/DirectoryWalk.h"
#include "engine/ScanRun.h"
#include "engine/VariantCheck.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

// An inert sample of `record` made `delta` bytes longer or shorter: the
// forge lays the patterns out for the changed size, so only the size differs.
std::string SampleOfSize(const VariantRecord& record, int64_t delta) {
  VariantRecord resized = record;
  resized.fileSize = static_cast<uint32_t>(record.fileSize + delta);
  return InertSample(resized);
}

std::string PeHead(size_t length) {
  return InertSample(VariantTable[0]).substr(0, length);
}

VariantRecord WithRule(const VariantRecord& record, uint32_t rule) {
  VariantRecord changed = record;
  changed.sizeRule = rule;
  return changed;
}

// Everything a scan leaves for the user and on the disk.
struct ScanOutcome {
  std::vector<std::string> logLines;
  std::vector<std::string> statuses;
  int32_t scanned, infected, removed, renamed;
  std::vector<std::string> filesLeft;
};

std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      for (const std::string& below : FilesBelow(folder + "\\" + name)) files.push_back(below);
    } else {
      files.push_back(folder + "\\" + name + " " + std::to_string(found.nFileSizeLow));
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(files.begin(), files.end());
  return files;
}

class SizePrefilterTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    UseCheckerList(CheckerList);
  }
  void TearDown() override {
    UseSizePrefilter(true);
    UseFileSystemName(nullptr);
    UseVariantTable(nullptr);
    EngineFixture::TearDown();
  }

  // Plants a fresh tree, scans it with RunScan and the real check, removing
  // what it finds, and returns what the scan showed and left.
  ScanOutcome Scan(const std::function<void(ScratchFolder&)>& plant, bool prefilter) {
    ScratchFolder root("prefilter-tree");
    plant(root);
    scanState = ScanState{};
    scanState.reportWindow = sink->Window();
    scanState.infectedAction = kActionRemove;
    strcpy(scanState.scanTarget, root.Path().c_str());
    logLines.clear();
    statuses.clear();
    UseSizePrefilter(prefilter);
    RunScan();
    UseSizePrefilter(true);
    return {logLines, statuses, scanState.filesScanned, scanState.filesInfected,
            scanState.filesRemoved, scanState.filesRenamed, FilesBelow(root.Path())};
  }

  void ExpectSameWithAndWithout(const std::function<void(ScratchFolder&)>& plant, int infected,
                                int scanned) {
    ScanOutcome without = Scan(plant, false);
    ScanOutcome with = Scan(plant, true);
    EXPECT_EQ(with.logLines, without.logLines);
    EXPECT_EQ(with.statuses, without.statuses);
    EXPECT_EQ(with.filesLeft, without.filesLeft);
    EXPECT_EQ(with.scanned, without.scanned);
    EXPECT_EQ(with.infected, without.infected);
    EXPECT_EQ(with.removed, without.removed);
    EXPECT_EQ(with.renamed, without.renamed);
    // The tree really held what it was meant to: the comparison is not empty.
    EXPECT_EQ(with.infected, infected);
    EXPECT_EQ(with.removed, infected);
    EXPECT_EQ(with.scanned, scanned);
    int removedLines = static_cast<int>(std::count_if(with.logLines.begin(), with.logLines.end(),
        [](const std::string& line) { return line.size() > 8 && line.substr(line.size() - 8) == " removed"; }));
    EXPECT_GE(removedLines, infected);
    EXPECT_GT(with.statuses.size(), static_cast<size_t>(scanned));  // every entry was shown
  }
};

// Samples of several records, near misses of their exact sizes, clean PE and
// non-PE files, one of them exactly a record's size, in nested folders.
void PlantProgramTree(ScratchFolder& root) {
  root.AddFile("lax.exe", InertSample(VariantTable[0]));
  root.AddFile("readme.txt", "nothing to see");
  root.AddFile("one\\lda.exe", InertSample(VariantTable[2]));
  root.AddFile("one\\lda-too.exe", InertSample(VariantTable[8]));
  root.AddFile("one\\plus-one.exe", NearMissSample(VariantTable[2], forge::NearMiss::SizePlusOne));
  root.AddFile("one\\minus-one.exe", NearMissSample(VariantTable[9], forge::NearMiss::SizeMinusOne));
  root.AddFile("one\\pattern.exe", NearMissSample(VariantTable[0], forge::NearMiss::FirstPatternByte));
  root.AddFile("one\\two\\mae.exe", InertSample(VariantTable[9]));
  root.AddFile("one\\two\\sections.exe",
               NearMissSample(VariantTable[50], forge::NearMiss::TwentyOneSections));
  root.AddFile("one\\two\\right-size.dat", std::string(VariantTable[97].fileSize, 'x'));
  root.AddFile("three\\bebb.exe", InertSample(VariantTable[97]));
  root.AddFile("three\\head.dll", PeHead(2048));
  root.AddFile("three\\empty.txt", "");
  root.AddFile("three\\four\\notes.ini", std::string(5000, 'n'));
}

TEST_F(SizePrefilterTest, AScanOfTheProgramsTableShowsAndLeavesTheSameWithAndWithoutIt) {
  ExpectSameWithAndWithout(PlantProgramTree, 5, 14);
}

// Rule 2 at the edges of its 4096-byte window, a rule 1 record beside it.
const VariantRecord kNearTable[] = {WithRule(VariantTable[0], kSizeNear), VariantTable[9], {}};

void PlantNearEdges(ScratchFolder& root) {
  const VariantRecord& nearRecord = kNearTable[0];
  root.AddFile("plus-4095.exe", SampleOfSize(nearRecord, 4095));
  root.AddFile("minus-4095.exe", SampleOfSize(nearRecord, -4095));
  root.AddFile("plus-4096.exe", SampleOfSize(nearRecord, 4096));
  root.AddFile("minus-4096.exe", SampleOfSize(nearRecord, -4096));
  root.AddFile("exact.exe", SampleOfSize(nearRecord, 0));
  root.AddFile("sub\\mae.exe", InertSample(VariantTable[9]));
  root.AddFile("sub\\mae-plus-one.exe", NearMissSample(VariantTable[9], forge::NearMiss::SizePlusOne));
  root.AddFile("sub\\window-text.txt", std::string(nearRecord.fileSize + 100, 't'));
  root.AddFile("sub\\small.txt", "small");
  root.AddFile("sub\\deeper\\lax-elsewhere.exe", InertSample(VariantTable[2]));
  root.AddFile("sub\\deeper\\head.exe", PeHead(1500));
  root.AddFile("sub\\deeper\\more\\z.txt", "z");
}

TEST_F(SizePrefilterTest, SizeRuleTwoAtItsEdgesGivesTheSameScanWithAndWithoutIt) {
  UseVariantTable(kNearTable);
  // Within 4095 bytes either way and exact: three matches; 4096 off: clean.
  ExpectSameWithAndWithout(PlantNearEdges, 4, 12);
}

// Rule 3 takes any length: nothing may be ruled out by size.
const VariantRecord kAnySizeTable[] = {VariantTable[0], WithRule(VariantTable[2], kSizeAny), {}};

void PlantAnySizes(ScratchFolder& root) {
  root.AddFile("lda-plus-9000.exe", SampleOfSize(VariantTable[2], 9000));
  root.AddFile("lda-minus-5000.exe", SampleOfSize(VariantTable[2], -5000));
  root.AddFile("lax.exe", InertSample(VariantTable[0]));
  root.AddFile("lax-plus-one.exe", NearMissSample(VariantTable[0], forge::NearMiss::SizePlusOne));
  root.AddFile("a\\text.txt", "text");
  root.AddFile("a\\b\\c\\head.exe", PeHead(3000));
  root.AddFile("a\\b\\c\\d\\e.txt", "e");
  root.AddFile("f\\g.txt", "g");
}

TEST_F(SizePrefilterTest, SizeRuleThreeGivesTheSameScanWithAndWithoutIt) {
  UseVariantTable(kAnySizeTable);
  ExpectSameWithAndWithout(PlantAnySizes, 3, 8);
}

// The walk hands each file's directory-entry length to the checks, and none
// in the memory phase.
std::vector<std::pair<std::string, int64_t>> handedLengths;
int RecordLength(const char*, const char* path) {
  handedLengths.emplace_back(path, CheckedFileLength());
  return 0;
}

TEST_F(SizePrefilterTest, TheWalkHandsOverEachFilesLengthButNotInTheMemoryPhase) {
  static const CheckerEntry recorder[] = {{"W32/Morvo.Worm ", RecordLength}, {nullptr, nullptr}};
  UseCheckerList(recorder);
  ScratchFolder root("prefilter-lengths");
  std::string small = root.AddFile("small.txt", "12345");
  std::string empty = root.AddFile("sub\\empty.txt", "");
  std::string big = root.AddFile("sub\\big.dat", std::string(70000, 'b'));
  handedLengths.clear();
  scanState.memoryPhase = 0;

  WalkFolder((root.Path() + "\\*.*").c_str());

  std::sort(handedLengths.begin(), handedLengths.end());
  EXPECT_EQ(handedLengths, (std::vector<std::pair<std::string, int64_t>>{
                               {small, 5}, {big, 70000}, {empty, 0}}));
  EXPECT_EQ(CheckedFileLength(), kLengthUnknown);

  handedLengths.clear();
  scanState.memoryPhase = 1;
  WalkFolder(big.c_str());
  EXPECT_EQ(handedLengths, (std::vector<std::pair<std::string, int64_t>>{{big, kLengthUnknown}}));
}

int lastCheckResult = -1;
int CheckAndKeepResult(const char* family, const char* path) {
  lastCheckResult = CheckVariantFile(family, path);
  return lastCheckResult;
}

int CheckWithLength(const std::string& path, int64_t length) {
  static const CheckerEntry keeper[] = {{"W32/Morvo.Worm ", CheckAndKeepResult}, {nullptr, nullptr}};
  const CheckerEntry* previous = UseCheckerList(keeper);
  lastCheckResult = -1;
  CheckWithCheckerList(path.c_str(), length);
  UseCheckerList(previous);
  return lastCheckResult;
}

// A length handed over by the walk that no record accepts may be a stale
// directory entry (on NTFS, a file still open for writing or a hard link
// written through another name): the file's own metadata confirms it before
// the file is passed over. Wine's entries are always current, so the stale
// lengths are handed over here the way the walk hands them. Without a
// length, as in the memory phase, the file is opened and checked.
TEST_F(SizePrefilterTest, AStaleEntryLengthIsConfirmedFromTheFileBeforeItIsPassedOver) {
  ScratchFolder root("prefilter-open");
  std::string sample = root.AddFile("lax.exe", InertSample(VariantTable[0]));
  std::string nearMiss =
      root.AddFile("lax-plus-one.exe", NearMissSample(VariantTable[0], forge::NearMiss::SizePlusOne));
  const int64_t size = VariantTable[0].fileSize;
  scanState.memoryPhase = 0;
  scanState.infectedAction = kActionReportOnly;

  EXPECT_EQ(CheckWithLength(sample, size + 1), 1);  // stale: the file's own length decides
  EXPECT_EQ(CheckWithLength(sample, 0x80000000ll + size), 1);
  EXPECT_EQ(CheckWithLength(sample, 0), 1);
  EXPECT_EQ(CheckWithLength(sample, size), 1);
  EXPECT_EQ(CheckWithLength(sample, kLengthUnknown), 1);
  EXPECT_EQ(CheckVariantFile("W32/Morvo.Worm ", sample.c_str()), 1);  // straight, as ever
  EXPECT_EQ(scanState.filesInfected, 6);
  // Confirmed or not, a length that no record accepts is clean.
  EXPECT_EQ(CheckWithLength(nearMiss, size + 1), 0);
  EXPECT_EQ(CheckWithLength(nearMiss, size), 0);
  EXPECT_EQ(CheckWithLength(root.Join("vanished.exe"), size + 1), 0);
  UseSizePrefilter(false);
  EXPECT_EQ(CheckWithLength(sample, size + 1), 1);
  EXPECT_EQ(scanState.filesInfected, 7);
  UseSizePrefilter(true);

  // A volume that keeps lengths only in its entries (FAT) is taken at its
  // entry's word: the stale length, which such a volume cannot have, is
  // believed. Its file system is asked once, not per file.
  static int asked;
  asked = 0;
  UseFileSystemName([](const char*, char* name, size_t size) {
    ++asked;
    CopyTruncated(name, size, "FAT32");
    return true;
  });
  EXPECT_EQ(CheckWithLength(sample, size + 1), 0);
  EXPECT_EQ(CheckWithLength(sample, size + 2), 0);
  EXPECT_EQ(CheckWithLength(sample, size), 1);
  EXPECT_EQ(asked, 1);
  UseFileSystemName([](const char*, char* name, size_t size) {
    CopyTruncated(name, size, "NTFS");
    return true;
  });
  EXPECT_EQ(CheckWithLength(sample, size + 1), 1);
  UseFileSystemName(nullptr);
  EXPECT_EQ(scanState.filesInfected, 9);

  // The memory phase: the walk of a process's file finds the sample.
  scanState.memoryPhase = 1;
  WalkFolder(sample.c_str());
  EXPECT_EQ(scanState.foundInMemory, 1);
  EXPECT_EQ(scanState.filesScanned, 0);
}

}  // namespace
