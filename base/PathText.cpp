#include "base/PathText.h"

#include <cstring>

bool CopyText(char* destination, size_t destinationLength, const char* source) {
  if (destinationLength == 0) return false;
  size_t length = strlen(source);
  if (length >= destinationLength) {
    destination[0] = '\0';
    return false;
  }
  memcpy(destination, source, length + 1);
  return true;
}

bool AppendText(char* destination, size_t destinationLength, const char* source) {
  size_t used = strnlen(destination, destinationLength);
  size_t length = strlen(source);
  if (used == destinationLength || length >= destinationLength - used) return false;
  memcpy(destination + used, source, length + 1);
  return true;
}

void CopyTruncated(char* destination, size_t destinationLength, const char* source) {
  if (destinationLength == 0) return;
  size_t length = strnlen(source, destinationLength - 1);
  memcpy(destination, source, length);
  destination[length] = '\0';
}
