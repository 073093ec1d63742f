#include "cleaning/FileSystemRedirection.h"

#include <windows.h>

#include "cleaning/SystemLibrary.h"

#ifdef _WIN64

FileSystemRedirectionOff::FileSystemRedirectionOff() {}
FileSystemRedirectionOff::~FileSystemRedirectionOff() {}
bool RunsUnderWow64() { return false; }

#else

namespace {

using DisableFunction = BOOL(WINAPI*)(void** previous);
using RevertFunction = BOOL(WINAPI*)(void* previous);

struct Redirection {
  DisableFunction disable = nullptr;
  RevertFunction revert = nullptr;
  bool wow64 = false;
};

Redirection functions;
bool lookedUp = false;

// Looked up on first use (a process does not change its bitness), while the
// redirection is still on.
const Redirection& Functions() {
  if (lookedUp) return functions;
  lookedUp = true;
  using IsWow64Function = BOOL(WINAPI*)(HANDLE process, BOOL* wow64);
  static const SystemFunction<IsWow64Function> isWow64Process("kernel32.dll", "IsWow64Process");
  static const SystemFunction<DisableFunction> disable("kernel32.dll", "Wow64DisableWow64FsRedirection");
  static const SystemFunction<RevertFunction> revert("kernel32.dll", "Wow64RevertWow64FsRedirection");
  auto isWow64 = isWow64Process.Get();
  BOOL wow64 = FALSE;
  if (!isWow64 || !isWow64(GetCurrentProcess(), &wow64) || !wow64) return functions;
  functions.wow64 = true;
  functions.disable = disable.Get();
  functions.revert = revert.Get();
  return functions;
}

}  // namespace

FileSystemRedirectionOff::FileSystemRedirectionOff() {
  const Redirection& functions = Functions();
  if (functions.disable && functions.revert) off_ = functions.disable(&previous_) != FALSE;
}

FileSystemRedirectionOff::~FileSystemRedirectionOff() {
  if (off_) Functions().revert(previous_);
}

bool RunsUnderWow64() { return Functions().wow64; }

#endif
