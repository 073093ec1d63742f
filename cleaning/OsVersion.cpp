#include "cleaning/OsVersion.h"

#include <windows.h>

#include <cstring>

#include "base/SystemLibrary.h"

namespace {

struct WideVersion {  // ntdll's RTL_OSVERSIONINFOW
  ULONG size;
  ULONG major;
  ULONG minor;
  ULONG build;
  ULONG platform;
  WCHAR servicePack[128];
};

const SystemFunction<LONG(WINAPI*)(WideVersion*)> rtlGetVersion("ntdll.dll", "RtlGetVersion");
const SystemFunction<BOOL(WINAPI*)(HANDLE, BOOL*)> isWow64Process("kernel32.dll", "IsWow64Process");

RunningWindows Read() {
  RunningWindows windows = {};
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return windows;
  switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32_WINDOWS: windows.family = OS_WIN9X; break;
    case VER_PLATFORM_WIN32_NT: windows.family = OS_WINNT; break;
    default: windows.family = OS_OTHER; break;
  }
  windows.major = windows.reportedMajor = version.dwMajorVersion;
  windows.minor = version.dwMinorVersion;
  windows.build = windows.family == OS_WINNT ? version.dwBuildNumber : LOWORD(version.dwBuildNumber);
  static_assert(sizeof windows.servicePack == sizeof version.szCSDVersion, "the same text");
  memcpy(windows.servicePack, version.szCSDVersion, sizeof windows.servicePack);
  windows.servicePack[sizeof windows.servicePack - 1] = '\0';
  // Only on the NT line: Wine's ntdll answers under a 9x personality too,
  // where Windows 98's has no such export.
  WideVersion wide = {};
  wide.size = sizeof wide;
  if (windows.family == OS_WINNT && rtlGetVersion && rtlGetVersion(&wide) >= 0) {
    windows.major = wide.major;
    windows.minor = wide.minor;
    windows.build = wide.build;
  }
  BOOL wow64 = FALSE;
  windows.wow64 = isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
  return windows;
}

}  // namespace

const RunningWindows& ThisWindows() {
  static const RunningWindows windows = Read();
  return windows;
}

int GetOsFamily() { return ThisWindows().family; }

int GetNtGeneration() {
  const RunningWindows& windows = ThisWindows();
  if (windows.family != OS_WINNT) return NTGEN_OTHER;
  if (windows.reportedMajor <= 4) return NTGEN_4;
  if (windows.reportedMajor == 5) return NTGEN_5;
  return NTGEN_OTHER;
}
