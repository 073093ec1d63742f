#pragma once
// The floor a scan is measured against: FindFirstFileA/FindNextFileA over
// every folder of a tree, once each, counting the files and nothing else.

// Files below `folder` (a path without a trailing backslash).
long CountFilesByEnumeration(const char* folder);

// The same walk doing, for every entry, what the window asks of any walk: one
// pumped message and one status line (the path, through the report channel).
// A scan cannot be cheaper than this while it shows every entry.
long CountFilesShowingEach(const char* folder);
