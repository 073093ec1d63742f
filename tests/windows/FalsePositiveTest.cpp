// A whole scan of every fixed drive of a fresh Wine prefix (C:, its Windows and
// Program Files) and of D:, which holds copies of every DLL that the MinGW
// toolchains install, with the real checker list and action 103: not one file
// may be detected. Run by false-positives.sh, which makes the prefix and the
// drive and checks afterwards that nothing in either changed.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>

#include "engine/ScanRun.h"
#include "engine/VariantCheck.h"
#include "tests/windows/support/EngineFixture.h"

namespace {

bool IsPeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  unsigned char dos[64] = {};
  unsigned char signature[4] = {};
  DWORD got = 0;
  bool pe = ReadFile(file, dos, sizeof dos, &got, nullptr) && got == sizeof dos && dos[0] == 'M' &&
            dos[1] == 'Z';
  if (pe) {
    LONG offset = static_cast<LONG>(dos[60] | dos[61] << 8 | dos[62] << 16 | dos[63] << 24);
    pe = offset > 0 && SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         ReadFile(file, signature, sizeof signature, &got, nullptr) && got == sizeof signature &&
         memcmp(signature, "PE\0\0", 4) == 0;
  }
  CloseHandle(file);
  return pe;
}

class FalsePositives : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    // Every file, the running programs' own files included, goes to the real
    // check; the fixture's recorder only looks on.
    onCheck = [this](const std::string& path) {
      if (scanState.memoryPhase) memoryPaths.push_back(path);
      return CheckVariantFile("W32/Morvo.Worm ", path.c_str());
    };
  }
  std::vector<std::string> memoryPaths;
};

TEST_F(FalsePositives, AFreshWindowsAndEveryMinGwDllScanCleanWithActionReportOnly) {
  const char* expectedDlls = getenv("SCOURIX_FP_MINGW_DLLS");
  ASSERT_NE(expectedDlls, nullptr) << "run through false-positives.sh, which sets up drive D:";
  strcpy(scanState.scanTarget, "!:");
  scanState.infectedAction = kActionReportOnly;

  RunScan();

  // The drive walk's files: what is checked after the memory phase.
  std::vector<std::string> driveFiles(checkedPaths.begin() + memoryPaths.size(), checkedPaths.end());
  std::map<std::string, int> peByArea;
  int peFiles = 0;
  int mingwDlls = 0;
  for (const std::string& path : driveFiles) {
    const std::string lower = Lower(path);
    if (lower.rfind("d:\\", 0) == 0 && EndsWith(lower, ".dll")) ++mingwDlls;
    if (!IsPeFile(path)) continue;
    ++peFiles;
    if (lower.rfind("c:\\windows\\system32\\", 0) == 0) ++peByArea["C:\\windows\\system32"];
    else if (lower.rfind("c:\\windows\\syswow64\\", 0) == 0) ++peByArea["C:\\windows\\syswow64"];
    else if (lower.rfind("c:\\windows\\", 0) == 0) ++peByArea["C:\\windows (the rest)"];
    else if (lower.rfind("c:\\program files", 0) == 0) ++peByArea["C:\\Program Files*"];
    else if (lower.rfind("d:\\", 0) == 0) ++peByArea["D: (MinGW)"];
    else ++peByArea["elsewhere"];
  }
  std::cout << "False-positive scan: " << driveFiles.size() << " files scanned, " << peFiles
            << " of them PE files; " << memoryPaths.size() << " running programs' files examined\n";
  for (const auto& [area, count] : peByArea) std::cout << "  PE files in " << area << ": " << count << "\n";
  RecordProperty("FilesScanned", static_cast<int>(driveFiles.size()));
  RecordProperty("PeFilesScanned", peFiles);

  EXPECT_EQ(scanState.filesInfected, 0);
  EXPECT_EQ(scanState.filesRemoved, 0);
  EXPECT_EQ(scanState.restartNeeded, 0);
  EXPECT_EQ(logLines, (std::vector<std::string>{
                          "Scanning statistics",
                          "------------------------------",
                          "Total files scanned\t\t:  " + std::to_string(driveFiles.size()),
                          "Total files infected\t\t:  0",
                          "Total files removed\t\t:  0",
                      }));
  EXPECT_EQ(scanState.filesScanned, static_cast<int>(driveFiles.size()));
  // A scan that reached nothing cannot pass: a fresh prefix holds several
  // hundred program files, and every MinGW DLL must have been checked.
  EXPECT_GT(peFiles, 500);
  EXPECT_GT(peByArea["C:\\windows\\system32"], 300);
  EXPECT_GT(peByArea["C:\\Program Files*"], 5);
  EXPECT_EQ(mingwDlls, atoi(expectedDlls));
  EXPECT_EQ(peByArea["D: (MinGW)"], atoi(expectedDlls));
  EXPECT_FALSE(memoryPaths.empty());
}

}  // namespace
