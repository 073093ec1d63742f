#pragma once
// Bounded string work on the fixed 260-byte path buffers. Nothing here writes
// past a buffer: a text that would not fit is refused (or, for CopyTruncated,
// cut), and the caller decides what to skip.
#include <cstdarg>
#include <cstddef>
#include <string>

// Copies source into destination when it fits with its terminator; otherwise
// leaves destination as an empty string and returns false.
bool CopyText(char* destination, size_t destinationLength, const char* source);

// Appends source when the result fits; otherwise leaves destination unchanged
// and returns false.
bool AppendText(char* destination, size_t destinationLength, const char* source);

// Copies as much of source as fits, always terminating.
void CopyTruncated(char* destination, size_t destinationLength, const char* source);

template <size_t N>
bool CopyText(char (&destination)[N], const char* source) {
  return CopyText(destination, N, source);
}
template <size_t N>
bool AppendText(char (&destination)[N], const char* source) {
  return AppendText(destination, N, source);
}
template <size_t N>
void CopyTruncated(char (&destination)[N], const char* source) {
  CopyTruncated(destination, N, source);
}

// Length of a full path's root, where its first folder or file begins: 3
// after "X:\", after "\\server\share\" (the whole text when nothing follows
// the share), else 0.
size_t PathRootLength(const char* path);

// Names in log lines and on standard output come from the disk and the
// registry, where a value name may hold CR and LF: each character below 0x20
// is written as a visible escape ("\x0D"), so that no name can start a line
// of its own.
std::string EscapeControlCharacters(const char* text);

// vsnprintf into destination (always terminated, cut where it does not fit),
// with every %s and %c argument escaped as above; the format's own text,
// tabs and all, is taken as it is.
void FormatEscaped(char* destination, size_t destinationLength, const char* format, va_list args);
