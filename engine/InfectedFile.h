#pragma once
// What happens to a file once the variant check has named it, by
// scanState.infectedAction: 100 and 102 remove (attributes reset first; the
// holding process terminated and one retry; else deletion at restart),
// 101 renames (the character after the last "." becomes "V"), 103 only
// reports, any other code does nothing. Each outcome is one log line.
void HandleInfectedFile(const char* detectionName, const char* path);

// Finishes the memory phase for the file of a just-terminated worm process:
// announces the memory removal, waits a second for the process to let go of
// its file, then acts on it under the checker's family name.
void HandleMemoryRemoval(const char* familyName, const char* path);

// Renames the file so that the character after the last "." of its path
// becomes "V" (C:\dir\mal.exe becomes C:\dir\mal.Vxe), with its log line.
void RenameInfectedFile(const char* name, const char* path);
