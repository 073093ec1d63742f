#include "cleaning/Privileges.h"

BOOL EnablePrivilege(const char* privilegeName) {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return FALSE;
  TOKEN_PRIVILEGES privileges = {};
  LookupPrivilegeValueA(nullptr, privilegeName, &privileges.Privileges[0].Luid);
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  // The token is closed at once: the privilege stays with the process, and
  // the caller reads the adjustment's last error, which CloseHandle keeps.
  DWORD adjusted = GetLastError();
  CloseHandle(token);
  SetLastError(adjusted);
  return TRUE;
}
