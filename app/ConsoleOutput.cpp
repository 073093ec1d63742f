#include "app/ConsoleOutput.h"

#include <windows.h>

#include <cstring>

#include "base/Handles.h"
#include "base/SystemLibrary.h"

namespace {

using AttachConsoleFunction = BOOL(WINAPI*)(DWORD processId);

bool IsUsable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// The parent's console, attached once. AttachConsole came with XP: on older
// systems a window program started from a console has no way to it.
HANDLE ParentConsole() {
  static bool tried = false;
  static FileHandle console;
  if (tried) return console.Get();
  tried = true;
  static const SystemFunction<AttachConsoleFunction> attachConsole("kernel32.dll", "AttachConsole");
  auto attach = attachConsole.Get();
  if (!attach || !attach(ATTACH_PARENT_PROCESS)) return nullptr;
  *console.Receive() = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  return console.Get();
}

HANDLE OutputHandle() {
  HANDLE standard = GetStdHandle(STD_OUTPUT_HANDLE);
  if (IsUsable(standard)) return standard;
  HANDLE console = ParentConsole();
  return IsUsable(console) ? console : nullptr;
}

}  // namespace

bool WriteToConsole(const char* text) {
  HANDLE output = OutputHandle();
  if (!output) return false;
  DWORD written = 0;
  const DWORD length = static_cast<DWORD>(strlen(text));
  return WriteFile(output, text, length, &written, nullptr) && written == length;
}
