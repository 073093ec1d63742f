#include "bench/EnumerationWalk.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "engine/ScanRun.h"
#include "state/ReportChannel.h"

namespace {

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

long Walk(const char* folder, bool showEach) {
  char pattern[MAX_PATH];
  if (snprintf(pattern, sizeof pattern, "%s\\*.*", folder) >= static_cast<int>(sizeof pattern))
    return 0;
  WIN32_FIND_DATAA found;
  long files = 0;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (showEach) {
      PumpOneMessage();
      char path[MAX_PATH];
      snprintf(path, sizeof path, "%s\\%s", folder, found.cFileName);
      ReportStatus(path);
      PumpOneMessage();
    }
    if (!directory) {
      ++files;
    } else if (!showEach && !IsDotEntry(found.cFileName)) {
      char child[MAX_PATH];
      if (snprintf(child, sizeof child, "%s\\%s", folder, found.cFileName) < static_cast<int>(sizeof child))
        files += Walk(child, showEach);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  if (!showEach) return files;

  search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    PumpOneMessage();
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDotEntry(found.cFileName)) continue;
    char child[MAX_PATH];
    if (snprintf(child, sizeof child, "%s\\%s", folder, found.cFileName) < static_cast<int>(sizeof child))
      files += Walk(child, showEach);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return files;
}

}  // namespace

long CountFilesByEnumeration(const char* folder) { return Walk(folder, false); }

long CountFilesShowingEach(const char* folder) { return Walk(folder, true); }
