#include "bench/EnumerationWalk.h"

#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/ScanRun.h"
#include "state/ReportChannel.h"

namespace {

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

long Walk(const char* folder, bool showEach) {
  char pattern[MAX_PATH];
  if (snprintf(pattern, sizeof pattern, "%s\\*.*", folder) >= static_cast<int>(sizeof pattern))
    return 0;
  WIN32_FIND_DATAA found;
  long files = 0;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (showEach) {
      PumpOneMessage();
      char path[MAX_PATH];
      snprintf(path, sizeof path, "%s\\%s", folder, found.cFileName);
      ReportStatus(path);
      PumpOneMessage();
    }
    if (!directory) {
      ++files;
    } else if (!showEach && !IsDotEntry(found.cFileName)) {
      char child[MAX_PATH];
      if (snprintf(child, sizeof child, "%s\\%s", folder, found.cFileName) < static_cast<int>(sizeof child))
        files += Walk(child, showEach);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  if (!showEach) return files;

  search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    PumpOneMessage();
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDotEntry(found.cFileName)) continue;
    char child[MAX_PATH];
    if (snprintf(child, sizeof child, "%s\\%s", folder, found.cFileName) < static_cast<int>(sizeof child))
      files += Walk(child, showEach);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return files;
}

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, void* apcRoutine, void* apcContext,
                                               IO_STATUS_BLOCK* ioStatus, void* buffer, ULONG length,
                                               int informationClass, BOOLEAN returnSingleEntry,
                                               UNICODE_STRING* fileName, BOOLEAN restartScan);
extern "C" NTSTATUS NTAPI NtQueryFullAttributesFile(OBJECT_ATTRIBUTES* attributes,
                                                    FILE_NETWORK_OPEN_INFORMATION* information);

constexpr int kFileDirectoryInformation = 1;
constexpr ULONG kSynchronousNonAlert = 0x20, kDirectoryFile = 0x1, kForBackup = 0x4000;

// FILE_DIRECTORY_INFORMATION, as NtQueryDirectoryFile lays it out.
struct DirectoryEntry {
  ULONG nextEntryOffset;
  ULONG fileIndex;
  LARGE_INTEGER times[4];
  LARGE_INTEGER endOfFile;
  LARGE_INTEGER allocationSize;
  ULONG attributes;
  ULONG nameLength;
  WCHAR name[1];
};

bool IsDotName(const DirectoryEntry& entry) {
  const ULONG units = entry.nameLength / sizeof(WCHAR);
  return entry.name[0] == L'.' && (units == 1 || (units == 2 && entry.name[1] == L'.'));
}

// One object name relative to an open folder, or (with `path`) a full NT path.
struct ObjectName {
  UNICODE_STRING text;
  OBJECT_ATTRIBUTES attributes;
  ObjectName(HANDLE folder, const WCHAR* name, size_t bytes) {
    text.Buffer = const_cast<WCHAR*>(name);
    text.Length = text.MaximumLength = static_cast<USHORT>(bytes);
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  }
};

// Wine (8.0) answers NtQueryFullAttributesFile relative to a folder handle
// with "not found" for every name; there the walk asks by the full path,
// which costs the path's joining on top, as the scan's confirmation does.
bool relativeQueryWorks = true;

bool QueryFileMetadata(HANDLE folder, std::wstring& folderPath, const DirectoryEntry& entry) {
  FILE_NETWORK_OPEN_INFORMATION information;
  if (relativeQueryWorks) {
    ObjectName name(folder, entry.name, entry.nameLength);
    NTSTATUS status = NtQueryFullAttributesFile(&name.attributes, &information);
    if (NT_SUCCESS(status)) return true;
    if (status != static_cast<NTSTATUS>(0xC0000034)) return false;
    relativeQueryWorks = false;
  }
  const size_t length = folderPath.size();
  folderPath += L'\\';
  folderPath.append(entry.name, entry.nameLength / sizeof(WCHAR));
  ObjectName name(nullptr, folderPath.c_str(), folderPath.size() * sizeof(WCHAR));
  const bool read = NT_SUCCESS(NtQueryFullAttributesFile(&name.attributes, &information));
  folderPath.resize(length);
  return read;
}

long WalkHandle(HANDLE folder, std::wstring& folderPath, std::vector<unsigned char>& buffer) {
  long files = 0;
  std::vector<std::pair<HANDLE, std::wstring>> subfolders;
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    IO_STATUS_BLOCK io = {};
    NTSTATUS status = NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                                           static_cast<ULONG>(buffer.size()), kFileDirectoryInformation,
                                           FALSE, nullptr, restart);
    if (!NT_SUCCESS(status) || io.Information == 0) break;
    for (size_t offset = 0;;) {
      const auto& entry = *reinterpret_cast<const DirectoryEntry*>(buffer.data() + offset);
      if (!IsDotName(entry)) {
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
          ObjectName name(folder, entry.name, entry.nameLength);
          HANDLE child = nullptr;
          if (NT_SUCCESS(NtOpenFile(&child, FILE_LIST_DIRECTORY | SYNCHRONIZE, &name.attributes, &io,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    kSynchronousNonAlert | kDirectoryFile | kForBackup)))
            subfolders.emplace_back(child, std::wstring(entry.name, entry.nameLength / sizeof(WCHAR)));
        } else if (QueryFileMetadata(folder, folderPath, entry)) {
          ++files;
        }
      }
      if (!entry.nextEntryOffset) break;
      offset += entry.nextEntryOffset;
    }
  }
  // Subfolders after the listing, so that one buffer serves the whole walk.
  for (auto& [child, name] : subfolders) {
    const size_t length = folderPath.size();
    folderPath += L'\\';
    folderPath += name;
    files += WalkHandle(child, folderPath, buffer);
    folderPath.resize(length);
    CloseHandle(child);
  }
  return files;
}

}  // namespace

long CountFilesAtSoundFloor(const char* folder) {
  HANDLE root = CreateFileA(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (root == INVALID_HANDLE_VALUE) return 0;
  std::vector<unsigned char> buffer(64 * 1024);
  std::wstring path = L"\\??\\";
  WCHAR wide[MAX_PATH];
  const int units = MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, MAX_PATH);
  if (units <= 1) {
    CloseHandle(root);
    return 0;
  }
  path += wide;
  long files = WalkHandle(root, path, buffer);
  CloseHandle(root);
  return files;
}

const char* SoundFloorQuery() {
  return relativeQueryWorks ? "relative to the folder's handle" : "by full path (no relative query here)";
}

long CountFilesByEnumeration(const char* folder) { return Walk(folder, false); }

long CountFilesShowingEach(const char* folder) { return Walk(folder, true); }
