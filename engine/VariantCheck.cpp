#include "engine/VariantCheck.h"

#include <windows.h>

#include <cstring>

#include "cleaning/RegistryCleaning.h"
#include "engine/CheckerList.h"
#include "engine/FileReader.h"
#include "engine/InfectedFile.h"
#include "engine/PathText.h"
#include "engine/PeHeaders.h"
#include "engine/ScanState.h"
#include "engine/SizeFilter.h"
#include "engine/VariantRecord.h"

char currentFilePath[kCurrentFilePathLength];

namespace {

// Keeps currentFilePath naming the open file only while the check runs.
struct CurrentFileScope {
  explicit CurrentFileScope(const char* path) {
    memset(currentFilePath, 0, sizeof currentFilePath);
    CopyTruncated(currentFilePath, path);
  }
  ~CurrentFileScope() { memset(currentFilePath, 0, sizeof currentFilePath); }
};

PeHeaderState headerState;  // per file, overwritten each time; no allocation

const VariantRecord* activeTable = VariantTable;
bool prefilterOn = true;
SizeFilter sizeFilter;  // built from activeTable at the first check

// True unless the walk's directory entry gave a length that rules out every
// record of the table before the file is opened.
bool LengthMayMatch() {
  const int64_t length = CheckedFileLength();
  if (!prefilterOn || length == kLengthUnknown) return true;
  if (!sizeFilter.Built()) sizeFilter.Build(activeTable);
  return sizeFilter.Accepts(static_cast<uint64_t>(length));
}

}  // namespace

const VariantRecord* UseVariantTable(const VariantRecord* table) {
  const VariantRecord* previous = activeTable;
  activeTable = table ? table : VariantTable;
  sizeFilter = SizeFilter();  // built again from the new table at the next check
  return previous;
}

bool UseSizePrefilter(bool on) {
  bool previous = prefilterOn;
  prefilterOn = on;
  return previous;
}

int CheckVariantFile(const char* familyName, const char* path) {
  if (scanState.pendingMemoryAction != 0 && scanState.reportWindow != nullptr) {
    HandleMemoryRemoval(familyName, path);
    return 0;
  }
  if (scanState.filesInfected == 0) memset(wormValueName, 0, sizeof wormValueName);
  // A path that the 260-byte buffers cannot hold whole is not examined: it
  // could be neither reported nor acted on as itself.
  if (strlen(path) >= kPathBufferLength) return 0;
  if (!LengthMayMatch()) return 0;

  FileReader file(path);
  if (!file.IsOpen()) return 0;
  CurrentFileScope current(path);
  if (!file.Length(headerState.fileLength)) return 0;
  if (!ReadPeHeaders(file, headerState)) return 0;

  const VariantRecord* match = FindMatchingRecord(activeTable, headerState, file);
  if (!match) return 0;

  ++scanState.filesInfected;
  file.Close();
  CleanRegistryAndHosts(match->name);
  CopyTruncated(scanState.detectionName, match->name);
  CopyTruncated(scanState.statusText, path);
  if (scanState.memoryPhase) {
    scanState.foundInMemory = 1;
    return 1;
  }
  HandleInfectedFile(match->name, path);
  return 1;
}
