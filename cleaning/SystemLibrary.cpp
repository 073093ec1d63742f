#include "cleaning/SystemLibrary.h"

#include <cstring>

namespace {
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
}  // namespace

HMODULE LoadSystemLibrary(const char* fileName) {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, sizeof path);
  size_t nameLength = strlen(fileName);
  if (length == 0 || length + 1 + nameLength >= sizeof path) return nullptr;
  path[length] = '\\';
  memcpy(path + length + 1, fileName, nameLength + 1);
  return LoadLibraryA(path);
}

int HardenDllSearch() {
  using SetDefaultDirectories = BOOL(WINAPI*)(DWORD flags);
  using SetDirectory = BOOL(WINAPI*)(const char* path);
  // SetDefaultDllDirectories: Windows 8, or 7/Vista with KB2533623.
  if (auto setDefault = SystemFunction<SetDefaultDirectories>("kernel32.dll", "SetDefaultDllDirectories")) {
    if (setDefault(kSearchSystem32)) return 2;
  }
  // SetDllDirectoryA: XP SP1 on; "" takes the current folder out of the search.
  if (auto setDirectory = SystemFunction<SetDirectory>("kernel32.dll", "SetDllDirectoryA")) {
    if (setDirectory("")) return 1;
  }
  return 0;
}
