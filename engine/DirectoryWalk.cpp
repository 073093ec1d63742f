#include "engine/DirectoryWalk.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <list>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/Handles.h"
#include "base/PathText.h"
#include "base/SystemLibrary.h"
#include "cleaning/OsVersion.h"
#include "cleaning/WidePath.h"
#include "cleaning/files/Files.h"
#include "engine/CandidateOpen.h"
#include "engine/CheckerList.h"
#include "engine/NotExamined.h"
#include "engine/ScanRun.h"
#include "engine/StatusPath.h"
#include "engine/VariantCheck.h"
#include "engine/WalkPath.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

namespace {

static_assert(kWalkPathLength == MAX_PATH, "the walk's buffers are MAX_PATH long");

constexpr int kStatusWidth = 60;
constexpr size_t kDrivePatternLength = 6;  // "C:\*.*"
constexpr int kMaxWideDepth = 256;  // folder levels below the walk's start

bool skipReparsePoints = true;
bool foldersPreparedAhead = true;

bool IsReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// A walk that starts at a drive root notes whether the drive has a Program
// Files folder, so that the run can walk it afterwards if no walk entered it.
void ProbeProgramFiles(const char* pattern) {
  char* probe = scanState.programFilesPattern;
  CopyTruncated(scanState.programFilesPattern, pattern);
  char* colon = strchr(probe, ':');
  if (!colon) return;
  colon[1] = '\0';
  AppendText(scanState.programFilesPattern, "\\Program Files");
  const DWORD attributes = PathAttributes(probe);
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

// One entry of a folder's listing. `name` is its 8-bit name as FindFirstFileA
// would give it (best fit included); `wideName` its own UTF-16 name, where the
// folder was listed through its handle (the NT line).
struct Found {
  DWORD attributes = 0;
  DWORD sizeLow = 0;
  DWORD sizeHigh = 0;
  char name[MAX_PATH] = "";
  std::wstring wideName;
};

// The file's length as its directory entry gives it, for the check's size
// prefilter. Unknown for a reparse point: its entry describes the link, while
// the check opens what the link points to.
int64_t EntryLength(const Found& found) {
  if (found.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return kLengthUnknown;
  const uint64_t length = (static_cast<uint64_t>(found.sizeHigh) << 32) | found.sizeLow;
  return length > INT64_MAX ? INT64_MAX : static_cast<int64_t>(length);
}

bool PumpAndTestStop() {
  BetweenEntries();
  return scanState.stopRequested != 0;
}

bool IsDirectory(const Found& found) { return (found.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// "." and "..", of `units` UTF-16 units.
bool IsDotName(const wchar_t* name, size_t units) {
  return (units == 1 || units == 2) && name[0] == L'.' && name[units - 1] == L'.';
}
bool IsWideDotEntry(const std::wstring& name) { return IsDotName(name.data(), name.size()); }

// A folder's identity: the same through every path that reaches it.
struct FolderIdentity {
  DWORD volumeSerial;
  DWORD indexHigh;
  DWORD indexLow;
  bool operator<(const FolderIdentity& other) const {
    if (volumeSerial != other.volumeSerial) return volumeSerial < other.volumeSerial;
    if (indexHigh != other.indexHigh) return indexHigh < other.indexHigh;
    return indexLow < other.indexLow;
  }
};

// Every folder that the current walk from its starting folder has entered,
// not just those on its current path: links between sibling trees would
// otherwise make the walk enter each tree once per way into it.
std::set<FolderIdentity> foldersVisited;
int walkDepth = 0;  // folder levels of the current walk

struct DepthScope {
  DepthScope() { ++walkDepth; }
  ~DepthScope() { --walkDepth; }
};

enum class Entry { kEntered, kUnguarded, kGone, kVisited, kNotExamined };

// A folder that a level walks, held open for as long as the level lasts: it
// was opened without following a link and checked through its handle to be a
// plain folder, and while the handle lives (shared for neither deletion nor
// renaming) nobody can swap it, or any folder above it, for something else.
// The 9x line cannot open folders: its levels go unguarded, as it has no
// links to follow.
class EnteredFolder {
 public:
  // `folder` ends in a backslash; `wideFolder`, where given, is its "\\?\"
  // path, which is opened instead.
  Entry Enter(const char* folder, bool named, const wchar_t* wideFolder = nullptr) {
    const Entry entry = Open(folder, named, wideFolder);
    return entry == Entry::kEntered ? Register() : entry;
  }

  // Enter in two steps, for a walk that opens folders ahead of reaching them:
  // Open as Enter but without noting the folder as entered, Register once
  // the walk reaches it (kEntered or kVisited).
  Entry Open(const char* folder, bool named, const wchar_t* wideFolder = nullptr) {
    if (GetOsFamily() != OS_WINNT) return Entry::kUnguarded;
    // The folder the walk starts from is the one its caller named, link or
    // not; below it, a link is never entered (unless a test turned that off).
    const bool followLink = named || !skipReparsePoints;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    {
      ExaminationBound bound;
      for (DWORD share : {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE},
                          DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
        const DWORD access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
        handle_ = FileHandle(wideFolder ? OpenPath(wideFolder, access, share, OPEN_EXISTING, flags)
                                        : OpenPath(folder, access, share, OPEN_EXISTING, flags));
        if (handle_.IsValid() || GetLastError() != ERROR_SHARING_VIOLATION) break;
      }
    }
    if (!handle_.IsValid()) return MeansNotExamined(GetLastError()) ? Entry::kNotExamined : Entry::kGone;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle_.Get(), &information)) return Entry::kNotExamined;
    // Listed as a plain folder, but by now a link or a file: swapped since.
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (!followLink && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)))
      return Entry::kNotExamined;
    identity_ = FolderIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                               information.nFileIndexLow};
    return Entry::kEntered;
  }

