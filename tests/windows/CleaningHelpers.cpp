#include "tests/windows/CleaningHelpers.h"

#include "tools/forge/Forge.h"

StartedProgram::StartedProgram(const std::string& path, const std::string& currentFolder) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string commandLine = "\"" + path + "\"";
  started_ = CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup,
                            &process_) != FALSE;
  if (started_) {
    CloseHandle(process_.hThread);
    // Until the program runs, the system would not list its module.
    WaitForInputIdle(process_.hProcess, 200);
    Sleep(200);
  }
}

StartedProgram::~StartedProgram() {
  if (!started_) return;
  TerminateProcess(process_.hProcess, 1);
  WaitForSingleObject(process_.hProcess, 5000);
  CloseHandle(process_.hProcess);
}

bool StartedProgram::Ended(DWORD waitMs) const {
  return WaitForSingleObject(process_.hProcess, waitMs) == WAIT_OBJECT_0;
}

bool WriteStandIn(const std::string& path, const VariantRecord& record) {
  std::vector<uint8_t> image = forge::MakeStandIn(record, forge::kOwnBitness);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == image.size();
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RunCommand(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process))
    return -1;
  CloseHandle(process.hThread);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path);
  return folder.substr(0, folder.rfind('\\') + 1);
}
