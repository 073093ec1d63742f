#include "cleaning/RestartDeletion.h"

#include <initializer_list>
#include <string>

#include "cleaning/OsVersion.h"
#include "cleaning/WininitText.h"
#include "engine/PathText.h"
#include "win/Handles.h"

namespace {

MoveFileExFunction moveFileEx = MoveFileExA;

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ReadWhole(HANDLE file, std::string& bytes) {
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0) return false;
  bytes.resize(size);
  DWORD got = 0;
  return size == 0 || (ReadFile(file, &bytes[0], size, &got, nullptr) && got == size);
}

}  // namespace

MoveFileExFunction UseMoveFileEx(MoveFileExFunction function) {
  MoveFileExFunction previous = moveFileEx;
  moveFileEx = function ? function : MoveFileExA;
  return previous;
}

bool AddWininitRename(const char* key, const char* value) {
  char target[350];
  UINT length = GetWindowsDirectoryA(target, sizeof target);
  if (length == 0 || length >= sizeof target || !AppendText(target, "\\wininit.ini")) return false;

  if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES) {
    FileHandle created(CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!created.IsValid()) return false;
    for (const std::string& part : {std::string("[rename]\r\n"), std::string(key), std::string("="),
                                    std::string(value), std::string("\r\n")}) {
      if (!WriteAll(created.Get(), part)) return false;
    }
    return true;
  }

  // Windows refuses to open a read-only file for writing; the check is made
  // here too, so that a file system that would allow it (a Unix one, for a
  // privileged user) does not overrule the user's read-only flag.
  if (GetFileAttributesA(target) & FILE_ATTRIBUTE_READONLY) return false;

  char copy[MAX_PATH];
  length = GetTempPathA(sizeof copy, copy);
  if (length == 0 || length >= sizeof copy || !AppendText(copy, "wininit.ini")) return false;
  // A copy that cannot be refreshed (held open, say) may be one left by an
  // earlier call: rewriting from it would drop entries added since.
  if (!CopyFileA(target, copy, FALSE)) return false;
  std::string oldText;
  {
    FileHandle source(CreateFileA(copy, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source.IsValid() || !ReadWhole(source.Get(), oldText)) return false;
  }
  // The new text is complete before the file is touched; the copy in the
  // temporary folder keeps the old one whatever happens to the write.
  const std::string newText = AddRenameEntry(oldText, key, value);
  FileHandle written(CreateFileA(target, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!written.IsValid()) return false;
  return WriteAll(written.Get(), newText) && SetEndOfFile(written.Get());
}

int ScheduleDeleteAtRestart(const char* path) {
  switch (GetOsFamily()) {
    case OS_WINNT:
      // A refused delayed move is no scheduling: the restart would not remove the file.
      return moveFileEx(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 1 : 0;
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
