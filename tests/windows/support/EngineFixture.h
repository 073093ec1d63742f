#pragma once
// Common ground for engine tests: a fresh ScanState, a hidden window at the
// receiving end of the report channel that records what it is sent, and a
// checker list that records every file handed to it.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/CheckerList.h"
#include "state/ScanState.h"
#include "tests/windows/support/Text.h"
#include "tools/report-sink/ReportSink.h"

class EngineFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Paths handed to the check, in order, and the family names they came with.
  static std::vector<std::string> checkedPaths;
  static std::vector<std::string> checkedFamilies;
  // Called for every checked file; its result is the check's result.
  static std::function<int(const std::string& path)> onCheck;
  // A whole run's memory phase hands every running program's file to the
  // check; a test of the run sets this to record only its own files.
  static bool ignoreMemoryPhase;

  std::vector<std::string> logLines;
  std::vector<std::string> statuses;
  ReportSink* sink = nullptr;

 private:
  static int RecordCheck(const char* familyName, const char* path);
  const CheckerEntry* previousCheckers_ = nullptr;
};

// The same, with the program's own check behind the recorder: every file
// goes to CheckVariantFile, outside the memory phase, with removal as the
// action; the fixture still sees each one.
class RealCheckFixture : public EngineFixture {
 protected:
  void SetUp() override;
};

// The value that the next kernel handle of this process would get. Wine hands
// out the lowest free slot, so a handle left open in between shows as a change.
uintptr_t NextHandleValue();
