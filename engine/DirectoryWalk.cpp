#include "engine/DirectoryWalk.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "base/PathText.h"
#include "cleaning/FileSystemRedirection.h"
#include "engine/CheckerList.h"
#include "engine/ScanRun.h"
#include "engine/StatusPath.h"
#include "engine/WalkPath.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

namespace {

static_assert(kWalkPathLength == MAX_PATH, "the walk's buffers are MAX_PATH long");

constexpr int kStatusWidth = 60;
constexpr size_t kDrivePatternLength = 6;  // "C:\*.*"
// Each level adds at least two characters to a 260-byte pattern.
constexpr int kMaxFoldersOnPath = 160;

bool skipReparsePoints = true;

bool IsReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// FindFirstFileA under WoW64 sees the real System32, and SysWOW64 once.
HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA& found) {
  FileSystemRedirectionOff nativeView;
  return FindFirstFileA(pattern, &found);
}

// A walk that starts at a drive root notes whether the drive has a Program
// Files folder, so that the run can walk it afterwards if no walk entered it.
void ProbeProgramFiles(const char* pattern) {
  char* probe = scanState.programFilesPattern;
  CopyTruncated(scanState.programFilesPattern, pattern);
  char* colon = strchr(probe, ':');
  if (!colon) return;
  colon[1] = '\0';
  AppendText(scanState.programFilesPattern, "\\Program Files");
  DWORD attributes;
  {
    FileSystemRedirectionOff nativeView;
    attributes = GetFileAttributesA(probe);
  }
  // A link in its place leads off the drive: the walk passes it by, and so
  // does the follow-up.
  if (attributes != INVALID_FILE_ATTRIBUTES && !IsReparsePoint(attributes)) {
    scanState.programFilesPending = 1;
    AppendText(scanState.programFilesPattern, "\\*.*");
  }
}

// The path goes into the status line shortened straight into statusText: no
// scratch buffer to clear and copy again for every entry. A run without a
// window has no status line to keep.
void ShowPath(const char* path) {
  if (!scanState.reportWindow) return;
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
  BetweenEntries();
  return scanState.stopRequested != 0;
}

