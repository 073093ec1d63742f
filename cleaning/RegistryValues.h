#pragma once
// The registry operations of the cleaning code, and the one reader of values
// as text that every part of the program uses.
#include <windows.h>

#include <cstddef>

#include "base/Handles.h"

// view, here and below: the access flag of the registry view to open the key
// in (KEY_WOW64_64KEY, KEY_WOW64_32KEY), or 0 for the program's own view.

// Opens root\keyPath with `access` (the view's flag included); invalid when
// the system refuses.
RegistryKey OpenRegistryKey(HKEY root, const char* keyPath, REGSAM access);

// Closes the key now; whether the system closed it without error, for the
// operations whose result says so.
bool CloseRegistryKey(RegistryKey& key);

// Deletes one value; opens the key with KEY_ALL_ACCESS. Returns 1 when the
// value was deleted and the key closed without error, else 0. A report-only
// run (whose actions refuse every change) deletes nothing: it logs the value that would
// have gone, when it exists, and returns 0.
int DeleteRegValue(HKEY root, const char* keyPath, const char* valueName, REGSAM view = 0);

enum class ValueRead {
  Read,      // in the buffer, NUL-terminated
  TooLarge,  // there, but it would not fit with its terminator: nothing of it kept
  Failed,    // no such value, or the system refused to read it
};

// Reads a value of an open key into buffer as text: its size is queried
// first (the type preset to REG_SZ and not tested), then its data. Data that
// ends in NUL needs its own length; data without one needs one byte more, for
// the terminator added. A value that would not fit is refused, never cut: a
// cut command line could match a file that the full one does not name.
// Unless Read, the buffer holds an empty string (when it has room for one).
ValueRead ReadKeyValue(HKEY key, const char* valueName, char* buffer, size_t capacity);

// The same for a value of root\keyPath, opened with KEY_READ.
int ReadRegValue(HKEY root, const char* keyPath, const char* valueName, char* buffer,
                 size_t capacity, REGSAM view = 0);
