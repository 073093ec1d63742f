#include "cleaning/ReparsePath.h"

#include <windows.h>

#include <cstring>

#include "cleaning/FileSystemRedirection.h"
#include "cleaning/OsVersion.h"

namespace {

// Where the first component that may be a link begins: after "X:\", after
// "\\server\share\", else at the start.
size_t FirstComponent(const char* path) {
  if (path[0] != '\0' && path[1] == ':' && path[2] == '\\') return 3;
  if (path[0] == '\\' && path[1] == '\\') {
    const char* server = strchr(path + 2, '\\');
    const char* share = server ? strchr(server + 1, '\\') : nullptr;
    return share ? static_cast<size_t>(share - path) + 1 : strlen(path);
  }
  return 0;
}

}  // namespace

bool PathHasReparsePoint(const char* path) {
  if (GetOsFamily() != OS_WINNT) return false;
  char prefix[MAX_PATH];
  size_t length = strlen(path);
  if (length >= sizeof prefix) return true;  // cannot be tested, so not trusted
  FileSystemRedirectionOff nativeView;
  for (size_t end = FirstComponent(path); end < length;) {
    const char* separator = strchr(path + end, '\\');
    end = separator ? static_cast<size_t>(separator - path) : length;
    memcpy(prefix, path, end);
    prefix[end] = '\0';
    ++end;
    if (prefix[0] == '\0' || prefix[strlen(prefix) - 1] == '\\') continue;  // "\\" runs
    DWORD attributes = GetFileAttributesA(prefix);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      DWORD error = GetLastError();
      return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  }
  return false;
}
