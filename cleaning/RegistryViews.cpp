#include "cleaning/RegistryViews.h"

namespace {
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE process, BOOL* wow64);
}  // namespace

bool IsWindows64Bit() {
#ifdef _WIN64
  return true;
#else
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return false;
  auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  BOOL wow64 = FALSE;
  return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

int MachineRegistryViews(REGSAM (&views)[kMaxRegistryViews]) {
  if (!IsWindows64Bit()) {
    views[0] = 0;
    return 1;
  }
  views[0] = KEY_WOW64_64KEY;
  views[1] = KEY_WOW64_32KEY;
  return 2;
}
