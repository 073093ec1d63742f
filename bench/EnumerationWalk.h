#pragma once
// The floor a scan is measured against: FindFirstFileA/FindNextFileA over
// every folder of a tree, once each, counting the files and nothing else.

// Files below `folder` (a path without a trailing backslash).
long CountFilesByEnumeration(const char* folder);

// The least that a sound scan of the tree costs on the NT line: every folder
// listed through its own handle in 64 KiB batches (NtQueryDirectoryFile), and
// for every file one metadata query relative to that handle
// (NtQueryFullAttributesFile), the length a scan must confirm before it may
// pass a file over. No check, no path text. 0 when the folder cannot be opened.
long CountFilesAtSoundFloor(const char* folder);
// How the last sound-floor walk asked for each file's metadata.
const char* SoundFloorQuery();

// The same tree walked as the scan walks it, doing everything but the check:
// a file pass that pumps a message before and after every entry and shows
// each entry in the status line, then a second search of the folder for its
// subfolders that pumps once per entry. A scan cannot be cheaper than this.
long CountFilesShowingEach(const char* folder);
