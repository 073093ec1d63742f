#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/driver/Commands.h"
#include "tests/e2e/driver/Failure.h"

namespace {

std::string Quoted(const std::string& word) {
  return word.find_first_of(" \t") == std::string::npos && !word.empty() ? word : "\"" + word + "\"";
}

// Whatever the pipe holds now, without waiting for more.
void Drain(HANDLE pipe, std::string& output) {
  DWORD available = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : sizeof buffer, &got, nullptr) ||
        got == 0)
      return;
    output.append(buffer, got);
  }
}

}  // namespace

void RunProgram(const std::string& path, const std::vector<std::string>& arguments, Report& report,
                unsigned timeoutMs) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw DriverFailure("cannot make a pipe");
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  std::string commandLine = Quoted(path);
  for (const std::string& argument : arguments) commandLine += " " + Quoted(argument);
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    throw DriverFailure("cannot start " + path + " (error " + std::to_string(GetLastError()) + ")");
  }
  report.Line("started", std::to_string(process.dwProcessId));
  std::string output;
  const DWORD deadline = GetTickCount() + timeoutMs;
  DWORD waited = WAIT_TIMEOUT;
  while (waited == WAIT_TIMEOUT && static_cast<int>(deadline - GetTickCount()) > 0) {
    Drain(readEnd, output);
    waited = WaitForSingleObject(process.hProcess, 20);
  }
  Drain(readEnd, output);
  DWORD exitCode = STILL_ACTIVE;
  GetExitCodeProcess(process.hProcess, &exitCode);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(readEnd);

  size_t at = 0;
  while (at < output.size()) {
    size_t end = output.find('\n', at);
    std::string line = output.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    report.Line("stdout", line);
    at = end == std::string::npos ? output.size() : end + 1;
  }
  if (waited != WAIT_OBJECT_0)
    throw DriverFailure(path + " was still running after " + std::to_string(timeoutMs / 1000) + " s");
  report.Line("exit-code", std::to_string(exitCode));
}
