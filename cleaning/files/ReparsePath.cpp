#include "cleaning/files/Files.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "cleaning/OsVersion.h"
#include "cleaning/WidePath.h"

namespace {

size_t FirstWideComponent(const std::wstring& path) {
  size_t start = 0;
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    const size_t server = path.find(L'\\', 8);
    const size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() : share + 1;
  }
  if (path.compare(0, 4, L"\\\\?\\") == 0) start = 4;
  if (path.size() >= start + 3 && path[start + 1] == L':' && path[start + 2] == L'\\') return start + 3;
  if (start == 0 && path.compare(0, 2, L"\\\\") == 0) {
    const size_t server = path.find(L'\\', 2);
    const size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() : share + 1;
  }
  return start;
}

}  // namespace

// By its UTF-16 form, which names the same file: the 8-bit calls widen the
// path with the same code page.
bool PathHasReparsePoint(const char* path) {
  if (GetOsFamily() != OS_WINNT) return false;
  if (strlen(path) >= MAX_PATH) return true;  // past what the 8-bit calls reach: not trusted
  const std::wstring wide = WideFromFileText(path);
  if (wide.empty()) return *path != '\0';  // not widened: not trusted
  return PathHasReparsePoint(wide.c_str());
}

bool PathHasReparsePoint(const wchar_t* path) {
  if (GetOsFamily() != OS_WINNT) return false;
  const std::wstring whole(path);
  for (size_t end = FirstWideComponent(whole); end < whole.size();) {
    const size_t separator = whole.find(L'\\', end);
    end = separator == std::wstring::npos ? whole.size() : separator;
    const std::wstring prefix = whole.substr(0, end);
    ++end;
    if (prefix.empty() || prefix.back() == L'\\') continue;  // "\\" runs
    DWORD attributes = PathAttributes(prefix.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      // Where GetFileAttributesW is missing the path cannot be tested, so it
      // is not trusted.
      DWORD error = GetLastError();
      return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  }
  return false;
}
