#include "tests/windows/PersonalityTests.h"

#include <cstring>

#include "engine/CheckerList.h"
#include "engine/ScanRun.h"
#include "tests/windows/support/DialogAnswerer.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"

LockedSampleScan ScanALockedSample(EngineFixture&, const std::string& folderName) {
  LockedSampleScan result;
  ScratchFolder root(folderName);
  result.samplePath = root.AddFile("held.exe", InertSample(VariantTable[0]));
  HANDLE holder = CreateFileA(result.samplePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  UseCheckerList(CheckerList);
  strcpy(scanState.scanTarget, root.Path().c_str());
  scanState.infectedAction = kActionRemove;
  {
    DialogAnswerer answerer("Scourix Ver 1.0", {IDNO, IDNO});
    // Where the termination finds nothing to end it may say so, titled with the path.
    DialogAnswerer box(result.samplePath, {IDOK, IDOK});
    RunScan();
    for (const AnsweredDialog& dialog : answerer.Answered()) result.prompts.push_back(dialog.text);
  }
  CloseHandle(holder);
  result.restartNeeded = scanState.restartNeeded;
  return result;
}
