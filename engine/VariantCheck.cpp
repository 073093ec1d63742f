#include "engine/VariantCheck.h"

#include <windows.h>

#include <cstring>

#include "base/PathText.h"
#include "base/SystemLibrary.h"
#include "cleaning/FileSystemRedirection.h"
#include "engine/CandidateOpen.h"
#include "engine/CheckerList.h"
#include "engine/FileReader.h"
#include "engine/InfectedFile.h"
#include "engine/NotExamined.h"
#include "engine/PeHeaders.h"
#include "engine/RegistryCleaning.h"
#include "engine/SizeFilter.h"
#include "engine/VariantRecord.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

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

using AttributesExFunction = BOOL(WINAPI*)(const char* path, GET_FILEEX_INFO_LEVELS level,
                                            void* information);
const SystemFunction<AttributesExFunction> getFileAttributesEx("kernel32.dll", "GetFileAttributesExA");

// The length that the file system keeps with the file itself. A directory
// entry's length can lag behind it on NTFS (a file still open for writing, a
// hard link written through another name). GetFileAttributesExA: Windows 98
// and NT 4 on; Windows 95 has only FAT, whose entries are the file's record.
bool CurrentLength(const char* path, uint64_t& length) {
  AttributesExFunction attributesEx = getFileAttributesEx.Get();
  if (!attributesEx) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  BOOL read;
  {
    FileSystemRedirectionOff nativeView;
    read = attributesEx(path, GetFileExInfoStandard, &data);
  }
  if (!read) return false;
  length = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

// True unless the file's length rules out every record of the table before
// the file is opened. A length from the walk's directory entry that no record
// accepts is confirmed from the file's own metadata first: only then is the
// file passed over.
bool LengthMayMatch(const char* path) {
  const int64_t length = CheckedFileLength();
  if (!prefilterOn || length == kLengthUnknown) return true;
  if (!sizeFilter.Built()) sizeFilter.Build(activeTable);
  if (sizeFilter.Accepts(static_cast<uint64_t>(length))) return true;
  uint64_t current = 0;
  return CurrentLength(path, current) && current != static_cast<uint64_t>(length) &&
         sizeFilter.Accepts(current);
}

}  // namespace

bool LengthCouldMatch(int64_t length) {
  if (!prefilterOn || length == kLengthUnknown) return true;
  if (!sizeFilter.Built()) sizeFilter.Build(activeTable);
  return sizeFilter.Accepts(static_cast<uint64_t>(length));
}

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

const VariantRecord* MatchVariantRecord(FileReader& file) {
  if (!file.IsOpen()) return nullptr;
  if (!file.Length(headerState.fileLength)) return nullptr;
  if (!ReadPeHeaders(file, headerState)) return nullptr;
  return FindMatchingRecord(activeTable, headerState, file);
}

int CheckVariantFile(const char* familyName, const char* path) {
  // The removal reports to whoever reads the log: the window, or the silent
  // run's log file.
  if (scanState.pendingMemoryAction != 0 && LogLinesAreRead()) {
    HandleMemoryRemoval(familyName, path);
    return 0;
  }
  if (scanState.filesInfected == 0) memset(wormValueName, 0, sizeof wormValueName);
  // A path that the 260-byte buffers cannot hold whole is not examined: it
  // could be neither reported nor acted on as itself.
  if (strlen(path) >= kPathBufferLength) return 0;
  if (!LengthMayMatch(path)) return 0;

  // The open and the reads are bounded: a file that an oplock, a byte-range
  // lock, an access list or a holder keeps from being read is reported as not
  // examined, never counted clean.
  ExaminationBound bound;
  FileReader file(path);
  if (!file.IsOpen()) {
    bound.Disarm();
    if (bound.Expired() || MeansNotExamined(LastCandidateOpenError())) NoteNotExamined(path);
    return 0;
  }
  CurrentFileScope current(path);
  const VariantRecord* match = MatchVariantRecord(file);
  bound.Disarm();
  if (!match) {
    if (bound.Expired() || file.ReadFailed()) NoteNotExamined(path);
    return 0;
  }

  ++scanState.filesInfected;
  // The drive scan keeps the file open, so that the removal acts on the file
  // judged here; a running worm's file is left to the memory scan.
  if (scanState.memoryPhase) file.Close();
  CleanRegistryAndHosts(match->name);
  CopyTruncated(scanState.detectionName, match->name);
  CopyTruncated(scanState.statusText, path);
  if (scanState.memoryPhase) {
    scanState.foundInMemory = 1;
    return 1;
  }
  HandleInfectedFile(match->name, path, &file);
  return 1;
}
