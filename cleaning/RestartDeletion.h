#pragma once
// Schedules a file that stays locked for deletion at the next restart: the
// delayed-move list on the NT line, wininit.ini on the 9x line. Returns 1
// when the deletion has been scheduled, 0 otherwise.
#include <windows.h>

int ScheduleDeleteAtRestart(const char* path);

// Adds "key=value" to the [rename] section of the Windows folder's
// wininit.ini, creating the file if needed. The old file is first copied to
// the temporary folder, and the copy stays there. True on success.
bool AddWininitRename(const char* key, const char* value);

// The delayed move of the NT line. Wine never refuses it, so tests put their
// own in its place to see a refusal.
using MoveFileExFunction = BOOL(WINAPI*)(const char* existing, const char* target, DWORD flags);
MoveFileExFunction UseMoveFileEx(MoveFileExFunction function);
