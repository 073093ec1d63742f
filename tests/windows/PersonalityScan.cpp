#include "tests/windows/PersonalityTests.h"

#include <cstring>
#include <memory>

#include "cleaning/OsVersion.h"
#include "engine/CheckerList.h"
#include "engine/DirectoryWalk.h"
#include "engine/ScanRun.h"
#include "tests/windows/support/DialogAnswerer.h"
#include "tests/windows/support/RegistryScratch.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"

LockedSampleScan ScanALockedSample(EngineFixture&, const std::string& folderName) {
  LockedSampleScan result;
  ScratchFolder root(folderName);
  result.samplePath = root.AddFile("held.exe", InertSample(VariantTable[0]));
  // On the NT line mapped, as a loaded DLL is: neither deletion nor a kill
  // frees it, but it can be moved away for the restart (one that could not,
  // in a folder users may change, would be left instead). The 9x line has
  // no moves; there it is held open with read sharing only.
  // Wine keeps no owner or list of its own: a removal folder that an earlier
  // test process made in this prefix reads back as the prefix user's, and is
  // rightly refused. Each test starts without one, as a fresh machine does.
  RemoveTree("C:\\Scourix.Removed");
  std::unique_ptr<MappedFile> mapped;
  HANDLE holder = INVALID_HANDLE_VALUE;
  if (GetOsFamily() == OS_WINNT)
    mapped = std::make_unique<MappedFile>(result.samplePath);
  else
    holder = CreateFileA(result.samplePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  result.identity = IdentityOf(result.samplePath);
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
  mapped.reset();
  if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
  result.restartNeeded = scanState.restartNeeded;
  return result;
}

AnyNameScan ScanSamplesUnderAnyName(const std::string& folderName) {
  AnyNameScan result;
  ScratchFolder root(folderName);
  result.root = root.Path();
  const std::wstring polish = Widened(root.Path()) + L"\\Zdj\x0119" L"cia\\lax.exe";
  const std::wstring chinese = Widened(root.Path()) + L"\\\x6E2C\x8A66\\kzg.exe";
  const std::string longFolder = root.Path() + "\\" + std::string(120, 'l') + "\\" + std::string(120, 'm');
  result.longPath = longFolder + "\\" + std::string(300 - longFolder.size() - 1 - 4, 'n') + ".exe";
  WriteWideFileBytes(polish, InertSample(VariantTable[0]));
  WriteWideFileBytes(chinese, InertSample(VariantTable[1]));
  WriteFileBytes(result.longPath, InertSample(VariantTable[2]));
  UseCheckerList(CheckerList);
  scanState.infectedAction = kActionRemove;
  WalkFolder((root.Path() + "\\*.*").c_str());
  result.polishPresent = WideFileExists(polish);
  result.chinesePresent = WideFileExists(chinese);
  result.longPresent = FileExists(result.longPath);
  return result;
}
