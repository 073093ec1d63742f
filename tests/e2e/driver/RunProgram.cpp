#include <windows.h>

#include <cstdio>
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

// Reads up to the first line feed, a byte at a time, so that nothing of the
// program's next write is taken; false when the program ended or the
// deadline passed first.
bool ReadFirstLine(HANDLE pipe, HANDLE process, DWORD deadline, std::string& output) {
  while (static_cast<int>(deadline - GetTickCount()) > 0) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) {
      if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) return false;
      continue;
    }
    char byte = 0;
    DWORD got = 0;
    if (!ReadFile(pipe, &byte, 1, &got, nullptr) || got == 0) return false;
    output += byte;
    if (byte == '\n') return true;
  }
  return false;
}

// Past the deadline the program is ended below, as any run that overstays.
void WaitForFile(const std::string& path, DWORD deadline) {
  while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
         static_cast<int>(deadline - GetTickCount()) > 0)
    Sleep(20);
}

}  // namespace

void RunProgram(const std::string& path, const std::vector<std::string>& arguments, Report& report,
                unsigned timeoutMs, const std::string& releaseFile) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  // One byte: a write of the program returns only once it has been read.
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, releaseFile.empty() ? 0 : 1))
    throw DriverFailure("cannot make a pipe");
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
  BOOL started = FALSE;
  DWORD error = 0;
  // Wine now and then fails a start on a busy machine with ERROR_INTERNAL_ERROR
  // before the program runs at all (seen once in many full runs); that start
  // is made again, and said so.
  for (int attempt = 1; attempt <= 3; ++attempt) {
    started = CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &startup, &process);
    error = started ? 0 : GetLastError();
    if (started || error != ERROR_INTERNAL_ERROR) break;
    fprintf(stderr, "scourix-driver: run: cannot start %s (error %lu), attempt %d of 3\n", path.c_str(),
            static_cast<unsigned long>(error), attempt);
  }
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    throw DriverFailure("cannot start " + path + " (error " + std::to_string(error) + ")");
  }
  report.Line("started", std::to_string(process.dwProcessId));
  std::string output;
  const DWORD deadline = GetTickCount() + timeoutMs;
  DWORD waited = WAIT_TIMEOUT;
  if (!releaseFile.empty()) {
    if (ReadFirstLine(readEnd, process.hProcess, deadline, output)) {
      std::string line = output.substr(0, output.size() - 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      report.Line("first-line", line);
      WaitForFile(releaseFile, deadline);
    }
  }
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