  Entry Register() { return foldersVisited.insert(identity_).second ? Entry::kEntered : Entry::kVisited; }

  // Null where the level is not held (the 9x line).
  HANDLE Handle() const { return handle_.IsValid() ? handle_.Get() : nullptr; }

 private:
  FileHandle handle_;
  FolderIdentity identity_{};
};

// One record of a listing through a folder's handle
// (FILE_DIRECTORY_INFORMATION), read where it lies in the buffer.
struct DirectoryRecord {
  uint32_t next;  // the next record's offset from this one; 0 for the last
  DWORD attributes;
  uint64_t length;
  const wchar_t* name;
  size_t units;  // 0 where the name does not lie wholly in the buffer
};

// False where no whole record starts `at` bytes into the `filled` ones.
bool ReadRecord(const uint8_t* buffer, size_t filled, size_t at, DirectoryRecord& record) {
  constexpr size_t kNextEntryOffset = 0, kEndOfFile = 40, kAttributes = 56, kNameLength = 60, kName = 64;
  if (at + kName > filled) return false;
  auto u32 = [&](size_t offset) {
    uint32_t value;
    memcpy(&value, buffer + at + offset, sizeof value);
    return value;
  };
  record.next = u32(kNextEntryOffset);
  record.attributes = u32(kAttributes);
  record.length = (static_cast<uint64_t>(u32(kEndOfFile + 4)) << 32) | u32(kEndOfFile);
  const uint32_t nameLength = u32(kNameLength);
  record.units = at + kName + nameLength <= filled ? nameLength / 2 : 0;
  record.name = reinterpret_cast<const wchar_t*>(buffer + at + kName);
  return true;
}

// A folder's entries by its pattern, as FindFirstFileA and FindNextFileA
// give them: the 8-bit walk's way (the 9x line, the memory phase, a device
// path), which holds no folder to list through.
class PatternListing {
 public:
  explicit PatternListing(const char* pattern) : pattern_(pattern) {}

  // False when the folder lists nothing; error() then says why.
  bool First(Found& found) {
    WIN32_FIND_DATAA data;
    search_ = FindHandle(FindFirstEntry(pattern_, data));
    error_ = search_.IsValid() ? 0 : GetLastError();
    return search_.IsValid() && Copy(data, found);
  }
  bool Next(Found& found) {
    WIN32_FIND_DATAA data;
    return FindNextFileA(search_.Get(), &data) && Copy(data, found);
  }
  DWORD error() const { return error_; }

 private:
  static bool Copy(const WIN32_FIND_DATAA& data, Found& found) {
    found.attributes = data.dwFileAttributes;
    found.sizeLow = data.nFileSizeLow;
    found.sizeHigh = data.nFileSizeHigh;
    memcpy(found.name, data.cFileName, sizeof found.name);
    return true;
  }

  const char* pattern_;
  FindHandle search_;
  DWORD error_ = 0;
};

// An entered folder's entries with their UTF-16 names, through its own
// handle: what was checked is what is listed, and backup semantics pass an
// access list that denies administrators.
class HandleListing {
 public:
  explicit HandleListing(HANDLE folder) : folder_(folder), buffer_(kBufferLength) {}

  // False when the folder lists nothing; error() then says why.
  bool First(Found& found) { return Query(true) && Next(found); }
  bool Next(Found& found) {
    DirectoryRecord record;
    while (!ReadRecord(buffer_.data(), filled_, offset_, record))
      if (!Query(false)) return false;
    offset_ = record.next ? offset_ + record.next : filled_;
    found.attributes = record.attributes;
    found.sizeLow = static_cast<DWORD>(record.length);
    found.sizeHigh = static_cast<DWORD>(record.length >> 32);
    found.wideName.assign(record.name, record.units);
    return true;
  }
  DWORD error() const { return error_; }

