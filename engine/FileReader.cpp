#include "engine/FileReader.h"

#include <winioctl.h>

#include "cleaning/OsVersion.h"
#include "engine/CandidateOpen.h"

namespace {

constexpr DWORD kRemovalAccess = GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES;

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// A reparse point whose tag is no name surrogate (deduplicated, compressed by
// WOF, a cloud file not yet fetched, ...) redirects nowhere: its content is what the
// file holds, and only an open that goes through its filter reads it.
bool HoldsDataBehindReparsePoint(HANDLE file, BY_HANDLE_FILE_INFORMATION& information) {
  if (!GetFileInformationByHandle(file, &information) ||
      !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  // The tag comes first; ERROR_MORE_DATA still delivers it.
  static union {
    DWORD tag;
    BYTE bytes[16 * 1024];
  } data;
  DWORD got = 0;
  if (!DeviceIoControl(file, FSCTL_GET_REPARSE_POINT, nullptr, 0, &data, sizeof data, &got, nullptr) &&
      GetLastError() != ERROR_MORE_DATA)
    return false;
  return !IsReparseTagNameSurrogate(data.tag);
}

// Within the examination's bound, and with backup semantics on the NT line:
// the scan's backup privilege then passes an access list that would hide the
// file from an administrator.
HANDLE Open(const char* path, const wchar_t* widePath, DWORD access, DWORD share, DWORD flags) {
  if (GetOsFamily() == OS_WINNT) flags |= FILE_FLAG_BACKUP_SEMANTICS;
  return OpenCandidateFile(path, access, share, flags, widePath);
}

}  // namespace

FileReader::FileReader(const char* path, const wchar_t* widePath) {
  if (GetOsFamily() != OS_WINNT) {
    handle_ = FileHandle(Open(path, nullptr, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_ATTRIBUTE_NORMAL));
    return;
  }
  DWORD access = kRemovalAccess;
  DWORD share = FILE_SHARE_READ;
  handle_ = FileHandle(Open(path, widePath, access, share, FILE_FLAG_OPEN_REPARSE_POINT));
  if (!handle_.IsValid()) {
    access = GENERIC_READ;
    share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    handle_ = FileHandle(Open(path, widePath, access, share, FILE_FLAG_OPEN_REPARSE_POINT));
  }
  BY_HANDLE_FILE_INFORMATION opened;
  if (handle_.IsValid() && HoldsDataBehindReparsePoint(handle_.Get(), opened)) {
    // Again through its filter. Should the name lead elsewhere by then, the
    // file is left unread rather than judged as something it is not.
    handle_ = FileHandle(Open(path, widePath, access, share, FILE_ATTRIBUTE_NORMAL));
    BY_HANDLE_FILE_INFORMATION reached;
    if (handle_.IsValid() &&
        (!GetFileInformationByHandle(handle_.Get(), &reached) || !SameFile(opened, reached)))
      handle_.Close();
  }
  removable_ = handle_.IsValid() && access == kRemovalAccess;
}

void FileReader::Close() {
  handle_.Close();
  removable_ = false;
}

bool JudgedFileLength(HANDLE file, int32_t& length) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || low > 0x7FFFFFFFu)
    return false;
  length = static_cast<int32_t>(low);
  return true;
}

bool FileReader::ReadExact(int32_t position, void* destination, uint32_t length) {
  if (position < 0) return false;
  if (SetFilePointer(handle_.Get(), position, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR)
    return false;
  DWORD got = 0;
  if (!ReadFile(handle_.Get(), destination, length, &got, nullptr)) {
    readFailed_ = true;
    return false;
  }
  return got == length;
}

bool FileReader::ResetAttributes(DWORD& error) { return ResetAttributesThrough(handle_.Get(), error); }

bool FileReader::MarkForDeletion(DWORD& error) { return MarkForDeletionThrough(handle_.Get(), error); }
