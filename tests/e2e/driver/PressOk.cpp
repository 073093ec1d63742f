#include "tests/e2e/driver/Commands.h"
#include "tests/e2e/driver/ControlIds.h"
#include "tests/windows/support/WaitUntil.h"
#include "tests/e2e/driver/Failure.h"

namespace {

// Opened before the click: the process may be gone by the time we ask.
HANDLE OpenForExit(DWORD processId) {
  return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
}

}  // namespace

void PressOk(const AppWindow& app, Report& report, unsigned timeoutMs) {
  if (!app.ControlVisible(ids::kOk) || !app.ControlEnabled(ids::kOk))
    throw DriverFailure("OK cannot be pressed: visible=" +
                        std::to_string(app.ControlVisible(ids::kOk)) +
                        " enabled=" + std::to_string(app.ControlEnabled(ids::kOk)));
  HANDLE process = OpenForExit(app.ProcessId());
  PostMessageA(app.Control(ids::kOk), BM_CLICK, 0, 0);
  Deadline deadline(timeoutMs);
  while (app.Exists() && !deadline.Passed()) Sleep(20);
  report.Line("closed", app.Exists() ? "0" : "1");
  if (process) {
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process, deadline.Left()) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &exitCode))
      report.Line("exit-code", std::to_string(exitCode));
    else
      report.Line("exit-code", "still running");
    CloseHandle(process);
  }
  if (app.Exists()) throw DriverFailure("the window did not close after OK was pressed");
}
