#include "engine/VariantCheck.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "base/PathText.h"
#include "base/SystemLibrary.h"
#include "cleaning/WidePath.h"
#include "cleaning/files/Files.h"
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

// Keeps currentFilePath naming the open file only while the check runs. A
// file whose 8-bit text does not name it exactly (a name the code page cannot
// hold, a path past the buffer) leaves it empty: start-up values, read as
// 8-bit text, are then never judged against a cut or "?" form of its path.
struct CurrentFileScope {
  CurrentFileScope(const char* path, bool named) {
    memset(currentFilePath, 0, sizeof currentFilePath);
    if (named) CopyText(currentFilePath, path);
  }
  ~CurrentFileScope() { memset(currentFilePath, 0, sizeof currentFilePath); }
};

PeHeaderState headerState;  // per file, overwritten each time; no allocation

const VariantRecord* activeTable = VariantTable;
bool prefilterOn = true;
bool confirmationOn = true;
SizeFilter sizeFilter;  // built from activeTable at the first check

const SizeFilter& BuiltSizeFilter() {
  if (!sizeFilter.Built()) sizeFilter.Build(activeTable);
  return sizeFilter;
}

// The length that the file system keeps with the file itself. A directory
// entry's length can lag behind it on NTFS (a file still open for writing, a
// hard link written through another name). GetFileAttributesExA: Windows 98
// and NT 4 on; Windows 95 has only FAT, whose entries are the file's record.
struct CheckedPath {
  const char* path;
  const wchar_t* widePath;
};
bool CurrentLength(void* context, uint64_t& length) {
  const CheckedPath& file = *static_cast<const CheckedPath*>(context);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!(file.widePath ? PathAttributesEx(file.widePath, data) : PathAttributesEx(file.path, data))) return false;
  length = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool SystemFileSystemName(const char* root, char* name, size_t size) {
  return GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, name, static_cast<DWORD>(size)) != FALSE;
}
FileSystemNameFunction fileSystemName = SystemFileSystemName;

// The volume whose file system was asked last, and whether its directory
// entries are the files' own records. One volume is asked once per scan.
char knownRoot[MAX_PATH];
bool knownRootKeepsLengthInEntries = false;

// The root of the volume a path lies on: "X:\" or "\\server\share\". A
// folder mounted from another volume is a link, which the walk never
// enters, and a volume whose entries are the records (FAT) holds no links:
// so below the root the answer stays the root's, or errs on the safe side.
bool VolumeRoot(const char* path, char* root, size_t size) {
  const size_t length = PathRootLength(path);
  if (length == 0 || path[length - 1] != '\\' || length >= size) return false;
  memcpy(root, path, length);
  root[length] = '\0';
  return true;
}

// FAT, FAT32 and exFAT keep a file's length only in its directory entry:
// the walk read the file's own record, which cannot be stale, and a second
// look would cost a query per file for nothing. Anything else (NTFS, a
// share, an unknown name) is confirmed.
bool EntriesAreTheRecords(const char* path) {
  char root[MAX_PATH];
  if (!VolumeRoot(path, root, sizeof root)) return false;
  if (_stricmp(root, knownRoot) == 0) return knownRootKeepsLengthInEntries;
  char name[MAX_PATH] = {};
  knownRootKeepsLengthInEntries = fileSystemName(root, name, sizeof name) &&
                                  (_stricmp(name, "FAT") == 0 || _stricmp(name, "FAT32") == 0 ||
                                   _stricmp(name, "exFAT") == 0);
  CopyTruncated(knownRoot, root);
  return knownRootKeepsLengthInEntries;
}

// True unless the file's length rules out every record of the table before
// the file is opened. A length from the walk's directory entry that no record
// accepts is confirmed from the file's own metadata first: only then is the
// file passed over.
bool LengthMayMatch(const char* path, const wchar_t* widePath) {
  const int64_t length = CheckedFileLength();
  if (LengthCouldMatch(length)) return true;
  CheckedPath file{path, widePath};
  return !LengthRulesOut(length, confirmationOn && !EntriesAreTheRecords(path), CurrentLength, &file);
}

}  // namespace

bool LengthCouldMatch(int64_t length) {
  return !prefilterOn || length == kLengthUnknown || BuiltSizeFilter().Accepts(static_cast<uint64_t>(length));
}

