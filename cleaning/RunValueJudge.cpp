#include "cleaning/RunValueJudge.h"

#include <cstring>

#include "cleaning/ProcessNames.h"

namespace {

bool StartsWithIgnoringCase(const char* text, const char* prefix, size_t length) {
  return CompareIgnoringCase(text, prefix, length) == 0;
}

bool OpensName(char c) { return c == '"' || c == '\\' || c == ' '; }
bool ClosesName(char c) { return c == '\0' || c == '"' || c == ' '; }

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

// Whether a program candidate is the file: the same text, or for a
// candidate without an extension, the file is the candidate with ".exe".
bool CandidateIsFile(const char* candidate, size_t length, const char* file, size_t fileLength) {
  if (length == 0 || !StartsWithIgnoringCase(candidate, file, length)) return false;
  if (ProgramHasExtension(candidate, length)) return length == fileLength;
  return length + 4 == fileLength && StartsWithIgnoringCase(file + length, ".exe", 4);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool StartsFile(const char* command, const char* file, size_t fileLength,
                ProgramExistsFunction programExists) {
  if (*command == '"') {
    const char* program = command + 1;
    const char* close = strchr(program, '"');
    size_t length = close ? static_cast<size_t>(close - program) : strlen(program);
    return CandidateIsFile(program, length, file, fileLength);
  }
  // An unquoted command with blanks: the system tries each prefix ending at
  // a blank and runs the first that exists.
  for (const char* end = command;; ++end) {
    if (*end != '\0' && !IsBlank(*end)) continue;
    const size_t length = static_cast<size_t>(end - command);
    if (CandidateIsFile(command, length, file, fileLength)) return true;
    if (*end == '\0' || (programExists && length > 0 && programExists(command, length)))
      return false;
  }
}

}  // namespace

RunValueVerdict JudgeRunValue(const char* text, const char* expanded, const char* file,
                              const char* const* systemFolders, size_t systemFolderCount,
                              ProgramExistsFunction programExists) {
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
  if (StartsFile(text, file, fileLength, programExists) ||
      StartsFile(expanded, file, fileLength, programExists))
    return RunValueVerdict::CommandWithPath;
  return RunValueVerdict::NotTheWorms;
}

bool ProgramHasExtension(const char* candidate, size_t length) {
  for (size_t i = length; i > 0; --i) {
    if (candidate[i - 1] == '\\') return false;
    if (candidate[i - 1] == '.') return true;
  }
  return false;
}
