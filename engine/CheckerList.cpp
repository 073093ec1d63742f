#include "engine/CheckerList.h"

#include "engine/VariantCheck.h"

const CheckerEntry CheckerList[] = {
    {"W32/Morvo.Worm ", CheckVariantFile},
    {nullptr, nullptr},
};

namespace {
const CheckerEntry* activeList = CheckerList;
}

const CheckerEntry* ActiveCheckerList() { return activeList; }

const CheckerEntry* UseCheckerList(const CheckerEntry* list) {
  const CheckerEntry* previous = activeList;
  activeList = list ? list : CheckerList;
  return previous;
}
