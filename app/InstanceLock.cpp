#include "app/InstanceLock.h"

#include <windows.h>

namespace {

// Windows 2000 and later keep one namespace per session; "Global\" reaches
// across them, so that a startup script in session 0 and a user's window
// never run together. Older systems have one namespace and refuse the prefix.
const char* LockName() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
      version.dwMajorVersion >= 5)
    return "Global\\Scourix.Worm.Removal";
  return "Scourix.Worm.Removal";
}

}  // namespace

bool InstanceLock::Acquire() {
  *mutex_.Receive() = CreateMutexA(nullptr, FALSE, LockName());
  return !(mutex_.IsValid() && GetLastError() == ERROR_ALREADY_EXISTS);
}
