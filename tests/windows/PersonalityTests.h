#pragma once
// Shared ground for the tests that run under one Windows personality: a
// locked sample scanned in a folder, with the restart offer answered No.
#include <string>
#include <vector>

#include "cleaning/files/Files.h"
#include "tests/windows/support/EngineFixture.h"

struct LockedSampleScan {
  std::vector<std::string> logLines;
  std::vector<std::string> prompts;
  std::string samplePath;
  int restartNeeded;
  FileIdentity identity;  // of the sample, whatever its name after the scan
};

// Writes the sample of record 1 into a scratch folder, holds it mapped (so
// it can be read and moved but not deleted), scans the folder and answers
// every prompt No.
LockedSampleScan ScanALockedSample(EngineFixture& fixture, const std::string& folderName);

// Samples of records 1 to 3 under "Zdjęcia", under "測試" (names that code
// page 1252 cannot hold) and at a path of 300 characters, in a scratch folder
// walked with the program's checker list.
struct AnyNameScan {
  std::string root;
  std::string longPath;
  bool polishPresent, chinesePresent, longPresent;  // after the walk
};
AnyNameScan ScanSamplesUnderAnyName(const std::string& folderName);
