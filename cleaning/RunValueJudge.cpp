#include "cleaning/RunValueJudge.h"

#include <cstring>

#include "cleaning/ProcessNames.h"

namespace {

bool StartsWithIgnoringCase(const char* text, const char* prefix, size_t length) {
  return CompareIgnoringCase(text, prefix, length) == 0;
}

bool OpensName(char c) { return c == '"' || c == '\\' || c == ' '; }
bool ClosesName(char c) { return c == '\0' || c == '"' || c == ' '; }
bool ClosesPath(char c) { return c == '\0' || c == ' ' || c == '"' || c == ','; }

// Whether `name` stands in `text` as a whole name somewhere.
bool HoldsWholeName(const char* text, const char* name) {
  const size_t length = strlen(name);
  if (length == 0) return false;
  for (const char* at = text; *at; ++at) {
    if (at != text && !OpensName(at[-1])) continue;
    if (StartsWithIgnoringCase(at, name, length) && ClosesName(at[length])) return true;
  }
  return false;
}

// The folder is `length` characters of a path; a system folder may carry
// trailing backslashes.
bool IsSystemFolder(const char* folder, size_t length, const char* const* systemFolders,
                    size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const char* system = systemFolders[i];
    size_t systemLength = strlen(system);
    while (systemLength > 0 && system[systemLength - 1] == '\\') --systemLength;
    if (systemLength > 0 && systemLength == length && StartsWithIgnoringCase(folder, system, length))
      return true;
  }
  return false;
}

bool BeginsWithPath(const char* command, const char* file, size_t fileLength) {
  if (*command == '"') ++command;
  return StartsWithIgnoringCase(command, file, fileLength) && ClosesPath(command[fileLength]);
}

}  // namespace

RunValueVerdict JudgeRunValue(const char* text, const char* expanded, const char* file,
                              const char* const* systemFolders, size_t systemFolderCount) {
  const char* lastSlash = strrchr(file, '\\');
  if (!lastSlash) return RunValueVerdict::NotTheWorms;
  const bool bare = strchr(text, '\\') == nullptr || text[0] == '\\';
  if (bare && HoldsWholeName(text, lastSlash + 1)) {
    return IsSystemFolder(file, static_cast<size_t>(lastSlash - file), systemFolders,
                          systemFolderCount)
               ? RunValueVerdict::BareCommand
               : RunValueVerdict::NotTheWorms;
  }
  const size_t fileLength = strlen(file);
  if (BeginsWithPath(text, file, fileLength) || BeginsWithPath(expanded, file, fileLength))
    return RunValueVerdict::CommandWithPath;
  return RunValueVerdict::NotTheWorms;
}