 private:
  static constexpr size_t kBufferLength = 16 * 1024;

  bool Query(bool restart) {
    offset_ = 0;
    return ListThroughHandle(folder_, buffer_.data(), buffer_.size(), restart, filled_, error_);
  }

  HANDLE folder_;
  std::vector<uint8_t> buffer_;
  size_t offset_ = 0;
  size_t filled_ = 0;
  DWORD error_ = 0;
};

// Enters a level's folder (the first level's as its caller named it); false
// where the walk does not go into it: gone, entered before, or noted as not
// examined.
bool EnterLevel(EnteredFolder& folder, const char* shown, const wchar_t* wide = nullptr) {
  const Entry entry = folder.Enter(shown, walkDepth == 1, wide);
  if (entry == Entry::kNotExamined) NoteNotExamined(shown, wide);
  return entry == Entry::kEntered || entry == Entry::kUnguarded;
}

// Whether the walk goes into a subfolder entry. A junction, symbolic link or
// mount point leads elsewhere (off the drive, or back up the path): its
// target is walked, if at all, where it really lies.
bool WalksInto(const Found& found) {
  if (!IsDirectory(found) || !SurvivesAsName(found.name)) return false;
  return !(skipReparsePoints && IsReparsePoint(found.attributes));
}

// The same for an entry of a folder walked by its UTF-16 path: its own name
// joins the path whatever its 8-bit form.
bool WalksIntoWide(const Found& found) {
  if (!IsDirectory(found) || found.wideName.empty() || IsWideDotEntry(found.wideName)) return false;
  return !(skipReparsePoints && IsReparsePoint(found.attributes));
}

// A run without a window has no pumping order to keep between the two
// passes: it keeps the subfolders' names from the folder's one listing
// instead of listing the folder again, which would double the walk's cost.
bool ListsOnce() { return !scanState.reportWindow && !scanState.memoryPhase; }

int WalkSubfolder(const char* levelPattern, int folderLength, const char* name);
int WalkWide(const std::string& shownFolder, const std::wstring& wideFolder);
int WalkAhead(const std::string& shownFolder, const std::wstring& wideFolder);

// The folder of a pattern as the NT line walks it: its full "\\?\" path,
// ending in a backslash. Empty where the walk keeps to 8-bit patterns: the
// 9x line, the memory phase, a system without NtQueryDirectoryFile.
std::wstring WideStartFolder(const char* levelPattern, int folderLength) {
  if (scanState.memoryPhase || folderLength <= 0 || GetOsFamily() != OS_WINNT || !CanListThroughHandle())
    return std::wstring();
  std::wstring folder = ExtendedLengthPath(WideFromFileText(std::string(levelPattern, folderLength).c_str()));
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder;
}

}  // namespace

bool UseReparsePointSkip(bool on) {
  return std::exchange(skipReparsePoints, on);
}

