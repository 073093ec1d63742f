#pragma once
// What happens to a file once the variant check has named it, by
// scanState.infectedAction: 100 and 102 remove (attributes reset first; the
// holding process terminated and one retry; else deletion at restart),
// 101 renames (the character after the last "." becomes "V"), 103 only
// reports, any other code does nothing. Each outcome is one log line.
//
// `judged` is the file as the check opened it. When it holds the rights to
// remove (FileReader::Removable), the attributes are reset and the file is
// deleted through that handle, so that nothing but the judged file can be
// hit. Otherwise (a file another program holds, an access list that denies
// deletion) on the NT line its identity is kept and the handle closed; each
// later step (the attributes, the deletion, the deletion again after a
// termination) re-opens the path without following a link at its end and
// acts only when it reaches the same file, else the file is reported "Unable
// to remove" and counted as left. A path with a reparse point on it is not
// used at all. Without `judged` (a caller that vouches for the path) the
// identity is what the path names on entry. The 9x line, which has no links,
// goes by the path.
//
// A file with more than one name (hard links) counts as removed only when
// every name went: each name the system lists (FindFirstFileNameW) is
// re-opened, proven and deleted. Where the names cannot be listed the file is
// left untouched, "Unable to remove", counted as left.
//
// The holding process is terminated (KillProcessByPath) only when the
// deletion failed with a sharing or lock violation or a denied access, after
// the attributes were reset: only a holder explains those.
#include <windows.h>

#include "cleaning/files/Files.h"

//
// `widePath` (NT line): the file's UTF-16 path from the walk, by which every
// step that must go by a path goes; `path` is then only the text of the log
// lines. Without it, the 8-bit path is widened.
class FileReader;
void HandleInfectedFile(const char* detectionName, const char* path, FileReader* judged = nullptr,
                        const wchar_t* widePath = nullptr);

// Finishes the memory phase for the file of a just-terminated worm process:
// announces the memory removal, waits a second for the process to let go of
// its file, then opens the file and acts on it under the checker's family
// name. A file that opens is judged again through its own handle first: a
// path that leads to anything but a worm by now (a folder swapped for a
// junction during the wait) is reported "Unable to remove" and left alone.
void HandleMemoryRemoval(const char* familyName, const char* path);

// Renames the file so that the character after the last "." of its path
// becomes "V" (C:\dir\mal.exe becomes C:\dir\mal.Vxe), with its log line. On
// the NT line a path through a reparse point is not renamed ("Rename failed").
void RenameInfectedFile(const char* name, const char* path);

// Test seam: called with the path just before a removal acts on the file, so
// that a test can change the file system between the check and the removal.
using BeforeRemovalHook = void (*)(const char* path);
BeforeRemovalHook UseBeforeRemovalHook(BeforeRemovalHook hook);

// Test seam: ends the program that holds the file (KillProcessByPath by
// default), between a refused deletion and its one retry. Under Wine no
// holder can be found by the path on every personality, and a test may
// change the file system in that moment. Null restores the default.
using HolderKiller = int (*)(const char* path);
HolderKiller UseHolderKiller(HolderKiller killer);

// Hands a file that cannot go now to the deletion at the next restart
// (ScheduleDeleteAtRestart: `file` is its judged handle, or invalid, and
// `identity` what it is); on success the run offers the restart at its end,
// else the file counts as left in place and, on the NT line, one more line
// "PATH     NAME not scheduled for deletion at restart: WHY" says why.
void ScheduleRemovalAtRestart(const char* name, const char* path, HANDLE file, const FileIdentity& identity,
                              const wchar_t* widePath = nullptr);
