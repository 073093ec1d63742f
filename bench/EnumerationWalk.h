#pragma once
// The floor a scan is measured against: FindFirstFileA/FindNextFileA over
// every folder of a tree, once each, counting the files and nothing else.

// Files below `folder` (a path without a trailing backslash).
long CountFilesByEnumeration(const char* folder);

// The same tree walked as the scan walks it, doing everything but the check:
// a file pass that pumps a message before and after every entry and shows
// each entry in the status line, then a second search of the folder for its
// subfolders that pumps once per entry. A scan cannot be cheaper than this.
long CountFilesShowingEach(const char* folder);
