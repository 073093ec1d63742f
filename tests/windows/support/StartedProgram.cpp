#include "tests/windows/support/StartedProgram.h"

#include <tlhelp32.h>

#include "tests/windows/support/WaitUntil.h"

namespace {

// ToolHelp and PSAPI both read the module list that the loader keeps in the
// new process; it is empty until the loader has mapped the program.
bool ModuleListed(DWORD processId) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  MODULEENTRY32 module{};
  module.dwSize = sizeof module;
  const bool listed = Module32First(snapshot, &module) != FALSE;
  CloseHandle(snapshot);
  return listed;
}

constexpr DWORD kStartMs = 10000;

}  // namespace

StartedProgram::StartedProgram(const std::string& path, const std::string& currentFolder) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string commandLine = "\"" + path + "\"";
  if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &process_))
    return;
  WaitUntilListed();
}

StartedProgram::StartedProgram(const std::wstring& path) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + path + L"\"";
  if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process_))
    return;
  WaitUntilListed();
}

void StartedProgram::WaitUntilListed() {
  CloseHandle(process_.hThread);
  started_ = WaitUntil([this] { return ModuleListed(process_.dwProcessId) || Ended(0); }, kStartMs) &&
             !Ended(0);
}

StartedProgram::~StartedProgram() {
  if (!process_.hProcess) return;
  TerminateProcess(process_.hProcess, 1);
  WaitForSingleObject(process_.hProcess, 5000);
  CloseHandle(process_.hProcess);
}

bool StartedProgram::Ended(DWORD waitMs) const {
  return WaitForSingleObject(process_.hProcess, waitMs) == WAIT_OBJECT_0;
}
