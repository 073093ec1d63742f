#pragma once
// Terminates the process that runs an infected file, so that the file can be
// deleted. Each back-end only nominates candidates by name or path; a
// candidate is terminated only when the image path read through the process
// names the file (ImageIdentity), and through the handle that was checked.
// Returns 1 when the deletion may be tried again (the process was
// terminated, or nothing was attempted) and 0 on failure, after which a
// "Could not kill process" box titled with the path may have been shown.
//   9x line:                    KillByExeName; the box on failure
//   NT 2000, XP, Server 2003:   KillByModulePath; 1 whenever PSAPI listed processes, no box
//   other NT versions:          KillByPerfInstance; the box on failure
//   family unknown or other:    1, nothing attempted
#include <windows.h>

int KillProcessByPath(const char* path);

// Terminates the first process in ToolHelp's snapshot whose executable file
// name equals the path's file name (any case) and whose image is the file.
// Later processes of the file are not touched. Returns 1 when the
// termination succeeded, else 0.
int KillByExeName(const char* path);

// Terminates every process of the file whose performance-data instance name
// is the path's file name without its extension, alone or as "name#n" (any
// case). Returns 1 when at least one termination succeeded, else 0.
int KillByPerfInstance(const char* path);

// Terminates every listed process whose image is the file. Returns false
// when PSAPI is missing or reported no process; true otherwise, whether or
// not any process matched.
bool KillByModulePath(const char* path);

// The two queries of the performance-data back-end: the Perflib "Counters"
// names and HKEY_PERFORMANCE_DATA. Wine names no process object and its data
// never holds one, so a test puts its own answers in their place.
using PerformanceQueryFunction = LONG(WINAPI*)(HKEY key, LPCSTR valueName, LPDWORD reserved,
                                               LPDWORD type, LPBYTE data, LPDWORD length);
PerformanceQueryFunction UsePerformanceQuery(PerformanceQueryFunction function);
