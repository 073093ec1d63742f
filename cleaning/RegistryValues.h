#pragma once
// Two small registry operations of the cleaning code.
#include <windows.h>

#include <cstddef>

// view, here and below: the access flag of the registry view to open the key
// in (KEY_WOW64_64KEY, KEY_WOW64_32KEY), or 0 for the program's own view.

// Deletes one value; opens the key with KEY_ALL_ACCESS. Returns 1 when the
// value was deleted and the key closed without error, else 0. A report-only
// run (scanState.reportOnly) deletes nothing: it logs the value that would
// have gone, when it exists, and returns 0.
int DeleteRegValue(HKEY root, const char* keyPath, const char* valueName, REGSAM view = 0);

// Reads a value's data into buffer, always NUL-terminated; opens the key with
// KEY_READ. Returns 1 on success, 0 on any failure. A value that would not fit
// with its terminator is refused, never cut: a cut command line could match
// a file that the full one does not name.
int ReadRegValue(HKEY root, const char* keyPath, const char* valueName, char* buffer,
                 size_t capacity, REGSAM view = 0);

// Reads a value of an open key the same way.
int ReadOpenKeyValue(HKEY key, const char* valueName, char* buffer, size_t capacity);
