#include "engine/DirectoryWalk.h"

#include <io.h>

#include <cstdint>
#include <cstring>

#include "engine/CheckerList.h"
#include "engine/PathText.h"
#include "engine/ReportChannel.h"
#include "engine/ScanRun.h"
#include "engine/ScanState.h"
#include "engine/StatusPath.h"
#include "win/Handles.h"

namespace {

constexpr int kStatusWidth = 60;
constexpr size_t kDrivePatternLength = 6;  // "C:\*.*"

// A walk that starts at a drive root notes whether the drive has a Program
// Files folder, so that the run can walk it afterwards if no walk entered it.
void ProbeProgramFiles(const char* pattern) {
  char* probe = scanState.programFilesPattern;
  CopyTruncated(scanState.programFilesPattern, pattern);
  char* colon = strchr(probe, ':');
  if (!colon) return;
  colon[1] = '\0';
  AppendText(scanState.programFilesPattern, "\\Program Files");
  if (_access(probe, 0) == 0) {
    scanState.programFilesPending = 1;
    AppendText(scanState.programFilesPattern, "\\*.*");
  }
}

// Length of the folder part of a pattern: what is left after cutting it at the
// character before its last "." (the "*" of "*.*"). -1 when it has no ".".
int FolderPartLength(const char* pattern) {
  const char* dot = strrchr(pattern, '.');
  if (!dot) return -1;
  return dot > pattern ? static_cast<int>(dot - pattern - 1) : 0;
}

// folder part + name + suffix into a path buffer; false when it would not fit.
bool JoinPath(char (&destination)[MAX_PATH], const char* pattern, int folderLength,
              const char* name, const char* suffix) {
  size_t nameLength = strlen(name);
  size_t suffixLength = strlen(suffix);
  if (folderLength + nameLength + suffixLength >= MAX_PATH) return false;
  memcpy(destination, pattern, folderLength);
  memcpy(destination + folderLength, name, nameLength);
  memcpy(destination + folderLength + nameLength, suffix, suffixLength + 1);
  return true;
}

// The path goes into the status line shortened straight into statusText: no
// scratch buffer to clear and copy again for every entry.
void ShowPath(const char* path) {
  ShortenPathForStatus(path, scanState.statusText, kStatusWidth);
  ReportStatusText();
}

// The file's length as its directory entry gives it, for the check's size
// prefilter. Unknown for a reparse point: its entry describes the link, while
// the check opens what the link points to.
int64_t EntryLength(const WIN32_FIND_DATAA& found) {
  if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return kLengthUnknown;
  const uint64_t length = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return length > INT64_MAX ? INT64_MAX : static_cast<int64_t>(length);
}

bool PumpAndTestStop() {
  PumpOneMessage();
  return scanState.stopRequested != 0;
}

bool IsDirectory(const WIN32_FIND_DATAA& found) {
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

}  // namespace

// Entries whose path or pattern would not fit 260 bytes are skipped: they are
// neither shown, checked nor walked, and the walk goes on with the next one.
int WalkFolder(const char* pattern) {
  scanState.foundInMemory = 0;
  if (strlen(pattern) <= kDrivePatternLength) ProbeProgramFiles(pattern);

  char levelPattern[MAX_PATH];
  if (!CopyText(levelPattern, pattern)) return scanState.filesScanned;
  const int folderLength = FolderPartLength(levelPattern);
  WIN32_FIND_DATAA found;

  // File pass: show every entry, check every file.
  {
    FindHandle search(FindFirstFileA(levelPattern, &found));
    if (search.IsValid()) {
      do {
        if (PumpAndTestStop()) return 0;
        char path[MAX_PATH];
        bool fits;
        if (scanState.memoryPhase) {
          fits = CopyText(path, levelPattern);
        } else {
          if (folderLength < 0) return -1;
          fits = JoinPath(path, levelPattern, folderLength, found.cFileName, "");
        }
        if (fits) {
          ShowPath(path);
          if (!IsDirectory(found)) {
            if (!scanState.memoryPhase) ++scanState.filesScanned;
            // The memory phase hands over no length: a process's file is always opened.
            CheckWithCheckerList(path, scanState.memoryPhase ? kLengthUnknown : EntryLength(found));
          }
        }
        if (PumpAndTestStop()) return 0;
      } while (FindNextFileA(search.Get(), &found));
    }
  }

  // Subfolder pass: the pattern cut after its last "." plus "*", which for
  // "\*.*" is the same pattern and for a file path matches its name's stem.
  char subfolderPattern[MAX_PATH];
  CopyText(subfolderPattern, levelPattern);
  if (char* dot = strrchr(subfolderPattern, '.')) dot[1] = '\0';
  if (!AppendText(subfolderPattern, "*")) return scanState.filesScanned;

  FindHandle search(FindFirstFileA(subfolderPattern, &found));
  if (!search.IsValid()) return scanState.filesScanned;
  do {
    if (PumpAndTestStop()) return 0;
    if (!IsDirectory(found) || IsDotEntry(found.cFileName)) continue;
    if (folderLength < 0) return -1;
    char childPattern[MAX_PATH];
    if (!JoinPath(childPattern, levelPattern, folderLength, found.cFileName, "\\*.*")) continue;
    if (strstr(childPattern, "\\Program Files\\")) scanState.programFilesVisited = 1;
    if (WalkFolder(childPattern) == -1) return -1;
  } while (FindNextFileA(search.Get(), &found));
  return scanState.filesScanned;
}
