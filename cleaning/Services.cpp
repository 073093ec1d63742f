#include "cleaning/Services.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "base/Handles.h"
#include "base/PathText.h"
#include "base/SystemLibrary.h"
#include "cleaning/MachineActions.h"
#include "cleaning/ProcessNames.h"
#include "cleaning/RegistryValues.h"
#include "cleaning/files/Files.h"

namespace {
constexpr DWORD kFullAccess = 0xF003F;  // SC_MANAGER_ALL_ACCESS, asked of the service too
constexpr DWORD kPollIntervalMs = 1000;
constexpr int kKeyPathLength = 512;
constexpr DWORD kCommandLength = 2048;

bool StopOpenService(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  if (!Machine().controlService(service, SERVICE_CONTROL_STOP, &status)) return false;
  // A failed query leaves the state of the previous one (or ControlService's) in place.
  for (int poll = 0; poll < kStopPollLimit; ++poll) {
    if (!QueryServiceStatus(service, &status) || status.dwCurrentState != SERVICE_STOP_PENDING)
      break;
    Sleep(kPollIntervalMs);
  }
  return status.dwCurrentState == SERVICE_STOPPED;
}

// The configured command with its references expanded; drivers and some
// services name the Windows folder "\SystemRoot\" instead of %SystemRoot%.
bool ExpandedCommand(const char* configured, char (&command)[kCommandLength]) {
  char expanded[kCommandLength];
  DWORD length = ExpandEnvironmentStringsA(configured, expanded, sizeof expanded);
  if (length == 0 || length > sizeof expanded) return false;
  const char kSystemRoot[] = "\\SystemRoot\\";
  const size_t prefixLength = sizeof kSystemRoot - 1;
  if (CompareIgnoringCase(expanded, kSystemRoot, prefixLength) != 0) return CopyText(command, expanded);
  UINT folderLength = GetWindowsDirectoryA(command, MAX_PATH);
  return folderLength > 0 && folderLength < MAX_PATH && AppendText(command, "\\") &&
         AppendText(command, expanded + prefixLength);
}

// What the system would start for a candidate: the file itself, or, for a
// name without an extension, the name with ".exe".
bool IsRunnableFile(const char* candidate) {
  if (IsExistingFile(candidate)) return true;
  char withExtension[kProcessPathLength];
  return !strchr(FileNameOfPath(candidate), '.') && CopyText(withExtension, candidate) &&
         AppendText(withExtension, ".exe") && IsExistingFile(withExtension);
}

// Whether a configured command starts the image's file.
bool CommandRunsImage(const char* configured, const ImageIdentity& image) {
  char command[kCommandLength];
  if (!ExpandedCommand(configured, command)) return false;
  // An unquoted command with blanks runs the first of its candidates that
  // exists; a later one that happens to be the file is not what runs.
  char candidate[kProcessPathLength];
  for (int i = 0; CommandProgramCandidate(command, i, candidate); ++i) {
    if (image.Matches(candidate)) return true;
    if (IsRunnableFile(candidate)) return false;
  }
  return false;
}

using QueryServiceConfigFunction = BOOL(WINAPI*)(SC_HANDLE service, QUERY_SERVICE_CONFIGA* config,
                                                  DWORD length, DWORD* needed);

// Looked up, not imported: the 9x line's advapi32 need not have it.
const SystemFunction<QueryServiceConfigFunction> queryServiceConfig("advapi32.dll", "QueryServiceConfigA");

bool RunsImage(SC_HANDLE service, const ImageIdentity& image) {
  auto queryConfig = queryServiceConfig.Get();
  if (!queryConfig) return false;
  DWORD needed = 0;
  queryConfig(service, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[needed]);
  auto config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.get());
  return buffer && queryConfig(service, config, needed, &needed) && config->lpBinaryPathName &&
         CommandRunsImage(config->lpBinaryPathName, image);
}

