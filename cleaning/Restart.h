#pragma once
// Restarts the computer so that files scheduled for deletion at restart go,
// closing other programs without asking them to save (EWX_REBOOT | EWX_FORCE).
// Returns ExitWindowsEx's result; 0 when the token cannot be opened; or the
// error left by enabling the shutdown privilege (1300 when the user lacks it),
// in which case no restart is requested. Callers ignore the result.
#include <windows.h>

int RestartComputer();

// The same request, for a caller that must know whether it was made: true
// only when the system accepted the restart (ExitWindowsEx succeeded).
bool BeginRestart();

// The call that actually restarts. Under Wine it ends every process of the
// prefix, a test harness included, so tests put their own in its place.
using ExitWindowsFunction = BOOL(WINAPI*)(UINT flags, DWORD reason);
ExitWindowsFunction UseExitWindows(ExitWindowsFunction function);
