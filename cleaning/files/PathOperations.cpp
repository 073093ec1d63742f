#include <windows.h>

#include "base/SystemLibrary.h"
#include "cleaning/MachineActions.h"
#include "cleaning/files/Files.h"
#include "cleaning/files/NativeView.h"

namespace {

// Each looked up while the redirection is still on: a lookup may load a DLL.
// (decltype names the types only: none of these is imported.)
const SystemFunction<decltype(&CreateFileW)> createFileWide("kernel32.dll", "CreateFileW");
const SystemFunction<decltype(&GetFileAttributesW)> attributesWide("kernel32.dll", "GetFileAttributesW");
const SystemFunction<decltype(&GetFileAttributesExA)> attributesEx("kernel32.dll", "GetFileAttributesExA");
const SystemFunction<decltype(&GetFileAttributesExW)> attributesExWide("kernel32.dll", "GetFileAttributesExW");
const SystemFunction<decltype(&GetLongPathNameA)> longPathName("kernel32.dll", "GetLongPathNameA");

template <typename Function>
Function Present(const SystemFunction<Function>& function) {
  Function present = function.Get();
  if (!present) SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return present;
}

}  // namespace

HANDLE OpenPath(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                SECURITY_ATTRIBUTES* security) {
  FileSystemRedirectionOff nativeView;
  return CreateFileA(path, access, share, security, disposition, flags, nullptr);
}

HANDLE OpenPath(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  const auto create = Present(createFileWide);
  if (!create) return INVALID_HANDLE_VALUE;
  FileSystemRedirectionOff nativeView;
  return create(path, access, share, nullptr, disposition, flags, nullptr);
}

DWORD PathAttributes(const char* path) {
  FileSystemRedirectionOff nativeView;
  return GetFileAttributesA(path);
}

DWORD PathAttributes(const wchar_t* path) {
  const auto attributes = Present(attributesWide);
  if (!attributes) return INVALID_FILE_ATTRIBUTES;
  FileSystemRedirectionOff nativeView;
  return attributes(path);
}

bool PathAttributesEx(const char* path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  const auto attributes = Present(attributesEx);
  if (!attributes) return false;
  FileSystemRedirectionOff nativeView;
  return attributes(path, GetFileExInfoStandard, &data) != FALSE;
}

bool PathAttributesEx(const wchar_t* path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  const auto attributes = Present(attributesExWide);
  if (!attributes) return false;
  FileSystemRedirectionOff nativeView;
  return attributes(path, GetFileExInfoStandard, &data) != FALSE;
}

bool IsExistingFile(const char* path) {
  const DWORD attributes = PathAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HANDLE FindFirstEntry(const char* pattern, WIN32_FIND_DATAA& found) {
  FileSystemRedirectionOff nativeView;
  return FindFirstFileA(pattern, &found);
}

DWORD LongPathOf(const char* path, char* buffer, DWORD size) {
  const auto toLong = Present(longPathName);
  if (!toLong) return 0;
  FileSystemRedirectionOff nativeView;
  return toLong(path, buffer, size);
}

DWORD ShortPathOf(const char* path, char* buffer, DWORD size) {
  FileSystemRedirectionOff nativeView;
  return GetShortPathNameA(path, buffer, size);
}

bool SetAttributesByName(const char* path, DWORD attributes) {
  FileSystemRedirectionOff nativeView;
  return Machine().setFileAttributes(path, attributes) != FALSE;
}

bool DeleteByName(const char* path) {
  FileSystemRedirectionOff nativeView;
  return Machine().deleteFile(path) != FALSE;
}

bool RenameByName(const char* path, const char* target) {
  FileSystemRedirectionOff nativeView;
  return Machine().moveFile(path, target) != FALSE;
}

bool MoveByNameEx(const char* path, const char* target, DWORD flags) {
  FileSystemRedirectionOff nativeView;
  return Machine().moveFileEx(path, target, flags) != FALSE;
}

bool CreateFolder(const char* path, SECURITY_ATTRIBUTES* security) {
  FileSystemRedirectionOff nativeView;
  return Machine().createDirectory(path, security) != FALSE;
}

bool CopyByName(const char* path, const char* target) {
  FileSystemRedirectionOff nativeView;
  return Machine().copyFile(path, target, FALSE) != FALSE;
}

HANDLE CreateByName(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  FileSystemRedirectionOff nativeView;
  return Machine().createFile(path, access, share, nullptr, disposition, flags, nullptr);
}