// Whether a control set's entry for the service starts the image: its own
// ImagePath, which in a last-known-good set may name another binary.
bool EntryRunsImage(const char* servicePath, const ImageIdentity& image) {
  RegistryKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, servicePath, KEY_READ);
  char configured[kCommandLength];
  return key.IsValid() &&
         ReadKeyValue(key.Get(), "ImagePath", configured, sizeof configured) == ValueRead::Read &&
         CommandRunsImage(configured, image);
}

// The control sets by their names under HKLM\SYSTEM: the current one, then
// every "ControlSetNNN" that the key lists.
bool IsNumberedControlSet(const char* name) {
  const char kPrefix[] = "ControlSet";
  const size_t prefixLength = sizeof kPrefix - 1;
  if (CompareIgnoringCase(name, kPrefix, prefixLength) != 0 || strlen(name) != prefixLength + 3)
    return false;
  for (const char* digit = name + prefixLength; *digit; ++digit)
    if (*digit < '0' || *digit > '9') return false;
  return true;
}

// Deletes Enum, Security and the service key of one set; whether any went.
bool DeleteEntryKeys(const char* servicePath) {
  bool deleted = false;
  for (const char* suffix : {"\\Enum", "\\Security", ""}) {
    char keyPath[kKeyPathLength];
    int length = snprintf(keyPath, sizeof keyPath, "%s%s", servicePath, suffix);
    if (length < 0 || length >= kKeyPathLength) continue;
    if (DeleteMachineKey(keyPath)) deleted = true;
  }
  return deleted;
}

// Judges one set's entry and, when its binary is the image, deletes its keys.
bool DeleteSetEntryOfImage(const char* set, const char* name, const ImageIdentity& image) {
  char servicePath[kKeyPathLength];
  // A name too long for the key path could only name some other key.
  int length = snprintf(servicePath, sizeof servicePath, "SYSTEM\\%s\\Services\\%s", set, name);
  if (length < 0 || length + static_cast<int>(sizeof "\\Security") > kKeyPathLength) return false;
  return EntryRunsImage(servicePath, image) && DeleteEntryKeys(servicePath);
}

}  // namespace

int StopServiceByName(const char* name, bool stop) {
  ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, kFullAccess));
  if (!manager.IsValid()) return 0;
  ServiceHandle service(OpenServiceA(manager.Get(), name, kFullAccess));
  if (!service.IsValid()) return 0;
  if (!stop) return 1;
  return StopOpenService(service.Get()) ? 1 : 0;
}

ServiceStop StopServiceOfImage(const char* name, const ImageIdentity& image) {
  ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, kFullAccess));
  if (!manager.IsValid()) return ServiceStop::NotTheImages;
  ServiceHandle service(OpenServiceA(manager.Get(), name, kFullAccess));
  if (!service.IsValid() || !RunsImage(service.Get(), image)) return ServiceStop::NotTheImages;
  return StopOpenService(service.Get()) ? ServiceStop::Stopped : ServiceStop::NotStopped;
}

int DeleteMachineKey(const char* keyPath) {
  return Machine().deleteRegistryKey(HKEY_LOCAL_MACHINE, keyPath) == ERROR_SUCCESS ? 1 : 0;
}

int DeleteServiceKeys(const char* name, const ImageIdentity& image) {
  int deleted = DeleteSetEntryOfImage("CurrentControlSet", name, image) ? 1 : 0;
  RegistryKey system = OpenRegistryKey(HKEY_LOCAL_MACHINE, "SYSTEM", KEY_READ);
  if (!system.IsValid()) return deleted;
  // Deleting keys of a set does not change the list of sets under SYSTEM.
  for (DWORD index = 0;; ++index) {
    char set[MAX_PATH];
    DWORD setLength = sizeof set;
    LONG status = RegEnumKeyExA(system.Get(), index, set, &setLength, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    if (IsNumberedControlSet(set) && DeleteSetEntryOfImage(set, name, image)) deleted = 1;
  }
  return deleted;
}
