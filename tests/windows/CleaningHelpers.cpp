#include "tests/windows/CleaningHelpers.h"

#include "tests/windows/support/WaitUntil.h"

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
  // A service of this name left by an earlier run in the same prefix (one
  // stopped before its removal had landed) would make sc create fail.
  if (Installed()) Remove();
  copied_ = binary.empty()
                ? CopyFileA((ProgramFolder() + "scourix-test-service.exe").c_str(), binary_.c_str(), FALSE) != FALSE
                : FileExists(binary_);
  if (!copied_) copyError_ = GetLastError();
  std::string binPath = arguments.empty() ? binary_ : "\\\"" + binary_ + "\\\" " + arguments;
  if (copied_)
    createStatus_ = RunCommand(std::string(kSc) + " create " + name + " binPath= \"" + binPath + "\" start= demand");
  created_ = copied_ && createStatus_ == 0;
}

TestService::~TestService() {
  if (created_) Remove();
}

void TestService::Remove() const {
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
  // The service goes once the Service Control Manager has seen its process
  // end; a prefix stopped before that would keep it for the next run.
  WaitUntil([&] { return !Installed(); }, 10000, 50);
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
  return WaitUntil([&] { return State() == state; }, 5000, 50);
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

ControlSetServiceKeys::ControlSetServiceKeys(const std::string& name, const std::string& imagePath)
    : name_(name) {
  for (const std::string& path : Keys()) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      made_ = false;
      continue;
    }
    const bool serviceKey = path.rfind("\\" + name_) == path.size() - name_.size() - 1;
    if (serviceKey && !imagePath.empty() &&
        RegSetValueExA(key, "ImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(imagePath.c_str()),
                       static_cast<DWORD>(imagePath.size() + 1)) != ERROR_SUCCESS)
      made_ = false;
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
