#include "cleaning/OsVersion.h"

#include <windows.h>

namespace {
bool ReadVersion(OSVERSIONINFOA& version) {
  version = {};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) != FALSE;
}
}  // namespace

int GetOsFamily() {
  OSVERSIONINFOA version;
  if (!ReadVersion(version)) return OS_UNKNOWN;
  switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32_WINDOWS: return OS_WIN9X;
    case VER_PLATFORM_WIN32_NT: return OS_WINNT;
    default: return OS_OTHER;
  }
}

int GetNtGeneration() {
  OSVERSIONINFOA version;
  if (!ReadVersion(version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return NTGEN_OTHER;
  if (version.dwMajorVersion <= 4) return NTGEN_4;
  if (version.dwMajorVersion == 5) return NTGEN_5;
  return NTGEN_OTHER;
}