bool IsDirectory(const WIN32_FIND_DATAA& found) {
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A folder's identity: the same through every path that reaches it.
struct FolderIdentity {
  DWORD volumeSerial;
  DWORD indexHigh;
  DWORD indexLow;
  bool operator==(const FolderIdentity& other) const {
    return volumeSerial == other.volumeSerial && indexHigh == other.indexHigh && indexLow == other.indexLow;
  }
};

// False where a folder cannot be opened as one (the 9x line cannot), which
// leaves that level unguarded; the 9x line has no links to loop through.
bool IdentityOf(const char* folder, FolderIdentity& identity) {
  FileHandle handle;
  {
    FileSystemRedirectionOff nativeView;
    handle = FileHandle(CreateFileA(folder, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!handle.IsValid() || !GetFileInformationByHandle(handle.Get(), &information)) return false;
  identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
  return true;
}

// The folders of the walk's current path, outermost first. A folder already
// on it is not entered again, however the walk reached it: the second guard
// against a loop, behind never entering a reparse point.
FolderIdentity foldersOnPath[kMaxFoldersOnPath];
int foldersOnPathCount = 0;

class FolderOnPath {
 public:
  // Enters the folder of `pattern` (its text up to folderLength).
  FolderOnPath(const char* pattern, int folderLength) {
    if (folderLength <= 0) return;
    char folder[MAX_PATH];
    memcpy(folder, pattern, folderLength);
    folder[folderLength] = '\0';
    FolderIdentity identity;
    if (!IdentityOf(folder, identity)) return;
    for (int i = 0; i < foldersOnPathCount; ++i) {
      if (foldersOnPath[i] == identity) {
        revisit_ = true;
        return;
      }
    }
    if (foldersOnPathCount == kMaxFoldersOnPath) return;
    foldersOnPath[foldersOnPathCount++] = identity;
    pushed_ = true;
  }
  ~FolderOnPath() {
    if (pushed_) --foldersOnPathCount;
  }
  FolderOnPath(const FolderOnPath&) = delete;
  FolderOnPath& operator=(const FolderOnPath&) = delete;

  bool Revisit() const { return revisit_; }

 private:
  bool pushed_ = false;
  bool revisit_ = false;
};

// Whether the walk goes into a subfolder entry. A junction, symbolic link or
// mount point leads elsewhere (off the drive, or back up the path): its
// target is walked, if at all, where it really lies.
bool WalksInto(const WIN32_FIND_DATAA& found) {
  if (!IsDirectory(found) || !SurvivesAsName(found.cFileName)) return false;
  return !(skipReparsePoints && IsReparsePoint(found.dwFileAttributes));
}

// A run without a window has no pumping order to keep between the two
// passes: it keeps the subfolders' names from the folder's one listing
// instead of listing the folder again, which would double the walk's cost.
bool ListsOnce() { return !scanState.reportWindow && !scanState.memoryPhase; }

int WalkSubfolder(const char* levelPattern, int folderLength, const char* name);

}  // namespace

bool UseReparsePointSkip(bool on) {
  bool previous = skipReparsePoints;
  skipReparsePoints = on;
  return previous;
}

// Entries whose path or pattern would not fit 260 bytes are skipped: they are
// neither shown, checked nor walked, and the walk goes on with the next one.
int WalkFolder(const char* pattern) {
  scanState.foundInMemory = 0;
  if (strlen(pattern) <= kDrivePatternLength) ProbeProgramFiles(pattern);

  char levelPattern[MAX_PATH];
  if (!CopyText(levelPattern, pattern)) return scanState.filesScanned;
  const int folderLength = FolderPartLength(levelPattern);
  WIN32_FIND_DATAA found;

  // A folder already on the walk's path (reached again through some link)
  // is not walked a second time. The memory phase names a file, not a folder.
  const bool walksFolder = !scanState.memoryPhase && folderLength > 0;
  FolderOnPath onPath(levelPattern, walksFolder ? folderLength : 0);
  if (onPath.Revisit()) return scanState.filesScanned;

  // File pass: show every entry, check every file.
  const bool listsOnce = ListsOnce();
  std::vector<std::string> subfolders;
  {
    FindHandle search(FindFirst(levelPattern, found));
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
          if (!IsDirectory(found) && (scanState.memoryPhase || SurvivesAsName(found.cFileName))) {
            if (!scanState.memoryPhase) ++scanState.filesScanned;
            // The memory phase hands over no length: a process's file is always opened.
            CheckWithCheckerList(path, scanState.memoryPhase ? kLengthUnknown : EntryLength(found));
          }
        }
        if (listsOnce && WalksInto(found)) subfolders.emplace_back(found.cFileName);
        if (PumpAndTestStop()) return 0;
      } while (FindNextFileA(search.Get(), &found));
    }
  }

  if (listsOnce) {
    for (const std::string& name : subfolders) {
      if (PumpAndTestStop()) return 0;
      if (WalkSubfolder(levelPattern, folderLength, name.c_str()) == -1) return -1;
    }
    return scanState.filesScanned;
  }

  // Subfolder pass: each subfolder in turn, depth first.
  char subfolderPattern[MAX_PATH];
  if (!MakeSubfolderPattern(subfolderPattern, levelPattern)) return scanState.filesScanned;

  FindHandle search(FindFirst(subfolderPattern, found));
  if (!search.IsValid()) return scanState.filesScanned;
  do {
    if (PumpAndTestStop()) return 0;
    if (WalksInto(found) && WalkSubfolder(levelPattern, folderLength, found.cFileName) == -1)
      return -1;
  } while (FindNextFileA(search.Get(), &found));
  return scanState.filesScanned;
}

namespace {

// One subfolder of a level: -1 when a pattern without "." ends the walk
// there; a subfolder whose pattern would not fit is passed over.
int WalkSubfolder(const char* levelPattern, int folderLength, const char* name) {
  if (folderLength < 0) return -1;
  char childPattern[MAX_PATH];
  if (!JoinPath(childPattern, levelPattern, folderLength, name, "\\*.*")) return 0;
  if (strstr(childPattern, "\\Program Files\\")) scanState.programFilesVisited = 1;
  return WalkFolder(childPattern) == -1 ? -1 : 0;
}

}  // namespace