bool PrepareLengthJudging(const char* path, bool& confirm) {
  confirm = true;
  if (!prefilterOn || ActiveCheckerList() != CheckerList || scanState.pendingMemoryAction != 0) return false;
  BuiltSizeFilter();  // before the threads read it
  confirm = confirmationOn && !EntriesAreTheRecords(path);
  return true;
}

bool LengthRulesOut(int64_t entryLength, bool confirm, CurrentLengthFunction current, void* context) {
  if (entryLength == kLengthUnknown) return false;
  if (sizeFilter.Accepts(static_cast<uint64_t>(entryLength))) return false;
  if (!confirm) return true;
  uint64_t length = 0;
  return !current(context, length) || length == static_cast<uint64_t>(entryLength) || !sizeFilter.Accepts(length);
}

namespace {

// Reads of a file opened for reading ahead (OpenToReadAhead), each given up
// after the examination's bound, so that no file holds a walk's thread.
class HandleReader final : public ByteReader {
 public:
  explicit HandleReader(HANDLE file) : file_(file) {}
  bool ReadExact(int32_t position, void* destination, uint32_t length) override {
    if (position < 0) return false;
    DWORD got = 0;
    if (!ReadWithin(file_, static_cast<uint32_t>(position), destination, length, kExaminationBound, got)) {
      readFailed_ = true;
      return false;
    }
    return got == length;
  }
  bool ReadFailed() const { return readFailed_; }

 private:
  HANDLE file_;
  bool readFailed_ = false;
};

}  // namespace

bool JudgedCleanThrough(void* file) {
  PeHeaderState state;
  HandleReader reader(file);
  // As MatchVariantRecord: a length it cannot hold matches nothing.
  if (!JudgedFileLength(file, state.fileLength)) return true;
  if (ReadPeHeaders(reader, state) && FindMatchingRecord(activeTable, state, reader)) return false;
  return !reader.ReadFailed();
}

const VariantRecord* UseVariantTable(const VariantRecord* table) {
  const VariantRecord* previous = activeTable;
  activeTable = table ? table : VariantTable;
  sizeFilter = SizeFilter();  // built again from the new table at the next check
  return previous;
}

bool UseSizePrefilter(bool on) {
  return std::exchange(prefilterOn, on);
}

FileSystemNameFunction UseFileSystemName(FileSystemNameFunction function) {
  FileSystemNameFunction previous = fileSystemName;
  fileSystemName = function ? function : SystemFileSystemName;
  ForgetVolumes();
  return previous;
}

void ForgetVolumes() { knownRoot[0] = '\0'; }

bool UseLengthConfirmation(bool on) {
  return std::exchange(confirmationOn, on);
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
  // The walk's UTF-16 path: the file is opened, judged and removed by it,
  // whatever its 8-bit text can say. Else an 8-bit path that the 260-byte
  // buffers cannot hold whole is not examined: it could be neither reported
  // nor acted on as itself.
  const wchar_t* widePath = CheckedFileWidePath();
  if (!widePath && strlen(path) >= kPathBufferLength) return 0;
  if (!LengthMayMatch(path, widePath)) return 0;
  // Only for the file that it was shown as (a check may be handed another
  // path meanwhile); tested past the size filter, which passes over most files.
  if (widePath && ShownFromWide(widePath) != path) {
    widePath = nullptr;
    if (strlen(path) >= kPathBufferLength) return 0;
  }

  // The open and the reads are bounded: a file that an oplock, a byte-range
  // lock, an access list or a holder keeps from being read is reported as not
  // examined, never counted clean.
  ExaminationBound bound;
  FileReader file(path, widePath);
  if (!file.IsOpen()) {
    bound.Disarm();
    if (bound.Expired() || MeansNotExamined(LastCandidateOpenError())) NoteNotExamined(path, widePath);
    return 0;
  }
  CurrentFileScope current(path, !widePath || ShowsExactly(path, widePath));
  const VariantRecord* match = MatchVariantRecord(file);
  bound.Disarm();
  if (!match) {
    if (bound.Expired() || file.ReadFailed()) NoteNotExamined(path, widePath);
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
  HandleInfectedFile(match->name, path, &file, widePath);
  return 1;
}
