#include "engine/NotExamined.h"

#include <windows.h>

#include <set>
#include <string>

#include "state/ReportChannel.h"
#include "state/ScanState.h"

namespace {
std::set<std::string> noted;
}  // namespace

void NoteNotExamined(const char* path) {
  if (scanState.filesNotExamined == 0) noted.clear();  // a fresh run's state
  // A folder is named without its trailing backslash, a drive's root with it.
  std::string name(path);
  if (name.size() > 3 && name.back() == '\\') name.pop_back();
  if (!noted.insert(name).second) return;
  ++scanState.filesNotExamined;
  ReportLogLine("%s     could not be examined", name.c_str());
}

bool MeansNotExamined(unsigned long error) {
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_NO_MORE_FILES;
}
