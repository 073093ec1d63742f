#include "engine/CheckerList.h"

#include "engine/VariantCheck.h"

const CheckerEntry CheckerList[] = {
    {"W32/Morvo.Worm ", CheckVariantFile},
    {nullptr, nullptr},
};

namespace {
const CheckerEntry* activeList = CheckerList;
int64_t checkedFileLength = kLengthUnknown;
}  // namespace

const CheckerEntry* ActiveCheckerList() { return activeList; }

const CheckerEntry* UseCheckerList(const CheckerEntry* list) {
  const CheckerEntry* previous = activeList;
  activeList = list ? list : CheckerList;
  return previous;
}

void CheckWithCheckerList(const char* path, int64_t knownLength) {
  const int64_t outer = checkedFileLength;  // a check that walks again nests
  checkedFileLength = knownLength;
  for (const CheckerEntry* entry = activeList; entry->familyName; ++entry) {
    if (entry->check(entry->familyName, path)) break;
  }
  checkedFileLength = outer;
}

int64_t CheckedFileLength() { return checkedFileLength; }
