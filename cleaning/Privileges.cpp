#include "cleaning/Privileges.h"

#include "base/Handles.h"

BOOL EnablePrivilege(const char* privilegeName) {
  KernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive()))
    return FALSE;
  TOKEN_PRIVILEGES privileges = {};
  LookupPrivilegeValueA(nullptr, privilegeName, &privileges.Privileges[0].Luid);
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
  // The token is closed at once: the privilege stays with the process, and
  // the caller reads the adjustment's last error, which the close must keep.
  DWORD adjusted = GetLastError();
  token.Close();
  SetLastError(adjusted);
  return TRUE;
}
