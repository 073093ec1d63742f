#include "tests/e2e/driver/Commands.h"
#include "tests/e2e/driver/Failure.h"

void StartSecondInstance(const std::string& path, Report& report, unsigned timeoutMs) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string commandLine = "\"" + path + "\"";
  if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    throw DriverFailure("cannot start " + path + " (error " + std::to_string(GetLastError()) + ")");
  DWORD waited = WaitForSingleObject(process.hProcess, timeoutMs);
  DWORD exitCode = STILL_ACTIVE;
  GetExitCodeProcess(process.hProcess, &exitCode);
  report.Line("second-exited", waited == WAIT_OBJECT_0 ? "1" : "0");
  if (waited == WAIT_OBJECT_0) report.Line("second-exit-code", std::to_string(exitCode));
  report.Line("windows-titled", std::to_string(CountWindowsTitled(kAppTitle)));
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (waited != WAIT_OBJECT_0)
    throw DriverFailure("the second instance was still running after " +
                        std::to_string(timeoutMs / 1000) + " s");
}