// On the 8-bit route, entries whose path or pattern would not fit 260 bytes
// are skipped: they are neither shown, checked nor walked, and the walk goes
// on with the next one.
int WalkFolder(const char* pattern) {
  scanState.foundInMemory = 0;
  if (strlen(pattern) <= kDrivePatternLength) ProbeProgramFiles(pattern);

  char levelPattern[MAX_PATH];
  if (!CopyText(levelPattern, pattern)) return scanState.filesScanned;
  const int folderLength = FolderPartLength(levelPattern);

  // The NT line walks by UTF-16 paths from here down: every name, in any
  // script, and paths of any length are examined and acted on as themselves.
  const std::wstring wideFolder = WideStartFolder(levelPattern, folderLength);
  if (!wideFolder.empty()) return WalkWide(std::string(levelPattern, folderLength), wideFolder);

  Found found;

  // The folder is entered through a handle, and not a second time however the
  // walk reached it again. The memory phase names a file, not a folder.
  const bool walksFolder = !scanState.memoryPhase && folderLength > 0;
  if (walksFolder && walkDepth == 0) foldersVisited.clear();
  DepthScope depth;
  EnteredFolder folder;
  char folderPath[MAX_PATH] = "";
  if (walksFolder) {
    memcpy(folderPath, levelPattern, folderLength);
    folderPath[folderLength] = '\0';
    if (!EnterLevel(folder, folderPath)) return scanState.filesScanned;
  }

  // File pass: show every entry, check every file.
  const bool listsOnce = ListsOnce();
  std::vector<std::string> subfolders;
  PatternListing listing(levelPattern);
  if (listing.First(found)) {
    do {
      if (PumpAndTestStop()) return 0;
      char path[MAX_PATH];
      bool fits;
      if (scanState.memoryPhase) {
        fits = CopyText(path, levelPattern);
      } else {
        if (folderLength < 0) return -1;
        fits = JoinPath(path, levelPattern, folderLength, found.name, "");
      }
      if (!fits && !scanState.memoryPhase && folderLength >= 0 && !IsDirectory(found) &&
          SurvivesAsName(found.name) && LengthCouldMatch(EntryLength(found))) {
        // A file that may be the worm, at a path the walk cannot hold.
        NoteNotExamined((std::string(levelPattern, folderLength) + found.name).c_str());
      }
      if (fits) {
        ShowPath(path);
        if (!IsDirectory(found) && (scanState.memoryPhase || SurvivesAsName(found.name))) {
          if (!scanState.memoryPhase) ++scanState.filesScanned;
          // The memory phase hands over no length: a process's file is always opened.
          CheckWithCheckerList(path, scanState.memoryPhase ? kLengthUnknown : EntryLength(found));
        }
      }
      if (listsOnce && WalksInto(found)) subfolders.emplace_back(found.name);
      if (PumpAndTestStop()) return 0;
    } while (listing.Next(found));
  } else if (folder.Handle() && MeansNotExamined(listing.error())) {
    NoteNotExamined(folderPath);
    return scanState.filesScanned;
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

  PatternListing again(subfolderPattern);
  if (!again.First(found)) return scanState.filesScanned;
  do {
    if (PumpAndTestStop()) return 0;
    if (WalksInto(found) && WalkSubfolder(levelPattern, folderLength, found.name) == -1)
      return -1;
  } while (again.Next(found));
  return scanState.filesScanned;
}

namespace {

// One subfolder of a level: -1 when a pattern without "." ends the walk
// there; a subfolder whose pattern would not fit is passed over.
int WalkSubfolder(const char* levelPattern, int folderLength, const char* name) {
  if (folderLength < 0) return -1;
  char childPattern[MAX_PATH];
  if (!JoinPath(childPattern, levelPattern, folderLength, name, "\\*.*")) {
    // Nothing in it can be held in the walk's paths.
    NoteNotExamined((std::string(levelPattern, folderLength) + name).c_str());
    return 0;
  }
  if (strstr(childPattern, "\\Program Files\\")) scanState.programFilesVisited = 1;
  return WalkFolder(childPattern) == -1 ? -1 : 0;
}

// One folder of the NT line's walk, and below it. `shownFolder` is the
// 8-bit text shown for the folder, as the caller named it and then with each
// name's shown form (see ShownFromWide); `wideFolder` its "\\?\" path. Both
// end in a backslash. The same order, pumping and stops as the 8-bit walk;
// no path is too long and no name unfit, so nothing returns -1.
int WalkWide(const std::string& shownFolder, const std::wstring& wideFolder) {
  if (walkDepth == 0 && ListsOnce() && foldersPreparedAhead) return WalkAhead(shownFolder, wideFolder);
  scanState.foundInMemory = 0;
  if (walkDepth == 0) foldersVisited.clear();
  // A path may run to 32,767 characters, some 16,000 folders deep: a tree
  // made that deep would outrun the stack long before.
  if (walkDepth >= kMaxWideDepth) {
    NoteNotExamined(shownFolder.c_str(), wideFolder.c_str());
    return scanState.filesScanned;
  }
  DepthScope depth;
  EnteredFolder folder;
  if (!EnterLevel(folder, shownFolder.c_str(), wideFolder.c_str())) return scanState.filesScanned;

  const bool listsOnce = ListsOnce();
  std::vector<Found> subfolders;
  Found found;
  if (!folder.Handle()) return scanState.filesScanned;  // not held: never on the NT line
  HandleListing listing(folder.Handle());
  if (listing.First(found)) {
    do {
      if (PumpAndTestStop()) return 0;
      const std::string shown = shownFolder + ShownFromWide(found.wideName.c_str());
      ShowPath(shown.c_str());
      if (!IsDirectory(found) && !found.wideName.empty() && !IsWideDotEntry(found.wideName)) {
        ++scanState.filesScanned;
        const std::wstring wide = wideFolder + found.wideName;
        CheckWithCheckerList(shown.c_str(), EntryLength(found), wide.c_str());
      }
      if (listsOnce && WalksIntoWide(found)) subfolders.push_back(found);
      if (PumpAndTestStop()) return 0;
    } while (listing.Next(found));
  } else if (MeansNotExamined(listing.error())) {
    NoteNotExamined(shownFolder.c_str(), wideFolder.c_str());
    return scanState.filesScanned;
  }

  auto walkSubfolder = [&](const Found& subfolder) {
    const std::string shown = shownFolder + ShownFromWide(subfolder.wideName.c_str()) + "\\";
    if (shown.find("\\Program Files\\") != std::string::npos) scanState.programFilesVisited = 1;
    WalkWide(shown, wideFolder + subfolder.wideName + L"\\");
  };
  if (listsOnce) {
    for (const Found& subfolder : subfolders) {
      if (PumpAndTestStop()) return 0;
      walkSubfolder(subfolder);
    }
    return scanState.filesScanned;
  }

  // Subfolder pass: each subfolder in turn, depth first.
  HandleListing again(folder.Handle());
  if (!again.First(found)) return scanState.filesScanned;
  do {
    if (PumpAndTestStop()) return 0;
    if (WalksIntoWide(found)) walkSubfolder(found);
  } while (again.Next(found));
  return scanState.filesScanned;
}

}  // namespace

// --- The silent run's walk: folders listed and files judged ahead ---
//
// The walk's order, its stop checks, and everything that acts or is counted
// stay on the scan's thread, as WalkWide would do them; what only looks (a
// folder's listing, and for each file whether its length rules out every
// record, confirmed from its own metadata) is prepared ahead by worker
// threads, a few folders ahead of the walk. Paths are joined only for files
// that the check opens and for folders that are walked.

namespace {

// One thread per core, the scan's own among them, at most this many: the
// listing and the metadata queries meet in the file system's own locks, and
// each thread costs memory and holds folders open ahead of the walk.
constexpr int kMaxWalkThreads = 4;
// Folders opened (and so prepared) ahead of the walk, per worker.
constexpr int kFoldersAheadPerThread = 4;
int walkThreads = 0;  // 0: one per core

int WalkThreadCount() {
  if (walkThreads > 0) return walkThreads < kMaxWalkThreads ? walkThreads : kMaxWalkThreads;
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const int cores = static_cast<int>(system.dwNumberOfProcessors);
  return cores < 1 ? 1 : cores > kMaxWalkThreads ? kMaxWalkThreads : cores;
}

// What the walk does with a run of a folder's entries, in listing order.
enum class Step : uint8_t {
  kEntries,    // `count` entries that are only shown (folders not walked, dot entries)
  kFiles,      // `count` files, counted and passed over by their length
  kFile,       // one file for the checker list
  kSubfolder,  // one folder to walk
};
struct PreparedStep {
  Step step;
  uint32_t count;
  uint32_t nameAt;  // kFile, kSubfolder: the name's place in the folder's names
  uint32_t nameLength;
  int64_t length;  // kFile: its entry's length
};

struct FolderJob {
  std::string shown;  // both end in a backslash
  std::wstring wide;
  int depth = 0;  // folder levels below the start
  bool start = false;
  // Held, and so open, while this folder's subtree is walked.
  std::shared_ptr<FolderJob> parent;
  EnteredFolder folder;
  bool opened = false;
  Entry entry = Entry::kGone;
  bool queued = false;
  // Written by whoever prepares the folder; read once `prepared` is set.
  bool prepared = false;
  bool listedNothing = false;
  DWORD listError = 0;
  std::vector<PreparedStep> steps;
  std::wstring names;
};

struct JudgingRule {
  bool judge;    // false: every file goes to the checker list
  bool confirm;  // ruled-out lengths are confirmed from the file's metadata
};

constexpr size_t kListingBufferLength = 64 * 1024;

// Wine (8) answers a metadata query relative to a folder's handle with "not
// found" for every name. Once one fails so where the full path is found,
// every later query goes by the full path.
std::atomic<bool> relativeQueryFails{false};

// One file of a folder being prepared, for QueryCurrentLength.
struct MetadataQuery {
  HANDLE folder;
  const wchar_t* name;
  size_t units;
  const std::wstring* ntFolder;  // "\??\...\"
  std::wstring* scratch;
};

// The length the file system keeps with the file itself: one
// NtQueryFullAttributesFile (FILE_NETWORK_OPEN_INFORMATION), relative to the
// folder's handle where that works.
bool QueryCurrentLength(void* context, uint64_t& length) {
  const MetadataQuery& query = *static_cast<const MetadataQuery*>(context);
  constexpr LONG kObjectNameNotFound = static_cast<LONG>(0xC0000034);
  const bool relative = !relativeQueryFails.load(std::memory_order_relaxed);
  if (relative) {
    const LONG status = QueryLengthByNtName(query.folder, query.name, query.units, length);
    if (status != kObjectNameNotFound) return status >= 0;
  }
  query.scratch->assign(*query.ntFolder);
  query.scratch->append(query.name, query.units);
  if (QueryLengthByNtName(nullptr, query.scratch->data(), query.scratch->size(), length) < 0) return false;
  if (relative) relativeQueryFails.store(true, std::memory_order_relaxed);
  return true;
}

// A file whose length may match, judged ahead as the check would judge it:
// true when it is clean, read whole. Opened as the check's second open does
// it (for reading, shared for reading and writing), so that it opens here
// exactly when the check could examine it, but never waiting for an oplock's
// break, and not followed if it has become a link. Anything else (refused,
// oplocked, a failed or slow read, a match) is left to the check on the
// scan's thread, with its own bound, its log lines and its actions: every
// read here is given up after the examination's bound.
bool JudgedCleanAhead(const MetadataQuery& query) {
  query.scratch->assign(*query.ntFolder);
  query.scratch->append(query.name, query.units);
  FileHandle file(OpenToReadAhead(query.scratch->data(), query.scratch->size()));
  return file.IsValid() && JudgedCleanThrough(file.Get());
}

void AddStep(FolderJob& job, Step step) {
  if (!job.steps.empty() && job.steps.back().step == step) {
    ++job.steps.back().count;
    return;
  }
  job.steps.push_back(PreparedStep{step, 1, 0, 0, 0});
}

void AddNamedStep(FolderJob& job, Step step, const wchar_t* name, size_t units, int64_t length) {
  job.steps.push_back(PreparedStep{step, 1, static_cast<uint32_t>(job.names.size()),
                                   static_cast<uint32_t>(units), length});
  job.names.append(name, units);
}

// Lists the job's folder through its handle and sorts its entries into steps
// (see WalkWide for what each entry gets). `path` is scratch for the paths of
// the files whose length is confirmed. Any thread; stops early once `cancel`
// is set.
void PrepareFolder(FolderJob& job, const JudgingRule& rule, std::vector<uint8_t>& buffer, std::wstring& path,
                   const volatile LONG& cancel) {
  // The NT form of the folder's "\\?\" path, for the queries by full path.
  std::wstring ntFolder = job.wide;
  if (ntFolder.compare(0, 4, L"\\\\?\\") == 0) ntFolder.replace(0, 4, L"\\??\\");
  bool restart = true;
  while (!cancel) {
    size_t filled = 0;
    DWORD error = 0;
    if (!ListThroughHandle(job.folder.Handle(), buffer.data(), buffer.size(), restart, filled, error)) {
      if (restart) {
        job.listedNothing = true;
        job.listError = error;
      }
      return;
    }
    restart = false;
    DirectoryRecord record;
    for (size_t entry = 0; !cancel && ReadRecord(buffer.data(), filled, entry, record);) {
      const DWORD attributes = record.attributes;
      const size_t units = record.units;
      const wchar_t* name = record.name;
      const bool dot = IsDotName(name, units);
      if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (units && !dot && !(skipReparsePoints && IsReparsePoint(attributes)))
          AddNamedStep(job, Step::kSubfolder, name, units, 0);
        else
          AddStep(job, Step::kEntries);
      } else if (!units || dot) {
        AddStep(job, Step::kEntries);
      } else {
        // As EntryLength.
        const int64_t length = IsReparsePoint(attributes) ? kLengthUnknown
                               : record.length > INT64_MAX ? INT64_MAX
                                                           : static_cast<int64_t>(record.length);
        bool passedOver = false;
        if (rule.judge) {
          MetadataQuery query{job.folder.Handle(), name, units, &ntFolder, &path};
          passedOver = LengthRulesOut(length, rule.confirm, QueryCurrentLength, &query) ||
                       (!IsReparsePoint(attributes) && JudgedCleanAhead(query));
        }
        if (passedOver) AddStep(job, Step::kFiles);
        else AddNamedStep(job, Step::kFile, name, units, length);
      }
      if (!record.next) break;
      entry += record.next;
    }
  }
}

// The walk's worker threads and the queue of folders they prepare, made at
// the first walk that wants them and kept for the process: each walk (one a
// drive, and a run may scan more than once) making threads of its own would
// pay for them each time, and the stacks of ended threads are given back
// only later (under Wine, a megabyte each, all counted in the working set).
// One walk runs at a time. Once made, a worker is never asked to stay idle:
// a walk that wants fewer than an earlier one (tests) gets them all.
struct WalkWorkers {
  CRITICAL_SECTION lock;
  HANDLE work = nullptr;  // counts the folders queued
  HANDLE done = nullptr;  // set each time a worker has prepared a folder
  int threads = 0;
  // Below, under `lock`: the running walk's folders, rule and cancellation.
  std::deque<std::shared_ptr<FolderJob>> queue;
  int busy = 0;  // folders that workers are preparing now
  const JudgingRule* rule = nullptr;
  volatile LONG cancel = 0;

  static DWORD WINAPI Work(void* parameter) {
    WalkWorkers& self = *static_cast<WalkWorkers*>(parameter);
    std::vector<uint8_t> buffer(kListingBufferLength);
    std::wstring path;
    for (;;) {
      WaitForSingleObject(self.work, INFINITE);
      std::shared_ptr<FolderJob> job;
      EnterCriticalSection(&self.lock);
      if (!self.queue.empty()) {
        job = self.queue.front();
        self.queue.pop_front();
        ++self.busy;
      }
      const JudgingRule* rule = self.rule;
      LeaveCriticalSection(&self.lock);
      if (!job) continue;
      PrepareFolder(*job, *rule, buffer, path, self.cancel);
      EnterCriticalSection(&self.lock);
      job->prepared = true;
      LeaveCriticalSection(&self.lock);
      job.reset();  // the walk's folders are let go before it may end
      EnterCriticalSection(&self.lock);
      --self.busy;
      LeaveCriticalSection(&self.lock);
      SetEvent(self.done);
    }
  }

  // At least `count` workers, as far as they can be made; false with none.
  bool Make(int count) {
    for (; threads < count; ++threads) {
      DWORD id;
      // A small stack: the work is shallow. Before XP the flag is ignored
      // and the size taken as the stack's first commit.
      HANDLE thread = CreateThread(nullptr, 64 * 1024, Work, this, STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
      if (!thread) break;
      CloseHandle(thread);
    }
    return threads > 0;
  }
};
WalkWorkers* walkWorkers = nullptr;  // never freed: its threads live as long

WalkWorkers* MadeWalkWorkers() {
  if (walkWorkers) return walkWorkers;
  WalkWorkers* made = new (std::nothrow) WalkWorkers;
  if (!made) return nullptr;
  made->work = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
  made->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!made->work || !made->done) {
    if (made->work) CloseHandle(made->work);
    if (made->done) CloseHandle(made->done);
    delete made;
    return nullptr;
  }
  InitializeCriticalSection(&made->lock);
  return walkWorkers = made;
}

// One walk's use of the workers. Without them, a folder is prepared when the
// walk waits for it.
class FolderPreparation {
 public:
  // `threads` counts the scan's own, which prepares folders too while it
  // waits for one.
  FolderPreparation(int threads, JudgingRule rule) : rule_(rule) {
    if (threads < 2) return;
    workers_ = MadeWalkWorkers();
    if (!workers_ || !workers_->Make(threads - 1)) {
      workers_ = nullptr;
      return;
    }
    EnterCriticalSection(&workers_->lock);
    workers_->rule = &rule_;
    workers_->cancel = 0;
    LeaveCriticalSection(&workers_->lock);
  }

  // The walk's folders leave the queue, and those being prepared are waited
  // for: they are this walk's, and the workers then wait for the next walk.
  ~FolderPreparation() {
    if (!workers_) return;
    EnterCriticalSection(&workers_->lock);
    workers_->cancel = 1;
    workers_->queue.clear();
    LeaveCriticalSection(&workers_->lock);
    for (;;) {
      EnterCriticalSection(&workers_->lock);
      const int busy = workers_->busy;
      LeaveCriticalSection(&workers_->lock);
      if (busy == 0) break;
      WaitForSingleObject(workers_->done, INFINITE);
    }
  }
  FolderPreparation(const FolderPreparation&) = delete;
  FolderPreparation& operator=(const FolderPreparation&) = delete;

  bool Threaded() const { return workers_ != nullptr; }

  // An entered folder, to be prepared ahead.
  void Queue(const std::shared_ptr<FolderJob>& job) {
    if (!workers_) return;
    EnterCriticalSection(&workers_->lock);
    workers_->queue.push_back(job);
    LeaveCriticalSection(&workers_->lock);
    job->queued = true;
    ReleaseSemaphore(workers_->work, 1, nullptr);
  }

  // Returns once the folder is prepared; meanwhile prepares whatever folder
  // is queued next, the awaited one first while no worker has taken it.
  void Wait(const std::shared_ptr<FolderJob>& job) {
    if (buffer_.empty()) buffer_.resize(kListingBufferLength);
    if (!job->queued) {
      PrepareFolder(*job, rule_, buffer_, path_, notCancelled_);
      job->prepared = true;
      return;
    }
    for (;;) {
      std::shared_ptr<FolderJob> next;
      EnterCriticalSection(&workers_->lock);
      const bool prepared = job->prepared;
      if (!prepared && !workers_->queue.empty()) {
        next = workers_->queue.front();
        workers_->queue.pop_front();
      }
      LeaveCriticalSection(&workers_->lock);
      if (prepared) return;
      if (!next) {
        WaitForSingleObject(workers_->done, INFINITE);
        continue;
      }
      PrepareFolder(*next, rule_, buffer_, path_, notCancelled_);
      EnterCriticalSection(&workers_->lock);
      next->prepared = true;
      LeaveCriticalSection(&workers_->lock);
    }
  }

 private:
  const JudgingRule rule_;
  WalkWorkers* workers_ = nullptr;
  const volatile LONG notCancelled_ = 0;  // the scan's thread stops between folders itself
  std::vector<uint8_t> buffer_;  // the walk's own
  std::wstring path_;
};

using FolderOrder = std::list<std::shared_ptr<FolderJob>>;

// Opens a folder the walk will reach (as WalkWide's Enter would, within the
// examination's bound, on the scan's thread) and queues it for preparation.
void OpenFolder(FolderJob& job, const std::shared_ptr<FolderJob>& shared, FolderPreparation& preparation) {
  if (job.opened || job.depth >= kMaxWideDepth) return;
  job.opened = true;
  job.entry = job.folder.Open(job.shown.c_str(), job.start, job.wide.c_str());
  if (job.entry == Entry::kEntered) preparation.Queue(shared);
}

// The folders from `from` on, as many as may be prepared ahead.
void OpenAhead(FolderOrder& order, FolderOrder::iterator from, FolderPreparation& preparation, int ahead) {
  for (int n = 0; from != order.end() && n < ahead; ++from, ++n) OpenFolder(**from, *from, preparation);
}

int WalkAhead(const std::string& shownFolder, const std::wstring& wideFolder) {
  scanState.foundInMemory = 0;
  foldersVisited.clear();
  DepthScope depth;  // a walk nested in a check goes the usual way
  JudgingRule rule{false, true};
  // Looked up here, so that the threads only read what is known.
  rule.judge = CanAskByNtName() &&
               PrepareLengthJudging(shownFolder.c_str(), rule.confirm);
  const int threads = WalkThreadCount();

  FolderOrder order;
  auto start = std::make_shared<FolderJob>();
  start->shown = shownFolder;
  start->wide = wideFolder;
  start->start = true;
  order.push_back(start);
  FolderPreparation preparation(threads, rule);
  const int ahead = preparation.Threaded() ? threads * kFoldersAheadPerThread : 1;

  // The folders in the order WalkWide enters them: each folder's subfolders
  // follow it, before the folders after it.
  for (FolderOrder::iterator at = order.begin(); at != order.end();) {
    const std::shared_ptr<FolderJob> job = *at;
    if (!job->start) {
      if (PumpAndTestStop()) return 0;
      if (job->shown.find("\\Program Files\\") != std::string::npos) scanState.programFilesVisited = 1;
    }
    scanState.foundInMemory = 0;
    if (job->depth >= kMaxWideDepth) {
      NoteNotExamined(job->shown.c_str(), job->wide.c_str());
      at = order.erase(at);
      continue;
    }
    OpenAhead(order, at, preparation, ahead);
    const Entry entry = job->entry == Entry::kEntered ? job->folder.Register() : job->entry;
    if (entry != Entry::kEntered) {
      if (entry == Entry::kNotExamined) NoteNotExamined(job->shown.c_str(), job->wide.c_str());
      at = order.erase(at);
      continue;
    }
    preparation.Wait(job);
    if (job->listedNothing) {
      if (MeansNotExamined(job->listError)) NoteNotExamined(job->shown.c_str(), job->wide.c_str());
      at = order.erase(at);
      continue;
    }

    std::vector<std::shared_ptr<FolderJob>> subfolders;
    std::string shown;
    std::wstring wide;
    for (const PreparedStep& step : job->steps) {
      switch (step.step) {
        case Step::kEntries:
          for (uint32_t n = 0; n < step.count; ++n)
            if (PumpAndTestStop() || PumpAndTestStop()) return 0;
          break;
        case Step::kFiles:
          for (uint32_t n = 0; n < step.count; ++n) {
            if (PumpAndTestStop()) return 0;
            ++scanState.filesScanned;
            if (PumpAndTestStop()) return 0;
          }
          break;
        case Step::kFile: {
          if (PumpAndTestStop()) return 0;
          const std::wstring name = job->names.substr(step.nameAt, step.nameLength);
          shown = job->shown + ShownFromWide(name.c_str());
          ++scanState.filesScanned;
          wide = job->wide + name;
          CheckWithCheckerList(shown.c_str(), step.length, wide.c_str());
          if (PumpAndTestStop()) return 0;
          break;
        }
        case Step::kSubfolder: {
          if (PumpAndTestStop()) return 0;
          const std::wstring name = job->names.substr(step.nameAt, step.nameLength);
          auto subfolder = std::make_shared<FolderJob>();
          subfolder->shown = job->shown + ShownFromWide(name.c_str()) + "\\";
          subfolder->wide = job->wide + name + L"\\";
          subfolder->depth = job->depth + 1;
          subfolder->parent = job;
          subfolders.push_back(subfolder);
          if (PumpAndTestStop()) return 0;
          break;
        }
      }
    }
    std::vector<PreparedStep>().swap(job->steps);
    std::wstring().swap(job->names);
    at = order.erase(at);
    at = order.insert(at, subfolders.begin(), subfolders.end());
  }
  return scanState.filesScanned;
}

}  // namespace

int UseWalkThreads(int threads) { return std::exchange(walkThreads, threads < 0 ? 0 : threads); }

bool UseFoldersPreparedAhead(bool on) { return std::exchange(foldersPreparedAhead, on); }
