#include "cleaning/files/Files.h"

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <utility>

#include "base/SystemLibrary.h"
#include "cleaning/files/NativeView.h"
#include "cleaning/MachineActions.h"

namespace {

// FILE_INFO_BY_HANDLE_CLASS values and the structures, which the headers
// declare only for Vista and later targets; the NT classes have the same
// layouts.
constexpr int kFileBasicInfo = 0;
constexpr int kFileRenameInfo = 3;
constexpr int kFileDispositionInfo = 4;
constexpr ULONG kNtFileBasicInformation = 4;
constexpr ULONG kNtFileRenameInformation = 10;
constexpr ULONG kNtFileDispositionInformation = 13;

struct BasicInformation {
  LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;  // 0: unchanged
  DWORD fileAttributes;
};
struct DispositionInformation {
  BOOLEAN deleteFile;
};

// FILE_RENAME_INFO and FILE_RENAME_INFORMATION share this layout.
struct RenameInformation {
  BOOLEAN replaceIfExists;
  HANDLE rootDirectory;
  DWORD fileNameLength;  // bytes, without a terminator
  WCHAR fileName[1];
};

using FindFirstNameFunction = HANDLE(WINAPI*)(const WCHAR* path, DWORD flags, DWORD* length,
                                              WCHAR* name);
using FindNextNameFunction = BOOL(WINAPI*)(HANDLE search, DWORD* length, WCHAR* name);

FileNameLister nameLister = nullptr;

const SystemFunction<void*> wineGetVersion("ntdll.dll", "wine_get_version");
const SystemFunction<FindFirstNameFunction> findFirstFileName("kernel32.dll", "FindFirstFileNameW");
const SystemFunction<FindNextNameFunction> findNextFileName("kernel32.dll", "FindNextFileNameW");

bool SystemListFileNames(const char* path, std::vector<std::string>& names) {
  auto findFirst = findFirstFileName.Get();
  auto findNext = findNextFileName.Get();
  if (wineGetVersion || !findFirst || !findNext) return false;
  WCHAR widePath[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH)) return false;
  // The names come without the drive: "\dir\name" on the volume of `path`.
  if (!(path[0] != '\0' && path[1] == ':')) return false;
  const std::string drive(path, 2);
  FileSystemRedirectionOff nativeView;
  WCHAR name[MAX_PATH];
  DWORD length = MAX_PATH;
  FindHandle search(findFirst(widePath, 0, &length, name));
  if (!search.IsValid()) return false;
  names.clear();
  do {
    char narrow[MAX_PATH];
    BOOL lossy = FALSE;
    if (!WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, sizeof narrow, nullptr, &lossy) || lossy)
      return false;  // a name the code page cannot hold cannot be re-opened here
    names.push_back(drive + narrow);
    length = MAX_PATH;
  } while (findNext(search.Get(), &length, name));
  return GetLastError() == ERROR_HANDLE_EOF && !names.empty();
}

}  // namespace

bool IdentifyHandle(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information;
  identity = FileIdentity();
  if (!GetFileInformationByHandle(file, &information)) return false;
  identity.known = true;
  identity.volume = information.dwVolumeSerialNumber;
  identity.indexHigh = information.nFileIndexHigh;
  identity.indexLow = information.nFileIndexLow;
  identity.links = information.nNumberOfLinks;
  return true;
}

namespace {

constexpr DWORD kEveryShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

template <typename Char>
FileHandle OpenProven(const Char* path, const FileIdentity& identity, DWORD access, DWORD& error) {
  FileHandle file(OpenPath(path, access | FILE_READ_ATTRIBUTES, kEveryShare, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT));
  FileIdentity reached;
  if (!file.IsValid()) {
    error = GetLastError();
  } else if (!IdentifyHandle(file.Get(), reached) || !identity.SameFile(reached)) {
    file.Close();
    error = ERROR_NOT_SAME_DEVICE;
  }
  return file;
}

}  // namespace

FileHandle OpenProvenFile(const char* path, const FileIdentity& identity, DWORD access, DWORD& error) {
  return OpenProven(path, identity, access, error);
}

FileHandle OpenProvenFile(const wchar_t* path, const FileIdentity& identity, DWORD access, DWORD& error) {
  return OpenProven(path, identity, access, error);
}

bool RenameThroughHandle(HANDLE file, const char* target, DWORD& error) {
  // "\??\" + the Win32 path, in UTF-16, is what both calls take.
  WCHAR wide[MAX_PATH + 8] = L"\\??\\";
  if (!MultiByteToWideChar(CP_ACP, 0, target, -1, wide + 4, MAX_PATH)) {
    error = GetLastError();
    return false;
  }
  const DWORD nameBytes = static_cast<DWORD>(wcslen(wide) * sizeof(WCHAR));
  union {
    RenameInformation information;
    BYTE bytes[sizeof(RenameInformation) + sizeof wide];
  } rename;
  memset(&rename, 0, sizeof rename);
  rename.information.replaceIfExists = FALSE;
  rename.information.rootDirectory = nullptr;
  rename.information.fileNameLength = nameBytes;
  memcpy(rename.information.fileName, wide, nameBytes);
  const DWORD length = static_cast<DWORD>(offsetof(RenameInformation, fileName) + nameBytes + sizeof(WCHAR));

  return Machine().setFileInformation(file, kFileRenameInfo, kNtFileRenameInformation, &rename, length, error);
}

bool ListFileNames(const char* path, std::vector<std::string>& names) {
  return nameLister ? nameLister(path, names) : SystemListFileNames(path, names);
}

FileNameLister UseFileNameLister(FileNameLister lister) {
  return std::exchange(nameLister, lister);
}

bool ResetAttributesThrough(HANDLE file, DWORD& error) {
  BasicInformation basic{};
  basic.fileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  return Machine().setFileInformation(file, kFileBasicInfo, kNtFileBasicInformation, &basic, sizeof basic, error);
}

bool MarkForDeletionThrough(HANDLE file, DWORD& error) {
  DispositionInformation disposition{TRUE};
  return Machine().setFileInformation(file, kFileDispositionInfo, kNtFileDispositionInformation, &disposition,
                                     sizeof disposition, error);
}
