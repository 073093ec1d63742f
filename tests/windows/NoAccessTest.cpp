// A folder and a file that the scanning account may not read, on drive D: of
// a prefix of their own. Under Wine the file system's own permissions are the
// only access control (Windows ACLs are stored, not enforced), and root passes
// them; no-access.sh therefore runs the prefix's server and this program
// without the capabilities that let root override them, and takes the read
// permission away between the two steps below.
#include <algorithm>
#include <set>

#include "engine/DirectoryWalk.h"
#include "engine/VariantCheck.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

// Step 1, before the permissions are taken away.
TEST(NoReadAccessSetup, PlantsSamplesInAFolderAndAFileToBeLocked) {
  WriteFileBytes("D:\\open\\worm.exe", InertSample(VariantTable[0]));
  WriteFileBytes("D:\\open\\sealed.exe", InertSample(VariantTable[1]));
  WriteFileBytes("D:\\locked\\inner.exe", InertSample(VariantTable[2]));
  WriteFileBytes("D:\\after.txt", "clean");
  for (const char* path : {"D:\\open\\worm.exe", "D:\\open\\sealed.exe", "D:\\locked\\inner.exe", "D:\\after.txt"})
    EXPECT_NE(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << path;
}

using NoReadAccess = RealCheckFixture;

// Step 2: D:\locked may not be listed, D:\open\sealed.exe may not be read.
// Neither is clean: each is reported once as not examined, and counted.
TEST_F(NoReadAccess, TheWalkReportsALockedFolderAndAnUnreadableFileAsNotExamined) {
  WIN32_FIND_DATAA found;
  ASSERT_EQ(FindFirstFileA("D:\\locked\\*", &found), INVALID_HANDLE_VALUE) << "D:\\locked is readable";
  ASSERT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  ASSERT_EQ(CreateFileA("D:\\open\\sealed.exe", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE)
      << "D:\\open\\sealed.exe is readable";
  ASSERT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});

  int result = WalkFolder("D:\\*.*");

  EXPECT_EQ(result, 3);
  EXPECT_EQ(std::set<std::string>(checkedPaths.begin(), checkedPaths.end()),
            (std::set<std::string>{"D:\\after.txt", "D:\\open\\sealed.exe", "D:\\open\\worm.exe"}));
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "D:\\locked"), statuses.end());
  EXPECT_EQ(std::multiset<std::string>(logLines.begin(), logLines.end()),
            (std::multiset<std::string>{"D:\\open\\worm.exe     W32/Morvo.Lax.Worm removed",
                                        "D:\\open\\sealed.exe     could not be examined",
                                        "D:\\locked     could not be examined"}));
  EXPECT_EQ(scanState.filesNotExamined, 2);
  EXPECT_EQ(scanState.filesInfected, 1);
  EXPECT_EQ(GetFileAttributesA("D:\\open\\worm.exe"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA("D:\\open\\sealed.exe"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(NoReadAccess, AWalkStartingInALockedFolderReportsItAsNotExamined) {
  scanState.filesScanned = 4;

  EXPECT_EQ(WalkFolder("D:\\locked\\*.*"), 4);

  EXPECT_TRUE(checkedPaths.empty());
  EXPECT_EQ(logLines, std::vector<std::string>{"D:\\locked     could not be examined"});
  EXPECT_EQ(scanState.filesNotExamined, 1);
}

}  // namespace
