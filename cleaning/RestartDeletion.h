#pragma once
// Schedules a file that stays locked for deletion at the next restart: the
// delayed-move list on the NT line, wininit.ini on the 9x line. Returns 1
// when the deletion has been scheduled, 0 otherwise. On the NT line a path
// with a reparse point on it is never scheduled.
#include <windows.h>

int ScheduleDeleteAtRestart(const char* path);

// Adds "key=value" to the [rename] section of the Windows folder's
// wininit.ini, creating the file if needed. The old file is first copied to
// the temporary folder, and the copy stays there. The new text is written to
// wininit.new beside it and flushed, then takes wininit.ini's place (on the
// 9x line by renames, the old file kept as wininit.old until the new one is
// in place). True on success; on any failure wininit.ini keeps its bytes. A
// read-only wininit.ini, and one larger than 8 MiB, are refused.
bool AddWininitRename(const char* key, const char* value);

// The delayed move of the NT line. Wine never refuses it, so tests put their
// own in its place to see a refusal.
using MoveFileExFunction = BOOL(WINAPI*)(const char* existing, const char* target, DWORD flags);
MoveFileExFunction UseMoveFileEx(MoveFileExFunction function);

// The writes of the wininit.ini rewrite. Wine's disks do not fill up, so
// tests put their own in its place to see a write fail.
using WriteFileFunction = BOOL(WINAPI*)(HANDLE file, LPCVOID data, DWORD length, LPDWORD written,
                                        LPOVERLAPPED overlapped);
WriteFileFunction UseWininitWrite(WriteFileFunction function);
