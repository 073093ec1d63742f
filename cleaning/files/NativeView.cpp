#include "cleaning/files/NativeView.h"

#include <windows.h>

#include "base/SystemLibrary.h"
#include "cleaning/OsVersion.h"

#ifdef _WIN64

FileSystemRedirectionOff::FileSystemRedirectionOff() {}
FileSystemRedirectionOff::~FileSystemRedirectionOff() {}

#else

namespace {
const SystemFunction<BOOL(WINAPI*)(void** previous)> disableRedirection("kernel32.dll",
                                                                        "Wow64DisableWow64FsRedirection");
const SystemFunction<BOOL(WINAPI*)(void* previous)> revertRedirection("kernel32.dll",
                                                                      "Wow64RevertWow64FsRedirection");
}  // namespace

// Both looked up here, while the redirection is still on.
FileSystemRedirectionOff::FileSystemRedirectionOff() {
  if (ThisWindows().wow64 && disableRedirection && revertRedirection)
    off_ = disableRedirection(&previous_) != FALSE;
}

FileSystemRedirectionOff::~FileSystemRedirectionOff() {
  if (off_) revertRedirection(previous_);
}

#endif
