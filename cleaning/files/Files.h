#pragma once
// The one room for what the scan does to files and folders by path or by
// handle: opening (the judging open included), attributes and existence,
// long and short names, identity, the reparse test, and the changes by name
// and through a handle. Every path-based call here runs in the native view
// of the file system: a 32-bit process on 64-bit Windows sees the real
// System32 (and SysWOW64 under its own name), so no caller can forget to
// turn WoW64's redirection off, and none can leave it off while a DLL loads.
// Handle-based calls need no view. Changes go through the run's set of
// actions (MachineActions.h), which a report-only run makes refuse.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Handles.h"

// --- By path, in the native view ---

// CreateFileA; and CreateFileW, looked up at run time (the 9x line has no
// working one: INVALID_HANDLE_VALUE with ERROR_CALL_NOT_IMPLEMENTED).
HANDLE OpenPath(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                SECURITY_ATTRIBUTES* security = nullptr);
HANDLE OpenPath(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// The open a check judges a file through (OPEN_EXISTING). On the NT line it
// goes by UTF-16 (`widePath`, else `path` widened) through NtCreateFile, which
// returns at once where the file is oplocked; the break it started is then
// waited for here, so that no later read on the handle waits for it
// unbounded. On the 9x line, CreateFileA.
HANDLE OpenForJudging(const char* path, const wchar_t* widePath, DWORD access, DWORD share, DWORD flags);

// GetFileAttributesA / GetFileAttributesW (INVALID_FILE_ATTRIBUTES with the
// error where it fails), and GetFileAttributesEx, which Windows 95 before
// OSR2 lacks (false with ERROR_CALL_NOT_IMPLEMENTED).
DWORD PathAttributes(const char* path);
DWORD PathAttributes(const wchar_t* path);
bool PathAttributesEx(const char* path, WIN32_FILE_ATTRIBUTE_DATA& data);
bool PathAttributesEx(const wchar_t* path, WIN32_FILE_ATTRIBUTE_DATA& data);

// A file, not a folder, by that name.
bool IsExistingFile(const char* path);

// FindFirstFileA; the search goes on through the handle (FindNextFileA).
HANDLE FindFirstEntry(const char* pattern, WIN32_FIND_DATAA& found);

// GetLongPathNameA (Windows 98 and 2000 on) and GetShortPathNameA: the
// length written, 0 where the system cannot, or `size` and more where the
// buffer is too small.
DWORD LongPathOf(const char* path, char* buffer, DWORD size);
DWORD ShortPathOf(const char* path, char* buffer, DWORD size);

// Changes by name, through the run's set of actions: for the 9x line, which
// has neither links nor handles that can delete, and for steps that proved
// the path first. False with the Win32 error in GetLastError.
bool SetAttributesByName(const char* path, DWORD attributes);
bool DeleteByName(const char* path);
bool RenameByName(const char* path, const char* target);  // MoveFileA
bool MoveByNameEx(const char* path, const char* target, DWORD flags);  // MoveFileExA
// What a change makes on the way: a folder (CreateDirectoryA), a copy that
// replaces any file of its name (CopyFileA), a file to write (CreateFileA).
bool CreateFolder(const char* path, SECURITY_ATTRIBUTES* security);
bool CopyByName(const char* path, const char* target);
HANDLE CreateByName(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// --- A folder's entries, through its handle (the NT line) ---

// Whether ntdll has NtQueryDirectoryFile.
bool CanListThroughHandle();

// The next batch of the folder's entries (from its start when `restart`) as
// FILE_DIRECTORY_INFORMATION records in `buffer`: true with `filled` bytes;
// false at the end of the listing (`error` ERROR_NO_MORE_FILES) or when the
// folder cannot be listed (ERROR_ACCESS_DENIED, or ERROR_CALL_NOT_IMPLEMENTED).
bool ListThroughHandle(HANDLE folder, void* buffer, size_t length, bool restart, size_t& filled, DWORD& error);

// --- By NT name, for the walk's threads ---

// Whether ntdll has what the two calls below need (the NT line).
bool CanAskByNtName();

// The length the file system keeps with the file itself: one
// NtQueryFullAttributesFile of `name` (`units` UTF-16 units, no terminator),
// relative to the open `folder`, or an NT path ("\??\C:\...") where `folder`
// is null. The NTSTATUS: negative when it failed.
LONG QueryLengthByNtName(HANDLE folder, const wchar_t* name, size_t units, uint64_t& length);

// The file of an NT path, opened for reading ahead of the check: shared for
// reading and writing (as the check's second open), never followed if it is
// a link, never waiting for an oplock's break (invalid then), and overlapped,
// so that every read of it can be given up. INVALID_HANDLE_VALUE on failure.
HANDLE OpenToReadAhead(const wchar_t* name, size_t units);

// One read of such a file at `position`, given up after `milliseconds`
// (cancelled and false). True with the bytes read in `got`, 0 at the end.
bool ReadWithin(HANDLE file, uint32_t position, void* buffer, uint32_t length, DWORD milliseconds, DWORD& got);

// --- The reparse test ---

// Whether a path is safe to act on by name: on the NT line a junction,
// symbolic link or mount point anywhere on it would send a deletion or a
// delayed move somewhere else than the folder that was walked.
//
// True when the file itself or any folder on its path (the drive root or a
// UNC server and share apart) carries FILE_ATTRIBUTE_REPARSE_POINT, or when a
// component's attributes cannot be read for any reason other than its
// absence. A component that does not exist ends the test with false: nothing
// lies behind it, and a call on the path fails by itself. Always false on the
// 9x line, which has no reparse points.
bool PathHasReparsePoint(const char* path);

// The same for a UTF-16 path, "\\?\" and "\\?\UNC\" paths included (the
// first component that may be a link follows "\\?\X:\", respectively the
// share), whatever its length.
bool PathHasReparsePoint(const wchar_t* path);

// --- Identity, and changes through a handle ---

// What a judged file is, as opposed to what names it: the volume's serial
// number and the 64-bit file index, read through a handle, with the number of
// names (hard links) it had then. Any step that must reach the file again by
// a path re-opens it without following a reparse point at its end and acts
// only when the identity is the same.
struct FileIdentity {
  bool known = false;
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
  DWORD links = 0;

  // Same volume and index; the link count may differ (a name went).
  bool SameFile(const FileIdentity& other) const {
    return known && other.known && volume == other.volume && indexHigh == other.indexHigh &&
           indexLow == other.indexLow;
  }
};

// Reads the identity through an open handle (GetFileInformationByHandle).
bool IdentifyHandle(HANDLE file, FileIdentity& identity);

// Opens `path` (native view under WoW64) without following a reparse point at
// its end, with `access` and every sharing mode, and keeps the handle only
// when it is the file of `identity`. On failure the handle is invalid and
// `error` holds the Win32 error: ERROR_FILE_NOT_FOUND and the like from the
// open, or ERROR_NOT_SAME_DEVICE when the path names another file by now.
FileHandle OpenProvenFile(const char* path, const FileIdentity& identity, DWORD access, DWORD& error);
// The same by a UTF-16 path ("\\?\" paths included), on the NT line.
FileHandle OpenProvenFile(const wchar_t* path, const FileIdentity& identity, DWORD access, DWORD& error);

// Renames the open file (which must have been opened with DELETE) to the
// full Win32 path `target` on the same volume, through its handle:
// SetFileInformationByHandle(FileRenameInfo) where kernel32 has it (Vista
// on), else NtSetInformationFile(FileRenameInformation). Never replaces a
// file that exists. False with the Win32 error in `error`.
bool RenameThroughHandle(HANDLE file, const char* target, DWORD& error);

// Every name of the open file, as full paths ("C:\dir\name"), found through
// FindFirstFileNameW/FindNextFileNameW (Vista on), given one of its names.
// False when the system cannot list them: before Vista, and under Wine,
// whose kernel32 exports FindFirstFileNameW but ends the calling process in
// it.
bool ListFileNames(const char* path, std::vector<std::string>& names);

// Test seam: lists the names in place of the system. Null restores it.
using FileNameLister = bool (*)(const char* path, std::vector<std::string>& names);
FileNameLister UseFileNameLister(FileNameLister lister);

// One FILE_INFO_BY_HANDLE_CLASS (basic information, disposition, rename)
// through an open handle: by SetFileInformationByHandle where kernel32 has it
// (Vista on), else the same layout as the NT class by NtSetInformationFile.
// False with the reason in `error`. The real set of actions' own; callers go
// through Machine().setFileInformation.
bool SetInformationThrough(HANDLE file, int byHandleClass, ULONG ntClass, void* information, DWORD length,
                           DWORD& error);
// Test seam: the NT route even where kernel32 has the other (Wine has both),
// so that the older systems' way is tested too. Returns the previous setting.
bool UseNtSetInformationFile(bool always);

// Through any handle opened with FILE_WRITE_ATTRIBUTES, respectively DELETE:
// sets the attributes to FILE_ATTRIBUTE_ARCHIVE alone (read-only, hidden and
// system would each refuse the deletion), and marks the file for deletion
// when its last handle closes. False with the Win32 error in `error`.
bool ResetAttributesThrough(HANDLE file, DWORD& error);
bool MarkForDeletionThrough(HANDLE file, DWORD& error);
