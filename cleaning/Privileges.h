#pragma once
// Privileges of the program's own access token.
#include <windows.h>

// Enables one privilege ("SeShutdownPrivilege", "SeDebugPrivilege") on the
// process token; it stays enabled for the rest of the run. Returns FALSE when
// the token cannot be opened; otherwise TRUE, with the last error as
// AdjustTokenPrivileges left it (0 when the privilege is now enabled,
// ERROR_NOT_ALL_ASSIGNED when the user does not hold it).
BOOL EnablePrivilege(const char* privilegeName);
