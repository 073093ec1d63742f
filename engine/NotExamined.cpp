#include "engine/NotExamined.h"

#include <windows.h>

#include <set>
#include <string>

#include "cleaning/WidePath.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

namespace {
std::set<std::string> noted;
}  // namespace

void NoteNotExamined(const char* path, const wchar_t* widePath) {
  if (scanState.filesNotExamined == 0) noted.clear();  // a fresh run's state
  // A folder is named without its trailing backslash, a drive's root with it.
  std::string name(path);
  if (name.size() > 3 && name.back() == '\\') name.pop_back();
  std::string key = name;
  if (widePath && !ShowsExactly(path, widePath)) {
    // The UTF-16 path's bytes, marked apart from any 8-bit text; without a
    // folder's trailing backslash, as its name. A path shown exactly keeps
    // its text as the key: the memory scan meets the same file by it.
    std::wstring wide(widePath);
    if (!wide.empty() && wide.back() == L'\\' && wide.size() > 7) wide.pop_back();
    key = std::string(1, '\0') + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
  }
  if (!noted.insert(key).second) return;
  ++scanState.filesNotExamined;
  ReportLogLine("%s     could not be examined", name.c_str());
}

bool MeansNotExamined(unsigned long error) {
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_NO_MORE_FILES;
}
