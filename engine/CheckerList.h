#pragma once
// The checks that the directory walk asks about each file, in order. A check
// returns non-zero when no later entry needs to be asked. The list ends with
// an entry whose family name is null.
#include <cstdint>

using CheckFunction = int (*)(const char* familyName, const char* path);

struct CheckerEntry {
  const char* familyName;
  CheckFunction check;
};

// The program's list: {"W32/Morvo.Worm ", CheckVariantFile}.
extern const CheckerEntry CheckerList[];

// The list the walk asks. It is the program's list unless a test harness has
// installed its own; returns the list that was active before.
const CheckerEntry* ActiveCheckerList();
const CheckerEntry* UseCheckerList(const CheckerEntry* list);

// Asks the active list's entries about one file, first to last, until one
// returns non-zero. `knownLength` is the file's length as the walk's directory
// entry gives it, or kLengthUnknown; the checks can read it meanwhile through
// CheckedFileLength.
//
// On the NT line the walk also hands over `widePath`, the file's full UTF-16
// path ("\\?\"-prefixed): `path` is then only its 8-bit text for the log and
// the window (see ShownFromWide), which may not name the file at all (a name
// the code page cannot hold, a path past MAX_PATH). The checks open and act
// through CheckedFileWidePath meanwhile.
constexpr int64_t kLengthUnknown = -1;
void CheckWithCheckerList(const char* path, int64_t knownLength, const wchar_t* widePath = nullptr);

// The length handed to CheckWithCheckerList for the file being checked, and
// kLengthUnknown whenever a check is called some other way.
int64_t CheckedFileLength();

// The UTF-16 path handed to CheckWithCheckerList for the file being checked,
// and null when there is none (the 9x line, the memory phase, a check called
// some other way).
const wchar_t* CheckedFileWidePath();
