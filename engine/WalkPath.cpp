#include "engine/WalkPath.h"

#include <cstring>

#include "base/PathText.h"

int FolderPartLength(const char* pattern) {
  const char* dot = strrchr(pattern, '.');
  if (!dot) return -1;
  return dot > pattern ? static_cast<int>(dot - pattern - 1) : 0;
}

bool JoinPath(char* destination, size_t destinationLength, const char* pattern, int folderLength,
              const char* name, const char* suffix) {
  // The walk always passes its own folder part; the test keeps a caller's
  // slip from reading past the pattern.
  if (folderLength < 0) return false;
  const size_t folder = static_cast<size_t>(folderLength);
  if (strnlen(pattern, folder) < folder) return false;
  const size_t nameLength = strlen(name);
  const size_t suffixLength = strlen(suffix);
  if (folder + nameLength + suffixLength >= destinationLength) return false;
  memcpy(destination, pattern, folder);
  memcpy(destination + folder, name, nameLength);
  memcpy(destination + folder + nameLength, suffix, suffixLength + 1);
  return true;
}

bool MakeSubfolderPattern(char* destination, size_t destinationLength, const char* levelPattern) {
  if (!CopyText(destination, destinationLength, levelPattern)) return false;
  if (char* dot = strrchr(destination, '.')) dot[1] = '\0';
  return AppendText(destination, destinationLength, "*");
}

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

bool SurvivesAsName(const char* name) {
  return name[0] != '\0' && !IsDotEntry(name) && strpbrk(name, "\\/:*?\"<>|") == nullptr;
}
