#pragma once
// System DLLs loaded by their full path in the system folder, never by a bare
// name: an elevated program must not pick up a DLL planted in its own folder
// or in the current one.
#include <windows.h>

// Loads (or finds already loaded) the DLL of that file name from the system
// folder (GetSystemDirectoryA; under WoW64 the loader maps it to SysWOW64).
// Null when it is missing or the path would not fit. The module stays loaded.
HMODULE LoadSystemLibrary(const char* fileName);

// The named export of a system DLL, or null where that DLL or export is
// missing: how functions newer than Windows 95 and NT 4 are reached.
template <typename Function>
Function SystemFunction(const char* fileName, const char* exportName) {
  HMODULE module = LoadSystemLibrary(fileName);
  if (!module) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, exportName)));
}

// Narrows where later LoadLibrary calls look, once, at program start: the
// system folder alone where kernel32 offers SetDefaultDllDirectories, else at
// least not the current folder (SetDllDirectoryA("")); nothing on systems
// that have neither. Returns which of the two took effect: 2, 1, or 0.
int HardenDllSearch();
