#pragma once
// The checks that the directory walk asks about each file, in order. A check
// returns non-zero when no later entry needs to be asked. The list ends with
// an entry whose family name is null.

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
