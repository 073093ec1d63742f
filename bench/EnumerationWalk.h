#pragma once
// The floor a scan is measured against: FindFirstFileA/FindNextFileA over
// every folder of a tree, once each, counting the files and nothing else.

// Files below `folder` (a path without a trailing backslash).
long CountFilesByEnumeration(const char* folder);
