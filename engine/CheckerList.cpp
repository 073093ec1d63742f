#include "engine/CheckerList.h"

#include "engine/VariantCheck.h"

const CheckerEntry CheckerList[] = {
    {"W32/Morvo.Worm ", CheckVariantFile},
    {nullptr, nullptr},
};

namespace {
const CheckerEntry* activeList = CheckerList;
int64_t checkedFileLength = kLengthUnknown;
const wchar_t* checkedWidePath = nullptr;
}  // namespace

const CheckerEntry* ActiveCheckerList() { return activeList; }

const CheckerEntry* UseCheckerList(const CheckerEntry* list) {
  const CheckerEntry* previous = activeList;
  activeList = list ? list : CheckerList;
  return previous;
}

void CheckWithCheckerList(const char* path, int64_t knownLength, const wchar_t* widePath) {
  const int64_t outer = checkedFileLength;  // a check that walks again nests
  const wchar_t* outerWide = checkedWidePath;
  checkedFileLength = knownLength;
  checkedWidePath = widePath;
  for (const CheckerEntry* entry = activeList; entry->familyName; ++entry) {
    if (entry->check(entry->familyName, path)) break;
  }
  checkedFileLength = outer;
  checkedWidePath = outerWide;
}

int64_t CheckedFileLength() { return checkedFileLength; }

const wchar_t* CheckedFileWidePath() { return checkedWidePath; }
