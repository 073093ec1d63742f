#pragma once
// Fits a path into the status line: a path longer than `width` becomes its
// head, a run of dots and its tail, exactly `width` characters in all
// (width 60: 29 characters, "..", 29 characters). Shorter paths, and widths
// of 3 or less, are copied unchanged. Widths above 99 are taken as 99.
#include <cstddef>

void ShortenPathForStatus(const char* source, char* destination, size_t destinationLength,
                          int width);

template <size_t N>
void ShortenPathForStatus(const char* source, char (&destination)[N], int width) {
  ShortenPathForStatus(source, destination, N, width);
}
