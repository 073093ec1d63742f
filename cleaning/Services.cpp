#include "cleaning/Services.h"

#include <windows.h>

#include <cstdio>

#include "win/Handles.h"

namespace {
constexpr DWORD kFullAccess = 0xF003F;  // SC_MANAGER_ALL_ACCESS, asked of the service too
constexpr DWORD kPollIntervalMs = 1000;
constexpr int kKeyPathLength = 512;
}  // namespace

int StopServiceByName(const char* name, bool stop) {
  ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, kFullAccess));
  if (!manager.IsValid()) return 0;
  ServiceHandle service(OpenServiceA(manager.Get(), name, kFullAccess));
  if (!service.IsValid()) return 0;
  if (!stop) return 1;

  SERVICE_STATUS status = {};
  if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) return 0;
  // A failed query leaves the state of the previous one (or ControlService's) in place.
  for (int poll = 0; poll < kStopPollLimit; ++poll) {
    if (!QueryServiceStatus(service.Get(), &status) ||
        status.dwCurrentState != SERVICE_STOP_PENDING)
      break;
    Sleep(kPollIntervalMs);
  }
  return status.dwCurrentState == SERVICE_STOPPED ? 1 : 0;
}

int DeleteMachineKey(const char* keyPath) {
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath) == ERROR_SUCCESS ? 1 : 0;
}

int DeleteServiceKeys(const char* name) {
  struct Step {
    const char* prefix;
    const char* suffix;
  };
  // Step 4 keeps its capitals; key names compare without regard to case.
  static const Step kSteps[] = {
      {"SYSTEM\\ControlSet001\\Services\\", "\\Enum"},
      {"SYSTEM\\ControlSet001\\Services\\", "\\Security"},
      {"SYSTEM\\ControlSet001\\Services\\", ""},
      {"SYSTEM\\CONTROLSET002\\SERVICES\\", "\\Enum"},
      {"SYSTEM\\ControlSet002\\Services\\", "\\Security"},
      {"SYSTEM\\ControlSet002\\Services\\", ""},
  };
  int deleted = 0;
  for (const Step& step : kSteps) {
    char keyPath[kKeyPathLength];
    // A name too long for the key path could only name some other key.
    int length = snprintf(keyPath, sizeof keyPath, "%s%s%s", step.prefix, name, step.suffix);
    if (length < 0 || length >= kKeyPathLength) continue;
    if (DeleteMachineKey(keyPath)) deleted = 1;
  }
  return deleted;
}
