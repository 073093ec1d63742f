#include "engine/StatusPath.h"

#include <cstring>

#include "base/PathText.h"

void ShortenPathForStatus(const char* source, char* destination, size_t destinationLength,
                          int width) {
  if (width > 99) width = 99;  // the status line was laid out for at most 99
  size_t length = strlen(source);
  int half = width / 2 - 1;
  if (half <= 0 || length <= static_cast<size_t>(width) ||
      static_cast<size_t>(width) >= destinationLength) {
    CopyTruncated(destination, destinationLength, source);
    return;
  }
  memcpy(destination, source, half);
  memset(destination + half, '.', width - 2 * half);
  memcpy(destination + width - half, source + length - half, half);
  destination[width] = '\0';
}
