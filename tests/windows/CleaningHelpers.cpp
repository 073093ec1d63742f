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

namespace {
bool WriteImage(const std::string& path, const std::vector<uint8_t>& image) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == image.size();
}
}  // namespace

bool WriteStandIn(const std::string& path, const VariantRecord& record) {
  return WriteImage(path, forge::MakeStandIn(record, forge::kOwnBitness));
}

bool WriteCleanProgram(const std::string& path) {
  std::vector<uint8_t> image = forge::MakeStandIn(VariantTable[0], forge::kOwnBitness);
  image.push_back(0);  // the loader ignores what follows the sections; the check's size test does not
  return WriteImage(path, image);
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

namespace {
const char kSc[] = "C:\\windows\\system32\\sc.exe";
}  // namespace

TestService::TestService(const std::string& name, const std::string& arguments, const std::string& binary)
    : name_(name), folder_("service-" + name), binary_(binary.empty() ? folder_.Join(name + ".exe") : binary) {
  copied_ = binary.empty()
                ? CopyFileA((ProgramFolder() + "scourix-test-service.exe").c_str(), binary_.c_str(), FALSE) != FALSE
                : FileExists(binary_);
  std::string binPath = arguments.empty() ? binary_ : "\\\"" + binary_ + "\\\" " + arguments;
  created_ = copied_ && RunCommand(std::string(kSc) + " create " + name + " binPath= \"" + binPath +
                                   "\" start= demand") == 0;
}

TestService::~TestService() {
  if (!created_) return;
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = manager ? OpenServiceA(manager, name_.c_str(), SERVICE_ALL_ACCESS) : nullptr;
  if (service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                             sizeof status, &needed) &&
        status.dwProcessId != 0) {
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId);
      if (process) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
      }
    }
    DeleteService(service);
    CloseServiceHandle(service);
  }
  if (manager) CloseServiceHandle(manager);
}

bool TestService::Start() {
  return RunCommand(std::string(kSc) + " start " + name_) == 0 && WaitFor(SERVICE_RUNNING);
}

DWORD TestService::State() const {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceA(manager, name_.c_str(), SERVICE_QUERY_STATUS) : nullptr;
  SERVICE_STATUS status{};
  if (service) QueryServiceStatus(service, &status);
  if (service) CloseServiceHandle(service);
  if (manager) CloseServiceHandle(manager);
  return status.dwCurrentState;
}

bool TestService::WaitFor(DWORD state) const {
  for (int i = 0; i < 100 && State() != state; ++i) Sleep(50);
  return State() == state;
}

bool TestService::Configure(const std::string& binaryPath) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceA(manager, name_.c_str(), SERVICE_CHANGE_CONFIG) : nullptr;
  bool changed = service && ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                                 binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr,
                                                 nullptr, nullptr);
  if (service) CloseServiceHandle(service);
  if (manager) CloseServiceHandle(manager);
  return changed;
}

bool TestService::Installed() const {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceA(manager, name_.c_str(), SERVICE_QUERY_CONFIG) : nullptr;
  bool installed = service != nullptr;
  if (service) CloseServiceHandle(service);
  if (manager) CloseServiceHandle(manager);
  return installed;
}

ControlSetServiceKeys::ControlSetServiceKeys(const std::string& name) : name_(name) {
  for (const std::string& path : Keys()) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      made_ = false;
      continue;
    }
    RegCloseKey(key);
  }
}

ControlSetServiceKeys::~ControlSetServiceKeys() {
  std::vector<std::string> keys = Keys();
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) RegDeleteKeyA(HKEY_LOCAL_MACHINE, key->c_str());
}

int ControlSetServiceKeys::Present() const {
  int present = 0;
  for (const std::string& path : Keys()) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    RegCloseKey(key);
    ++present;
  }
  return present;
}

// Parents before children, so that creating them in order works.
std::vector<std::string> ControlSetServiceKeys::Keys() const {
  std::vector<std::string> keys;
  for (const char* set : {"ControlSet001", "ControlSet002"}) {
    std::string service = std::string("SYSTEM\\") + set + "\\Services\\" + name_;
    keys.push_back(service);
    keys.push_back(service + "\\Enum");
    keys.push_back(service + "\\Security");
  }
  return keys;
}
