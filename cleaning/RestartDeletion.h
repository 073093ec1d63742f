#pragma once
// Schedules a file that stays locked for deletion at the next restart: the
// delayed-move list on the NT line, wininit.ini on the 9x line. Returns 1
// when the deletion has been scheduled, 0 otherwise.
//
// The session manager deletes at boot, as SYSTEM, whatever the scheduled path
// names then; so on the NT line the path scheduled is never one a standard
// user can redirect. First the file is moved through `file` (a handle with
// DELETE access, or, when `file` is invalid or lacks it, a re-opened handle
// proven to be `identity`) into "\Scourix.Removed\" at the root of its
// volume, a folder that only Administrators and SYSTEM may change, under a
// name of our making without an executable extension, and that path is
// scheduled. When it cannot be moved (a holder that does not share deletion),
// its own path is scheduled only when it still leads to `identity`, runs
// through no reparse point, and no folder on it can be changed by a standard
// user. Otherwise nothing is scheduled and `reason` (NT line only, else
// null) says why, as the text after the detection name in a log line.
//
// `widePath` (NT line): the file's UTF-16 path, by which it is re-opened;
// `path` is then its shown text. Its own path is scheduled only when that
// text names it exactly and fits MAX_PATH (the delayed-move list is written
// through the 8-bit call); else it counts as a path that cannot be judged.
#include <windows.h>

#include <string>

#include "cleaning/files/Files.h"

int ScheduleDeleteAtRestart(const char* path, HANDLE file, const FileIdentity& identity,
                            const char** reason, const wchar_t* widePath = nullptr);

// The folder at the root of `path`'s volume that moved files wait in:
// "X:\Scourix.Removed". Created with an access list for Administrators and
// SYSTEM alone (owner Administrators, nothing inherited); one that exists is
// used only when this run created it, or when it is no reparse point, is
// owned by Administrators or SYSTEM and its list grants nobody else anything.
// False for a path that does not start with a drive letter.
bool PrepareRemovalFolder(const char* path, DWORD volume, char (&folder)[MAX_PATH]);
// Test seam: forgets which removal folders this run created.
void ForgetRemovalFolders();

// True when a standard user (Everyone, Authenticated Users, Users,
// INTERACTIVE, or CREATOR OWNER through an ACE that applies to the folder
// itself) may change a folder on `path` (each folder from the volume's root
// down to the file's own): one not owned by Administrators, SYSTEM or
// TrustedInstaller, one whose list grants such a user DELETE, WRITE_DAC,
// WRITE_OWNER, delete-child, add-file or add-subfolder (at the root, where a
// new name redirects nothing that exists, only the first four count), one
// that is a reparse point, and one whose owner or list cannot be read.
// Judged from the list's entries, never with the caller's token, which as
// SYSTEM or an administrator would pass everything.
bool UsersCanChangePath(const char* path);

// Test seam: reads a folder's owner and DACL as a self-relative security
// descriptor (GetKernelObjectSecurity by default). Wine keeps no owners or
// lists of its own on files, so tests give folders the lists of a real system
// through it. Null restores the system's reader.
using FolderSecurityReader = bool (*)(HANDLE folder, const char* path, std::string& descriptor);
FolderSecurityReader UseFolderSecurityReader(FolderSecurityReader reader);

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
