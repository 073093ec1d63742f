#include "cleaning/ProcessNames.h"

#include <cstring>

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

template <size_t N>
void CopyCut(char (&destination)[N], const char* source, size_t length) {
  if (length > N - 1) length = N - 1;
  memcpy(destination, source, length);
  destination[length] = '\0';
}

}  // namespace

const char* FileNameOfPath(const char* path) {
  const char* slash = strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

void UpperCaseAscii(char* text) {
  for (; *text; ++text) {
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
  }
}

int CompareIgnoringCase(const char* left, const char* right, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    char l = LowerAscii(left[i]);
    char r = LowerAscii(right[i]);
    if (l != r) return static_cast<unsigned char>(l) < static_cast<unsigned char>(r) ? -1 : 1;
    if (l == '\0') return 0;
  }
  return 0;
}

void ExeNameTarget(const char* path, char (&target)[kProcessPathLength]) {
  const char* name = FileNameOfPath(path);
  CopyCut(target, name, strlen(name));
  UpperCaseAscii(target);
}

bool PerfInstanceTarget(const char* path, char (&target)[kProcessPathLength]) {
  char copy[kProcessPathLength];
  CopyCut(copy, path, strlen(path));
  UpperCaseAscii(copy);
  size_t length = strlen(copy);
  if (length <= 4) return false;
  copy[length - 4] = '\0';
  const char* name = FileNameOfPath(copy);
  CopyCut(target, name, strlen(name));
  return target[0] != '\0';
}

bool PerfInstanceMatches(const char* instanceName, const char* target) {
  const size_t length = strlen(target);
  if (length == 0 || CompareIgnoringCase(instanceName, target, length) != 0) return false;
  const char* rest = instanceName + length;
  if (*rest == '\0') return true;
  if (*rest++ != '#' || *rest == '\0') return false;
  for (; *rest; ++rest)
    if (*rest < '0' || *rest > '9') return false;
  return true;
}

const char* WithoutDevicePrefix(const char* path) {
  if ((strncmp(path, "\\\\?\\", 4) == 0 || strncmp(path, "\\??\\", 4) == 0) && path[4] != '\0')
    return path + 4;
  return path;
}

bool CommandProgramCandidate(const char* command, int index, char (&candidate)[kProcessPathLength]) {
  candidate[0] = '\0';
  if (index < 0) return false;
  while (*command == ' ' || *command == '\t') ++command;
  size_t length;
  if (*command == '"') {
    if (index != 0) return false;
    ++command;
    const char* close = strchr(command, '"');
    length = close ? static_cast<size_t>(close - command) : strlen(command);
  } else {
    const char* end = command;
    for (int blanks = 0;; ++end) {
      if (*end == '\0') {
        if (blanks < index) return false;
        break;
      }
      if ((*end == ' ' || *end == '\t') && blanks++ == index) break;
    }
    length = static_cast<size_t>(end - command);
  }
  if (length == 0 || length >= sizeof candidate) return false;
  memcpy(candidate, command, length);
  candidate[length] = '\0';
  return true;
}

void ServiceNameOfPath(const char* path, char (&name)[kServiceNameLength]) {
  const char* file = FileNameOfPath(path);
  const char* dot = strrchr(file, '.');
  CopyCut(name, file, dot ? static_cast<size_t>(dot - file) : strlen(file));
}
