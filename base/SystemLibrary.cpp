#include "base/SystemLibrary.h"

#include <cstring>

namespace {
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

// SetDefaultDllDirectories: Windows 8, or 7/Vista with KB2533623.
const SystemFunction<BOOL(WINAPI*)(DWORD flags)> setDefaultDllDirectories("kernel32.dll",
                                                                          "SetDefaultDllDirectories");
// SetDllDirectoryA: XP SP1 on; "" takes the current folder out of the search.
const SystemFunction<BOOL(WINAPI*)(const char* path)> setDllDirectory("kernel32.dll", "SetDllDirectoryA");

HMODULE LoadSystemLibrary(const char* fileName) {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, sizeof path);
  size_t nameLength = strlen(fileName);
  if (length == 0 || length + 1 + nameLength >= sizeof path) return nullptr;
  path[length] = '\\';
  memcpy(path + length + 1, fileName, nameLength + 1);
  return LoadLibraryA(path);
}

}  // namespace

void* FindSystemExport(const char* fileName, const char* exportName, bool& final) {
  HMODULE module = LoadSystemLibrary(fileName);
  final = module != nullptr;
  return module ? reinterpret_cast<void*>(GetProcAddress(module, exportName)) : nullptr;
}

DllSearch HardenDllSearch() {
  if (auto setDefault = setDefaultDllDirectories.Get()) {
    if (setDefault(kSearchSystem32)) return DllSearch::SystemFolderOnly;
  }
  if (auto setDirectory = setDllDirectory.Get()) {
    if (setDirectory("")) return DllSearch::NotCurrentFolder;
  }
  return DllSearch::Unchanged;
}
