#pragma once
// Whether a path is safe to act on by name: on the NT line a junction,
// symbolic link or mount point anywhere on it would send a deletion or a
// delayed move somewhere else than the folder that was walked.

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
