#include "cleaning/RestartDeletion.h"

#include <new>
#include <string>

#include "base/Handles.h"
#include "base/PathText.h"
#include "cleaning/FileSystemRedirection.h"
#include "cleaning/OsVersion.h"
#include "cleaning/ReparsePath.h"
#include "cleaning/WininitText.h"
#include "state/ScanState.h"

namespace {

// Far more than any real wininit.ini; Windows processes the file in real mode
// at start-up. A larger one is refused rather than read into memory.
constexpr DWORD kLargestWininit = 8u << 20;

MoveFileExFunction moveFileEx = MoveFileExA;
WriteFileFunction writeFile = WriteFile;

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return writeFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ReadWhole(HANDLE file, std::string& bytes) {
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || size > kLargestWininit)
    return false;
  bytes.resize(size);
  DWORD got = 0;
  return size == 0 || (ReadFile(file, &bytes[0], size, &got, nullptr) && got == size);
}

// A copy left behind hidden or read-only (by a crashed run, or by hand) would
// refuse to be overwritten and so block every later scheduling.
void ClearAttributes(const char* path) {
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
}

// Writes the whole text into a new file and flushes it to the disk, so that
// what replaces wininit.ini is complete. A failed attempt leaves no file.
bool WriteFlushed(const char* path, const std::string& text) {
  ClearAttributes(path);
  bool written;
  {
    FileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.IsValid()) return false;
    written = WriteAll(file.Get(), text) && FlushFileBuffers(file.Get());
  }
  if (!written) DeleteFileA(path);
  return written;
}

// The 9x line has no MoveFileEx: the old file steps aside under a third name
// and comes back should the new one fail to take its place.
bool ReplaceByRenames(const char* replacement, const char* target, const char* previous) {
  ClearAttributes(previous);
  DeleteFileA(previous);
  if (!MoveFileA(target, previous)) return false;
  if (MoveFileA(replacement, target)) {
    DeleteFileA(previous);
    return true;
  }
  MoveFileA(previous, target);
  return false;
}

bool ReplaceFile(const char* replacement, const char* target, const char* previous, bool exists) {
  if (!exists) return MoveFileA(replacement, target) != FALSE;
  if (GetOsFamily() == OS_WIN9X) return ReplaceByRenames(replacement, target, previous);
  return MoveFileExA(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// Name of a file beside wininit.ini: the Windows folder plus `name`.
bool SiblingPath(char (&path)[350], const char* name) {
  UINT length = GetWindowsDirectoryA(path, sizeof path);
  return length != 0 && length < sizeof path && AppendText(path, name);
}

// The old text, read from a fresh copy in the temporary folder (which stays
// there). False when the file is too large or the copy cannot be made.
bool ReadThroughTemporaryCopy(const char* target, std::string& oldText) {
  WIN32_FIND_DATAA found;
  {
    FindHandle search(FindFirstFileA(target, &found));
    if (!search.IsValid() || found.nFileSizeHigh != 0 || found.nFileSizeLow > kLargestWininit) return false;
  }
  char copy[MAX_PATH];
  DWORD length = GetTempPathA(sizeof copy, copy);
  if (length == 0 || length >= sizeof copy || !AppendText(copy, "wininit.ini")) return false;
  ClearAttributes(copy);
  // A copy that cannot be refreshed (held open, say) may be one left by an
  // earlier call: rewriting from it would drop entries added since.
  if (!CopyFileA(target, copy, FALSE)) return false;
  FileHandle source(CreateFileA(copy, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  return source.IsValid() && ReadWhole(source.Get(), oldText);
}

}  // namespace

MoveFileExFunction UseMoveFileEx(MoveFileExFunction function) {
  MoveFileExFunction previous = moveFileEx;
  moveFileEx = function ? function : MoveFileExA;
  return previous;
}

WriteFileFunction UseWininitWrite(WriteFileFunction function) {
  WriteFileFunction previous = writeFile;
  writeFile = function ? function : WriteFile;
  return previous;
}

// wininit.ini is never written in place: the new text goes into a sibling
// file, flushed, which then replaces it. Whatever fails on the way, the old
// file keeps its bytes.
bool AddWininitRename(const char* key, const char* value) {
  char target[350], replacement[350], previous[350];
  if (!SiblingPath(target, "\\wininit.ini") || !SiblingPath(replacement, "\\wininit.new") ||
      !SiblingPath(previous, "\\wininit.old"))
    return false;

  const DWORD attributes = GetFileAttributesA(target);
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Windows refuses to replace a read-only file; the check is made here too,
  // so that a file system that would allow it (a Unix one, for a privileged
  // user) does not overrule the user's read-only flag.
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  try {
    std::string oldText;
    if (exists && !ReadThroughTemporaryCopy(target, oldText)) return false;
    if (!WriteFlushed(replacement, AddRenameEntry(oldText, key, value))) return false;
  } catch (const std::bad_alloc&) {
    DeleteFileA(replacement);
    return false;
  }
  if (!ReplaceFile(replacement, target, previous, exists)) {
    DeleteFileA(replacement);
    return false;
  }
  // The new file takes the old one's hidden and system flags.
  const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (exists && kept) SetFileAttributesA(target, kept | FILE_ATTRIBUTE_ARCHIVE);
  return true;
}

int ScheduleDeleteAtRestart(const char* path) {
  if (scanState.reportOnly) return 0;  // a report-only run schedules nothing
  switch (GetOsFamily()) {
    case OS_WINNT: {
      // The restart would delete whatever the path leads to then: never a
      // path through a junction or a link.
      if (PathHasReparsePoint(path)) return 0;
      // A refused delayed move is no scheduling: the restart would not remove the file.
      FileSystemRedirectionOff nativeView;
      return moveFileEx(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 1 : 0;
    }
    case OS_WIN9X: {
      // Without a short form (the file vanished, say) there is nothing to schedule.
      char shortPath[MAX_PATH];
      DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
      if (length == 0 || length >= sizeof shortPath) return 0;
      return AddWininitRename("NUL", shortPath) ? 1 : 0;
    }
    default:
      return 0;
  }
}
