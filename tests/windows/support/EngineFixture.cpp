#include "tests/windows/support/EngineFixture.h"

#include "cleaning/MachineActions.h"
#include "cleaning/Restart.h"
#include "engine/VariantCheck.h"

namespace {
BOOL WINAPI PretendToRestart(UINT, DWORD) { return TRUE; }
}  // namespace

std::vector<std::string> EngineFixture::checkedPaths;
std::vector<std::string> EngineFixture::checkedFamilies;
std::function<int(const std::string&)> EngineFixture::onCheck;

void EngineFixture::SetUp() {
  scanState = ScanState{};
  checkedPaths.clear();
  checkedFamilies.clear();
  onCheck = nullptr;
  ignoreMemoryPhase = false;
  static const CheckerEntry recorder[] = {{"W32/Morvo.Worm ", &EngineFixture::RecordCheck},
                                          {nullptr, nullptr}};
  previousCheckers_ = UseCheckerList(recorder);
  // No test may restart the prefix: under Wine that ends every process in it.
  UseExitWindows(PretendToRestart);
  sink = new ReportSink([this](const char* line) { logLines.push_back(line); },
                        [this](const char* status) { statuses.push_back(status); });
  ASSERT_NE(sink->Window(), nullptr) << "no report window (is an X display set?)";
  scanState.reportWindow = sink->Window();
  // Messages left by window creation must not count as the scan's.
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

void EngineFixture::TearDown() {
  ChooseMachineActions(false);  // a report-only run's choice ends with its test
  UseCheckerList(previousCheckers_);
  delete sink;
  sink = nullptr;
  scanState = ScanState{};
}

bool EngineFixture::ignoreMemoryPhase = false;

int EngineFixture::RecordCheck(const char* familyName, const char* path) {
  if (ignoreMemoryPhase && scanState.memoryPhase) return 0;
  checkedFamilies.push_back(familyName);
  checkedPaths.push_back(path);
  return onCheck ? onCheck(path) : 0;
}

uintptr_t NextHandleValue() {
  HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  CloseHandle(probe);
  return reinterpret_cast<uintptr_t>(probe);
}

void RealCheckFixture::SetUp() {
  EngineFixture::SetUp();
  scanState.memoryPhase = 0;
  scanState.infectedAction = kActionRemove;
  onCheck = [](const std::string& path) { return CheckVariantFile("W32/Morvo.Worm ", path.c_str()); };
}
