#pragma once
// The directory walk's arithmetic on its search patterns and paths, all in
// 260-byte buffers (MAX_PATH, the terminator included). Portable: the names
// come from FindFirstFileA, which hands back whatever the disk holds, so this
// is host-tested and fuzzed.
#include <cstddef>

constexpr size_t kWalkPathLength = 260;

// Length of the folder part of a pattern: what is left after cutting it at
// the character before its last "." (the "*" of "*.*"). -1 when it has no
// ".". A file path of the memory phase is cut the same way, so "C:\app.x\run"
// gives 5: only a pattern ending in "*.*" has a true folder part.
int FolderPartLength(const char* pattern);

// The first folderLength characters of `pattern`, then `name`, then `suffix`.
// False, with destination untouched, when the result would not fit or when
// folderLength is negative or longer than the pattern.
bool JoinPath(char* destination, size_t destinationLength, const char* pattern, int folderLength,
              const char* name, const char* suffix);

// The pattern of a level's subfolder pass: the level's pattern cut after its
// last "." (when it has one) with "*" appended. For "\*.*" that is the same
// pattern; for a file path it matches the name's stem. False when it would
// not fit.
bool MakeSubfolderPattern(char* destination, size_t destinationLength, const char* levelPattern);

// "." or "..", the two entries every folder but a root lists.
bool IsDotEntry(const char* name);

// FindFirstFileA hands back a best-fit ANSI form of a Unicode name that the
// code page lacks: full-width backslashes and dots come back as "..\..\x".
// Joined onto the folder, such a name would lead out of it (or, with a ":",
// into a stream of another file), so the walk shows it but neither checks nor
// walks it. No real name is empty or holds a character that Win32 forbids in
// names, nor is "." or ".." anywhere but in the two dot entries, which are
// never checked or walked anyway.
bool SurvivesAsName(const char* name);

template <size_t N>
bool JoinPath(char (&destination)[N], const char* pattern, int folderLength, const char* name,
              const char* suffix) {
  return JoinPath(destination, N, pattern, folderLength, name, suffix);
}
template <size_t N>
bool MakeSubfolderPattern(char (&destination)[N], const char* levelPattern) {
  return MakeSubfolderPattern(destination, N, levelPattern);
}
