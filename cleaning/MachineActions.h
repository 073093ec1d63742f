#pragma once
// Every change that a run makes to the machine goes through one of two sets
// of actions, chosen once when the run starts: the real set, or the
// report-only set, which changes nothing and answers every call as refused
// with ERROR_CANCELLED ("not removed as per the user's selection"). Callers
// react to that answer, so no code anywhere asks which kind of run it is
// before it acts, and a destructive call added later acts only through here.
#include <windows.h>

struct MachineActions {
  BOOL(WINAPI* terminateProcess)(HANDLE process, UINT exitCode);
  BOOL(WINAPI* controlService)(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
  // Opens `keyPath` under `root` in `view` for writing, deletes the value
  // and closes the key: ERROR_SUCCESS, or why not.
  LONG (*deleteRegistryValue)(HKEY root, const char* keyPath, const char* valueName, REGSAM view);
  LONG(WINAPI* deleteRegistryKey)(HKEY root, const char* keyPath);
  BOOL(WINAPI* exitWindows)(UINT flags, DWORD reason);
  // Through an open handle (SetInformationThrough in the file room).
  bool (*setFileInformation)(HANDLE file, int byHandleClass, ULONG ntClass, void* information, DWORD length,
                             DWORD& error);
  // By name: the 9x line, the rename action, wininit.ini, the delayed move.
  BOOL(WINAPI* deleteFile)(const char* path);
  BOOL(WINAPI* setFileAttributes)(const char* path, DWORD attributes);
  BOOL(WINAPI* moveFile)(const char* existing, const char* target);
  BOOL(WINAPI* moveFileEx)(const char* existing, const char* target, DWORD flags);
  // What a change makes on the way: the removal folder, the copy and the new
  // text of wininit.ini. (The log is the run's own output, not a change: it
  // is written in every run.)
  BOOL(WINAPI* createDirectory)(const char* path, SECURITY_ATTRIBUTES* security);
  BOOL(WINAPI* copyFile)(const char* existing, const char* target, BOOL failIfExists);
  HANDLE(WINAPI* createFile)(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                             DWORD disposition, DWORD flags, HANDLE templateFile);
};

// The run's set.
const MachineActions& Machine();

// Chooses the run's set, once, when it starts; a run that never chooses
// acts for real (the window's scan).
void ChooseMachineActions(bool reportOnly);

// Test seam: the real set, whose calls a test may replace with stand-ins
// (a process that refuses to die, a restart that does not happen).
MachineActions& RealMachineActions();
