#pragma once
// What a judged file is, as opposed to what names it: the volume's serial
// number and the 64-bit file index, read through a handle, with the number of
// names (hard links) it had then. Any step that must reach the file again by
// a path re-opens it without following a reparse point at its end and acts
// only when the identity is the same.
#include <windows.h>

#include <string>
#include <vector>

#include "base/Handles.h"

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
