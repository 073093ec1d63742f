#pragma once
// A fixture for memory-scan tests: the engine's report window, and a checker
// list that hands the real variant check only the files of one folder, so
// that the processes of other tests in the prefix are seen but never touched.
#include <string>
#include <vector>

#include "engine/CheckerList.h"
#include "engine/MemoryScan.h"
#include "engine/VariantCheck.h"
#include "tests/windows/support/EngineFixture.h"

class MemoryScanScope : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    scanState.infectedAction = kActionRemove;
    scanState.memoryPhase = 0;
    memoryRestartPrompt = 0;
    examined.clear();
    previous_ = UseCheckerList(kScoped);
  }
  void TearDown() override {
    UseCheckerList(previous_);
    memoryRestartPrompt = 0;
    EngineFixture::TearDown();
  }
  // Paths under this folder (any case; with or without it, a bare file name
  // as Wine's ToolHelp gives it) go to the real check.
  void Scope(const std::string& folder, const std::vector<std::string>& bareNames = {}) {
    scope = Lower(folder) + "\\";
    names = bareNames;
  }

  static std::string scope;
  static std::vector<std::string> names;
  static std::vector<std::string> examined;

 private:
  static int ScopedCheck(const char* familyName, const char* path) {
    examined.push_back(path);
    std::string lower = Lower(path);
    bool mine = !scope.empty() && lower.compare(0, scope.size(), scope) == 0;
    for (const std::string& name : names) mine |= lower == Lower(name);
    return mine ? CheckVariantFile(familyName, path) : 0;
  }
  static constexpr CheckerEntry kScoped[] = {{"W32/Morvo.Worm ", &MemoryScanScope::ScopedCheck},
                                             {nullptr, nullptr}};
  const CheckerEntry* previous_ = nullptr;
};

inline std::string MemoryScanScope::scope;
inline std::vector<std::string> MemoryScanScope::names;
inline std::vector<std::string> MemoryScanScope::examined;
