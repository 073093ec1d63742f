#include "tests/windows/support/ScratchFolder.h"

#include <windows.h>

#include <stdexcept>

namespace {

std::wstring LongPath(const std::string& path) { return L"\\\\?\\" + Widened(path); }

}  // namespace

std::wstring Widened(const std::string& path) {
  std::wstring wide;
  for (char c : path) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

void WriteWideFileBytes(const std::wstring& path, const std::string& content) {
  const std::wstring full = L"\\\\?\\" + path;
  for (size_t at = full.find(L'\\', 7); at != std::wstring::npos; at = full.find(L'\\', at + 1))
    CreateDirectoryW(full.substr(0, at).c_str(), nullptr);
  HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create a file by its UTF-16 path");
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  if (!wrote || written != content.size()) throw std::runtime_error("cannot write a file by its UTF-16 path");
}

bool WideFileExists(const std::wstring& path) {
  return GetFileAttributesW((L"\\\\?\\" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolders(const std::string& path) {
  for (size_t at = path.find('\\', 3); ; at = path.find('\\', at + 1)) {
    std::string part = path.substr(0, at);
    CreateDirectoryW(LongPath(part).c_str(), nullptr);
    if (at == std::string::npos) break;
  }
}

namespace {

// Wide all the way down: names that the ANSI code page lacks go too.
void RemoveWideTree(const std::wstring& wide) {
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(wide.c_str());
    return;
  }
  // A link is removed as itself, never followed.
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((wide + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        RemoveWideTree(wide + L"\\" + name);
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
  }
  RemoveDirectoryW(wide.c_str());
}

}  // namespace

void RemoveTree(const std::string& path) { RemoveWideTree(LongPath(path)); }

void WriteFileBytes(const std::string& path, const std::string& content) {
  MakeFolders(path.substr(0, path.rfind('\\')));
  // CREATE_ALWAYS refuses a hidden or system file, and any read-only one.
  SetFileAttributesW(LongPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  if (!wrote || written != content.size()) throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string& path) {
  HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

ScratchFolder::ScratchFolder(const std::string& name, const std::string& parent)
    : path_(parent.back() == '\\' ? parent + name : parent + "\\" + name) {
  RemoveTree(path_);
  MakeFolders(path_);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::string ScratchFolder::AddFile(const std::string& relative, const std::string& content,
                                   unsigned long attributes) {
  std::string path = Join(relative);
  WriteFileBytes(path, content);
  if (attributes) SetFileAttributesA(path.c_str(), attributes);
  return path;
}

std::string ScratchFolder::AddFolder(const std::string& relative) {
  std::string path = Join(relative);
  MakeFolders(path);
  return path;
}

MappedFile::MappedFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  file_ = file;
  mapping_ = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping_) view_ = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0);
}

MappedFile::~MappedFile() {
  if (view_) UnmapViewOfFile(view_);
  if (mapping_) CloseHandle(mapping_);
  if (file_) CloseHandle(file_);
}
