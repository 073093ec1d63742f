#include "cleaning/RegistryViews.h"

#include "cleaning/OsVersion.h"

bool IsWindows64Bit() {
#ifdef _WIN64
  return true;
#else
  return ThisWindows().wow64;
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
