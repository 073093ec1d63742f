#include "bench/EnumerationWalk.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

long Walk(const char* folder) {
  char pattern[MAX_PATH];
  if (snprintf(pattern, sizeof pattern, "%s\\*.*", folder) >= static_cast<int>(sizeof pattern))
    return 0;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  long files = 0;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      ++files;
    } else if (!IsDotEntry(found.cFileName)) {
      char child[MAX_PATH];
      if (snprintf(child, sizeof child, "%s\\%s", folder, found.cFileName) <
          static_cast<int>(sizeof child))
        files += Walk(child);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return files;
}

}  // namespace

long CountFilesByEnumeration(const char* folder) { return Walk(folder); }
