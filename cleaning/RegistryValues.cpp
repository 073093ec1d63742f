#include "cleaning/RegistryValues.h"

#include <cstring>
#include <set>
#include <string>

#include "cleaning/MachineActions.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

namespace {

// The key as a reader of the 64-bit view names it: the 32-bit view of
// HKLM\Software is its Wow6432Node.
std::string KeyName(HKEY root, const char* keyPath, REGSAM view) {
  std::string name = root == HKEY_LOCAL_MACHINE ? "HKLM\\" : root == HKEY_CURRENT_USER ? "HKCU\\" : "";
  if (view == KEY_WOW64_32KEY && _strnicmp(keyPath, "Software\\", 9) == 0)
    return name + std::string(keyPath, 9) + "Wow6432Node\\" + (keyPath + 9);
  return name + keyPath;
}

// A report-only run names the value that would go, once, and leaves it in
// place: every later detection would otherwise name it again.
void ReportValueLeft(HKEY root, const char* keyPath, const char* valueName, REGSAM view) {
  static std::set<std::string> named;
  RegistryKey key = OpenRegistryKey(root, keyPath, KEY_READ | view);
  if (!key.IsValid()) return;
  bool exists = RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  key.Close();
  const std::string entry = KeyName(root, keyPath, view) + "\\" + valueName;
  if (exists && named.insert(entry).second)
    ReportLogLine("System Registry     %s not removed as per user's selection", entry.c_str());
}

// Whether a value is there, as far as it can be told: a key that cannot be
// read at all may hold it.
bool ValueExists(HKEY root, const char* keyPath, const char* valueName, REGSAM view) {
  RegistryKey key;
  const LONG opened = RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE | view, key.Receive());
  if (opened != ERROR_SUCCESS) {
    key.Detach();
    return opened != ERROR_FILE_NOT_FOUND;
  }
  return RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND;
}

}  // namespace

RegistryKey OpenRegistryKey(HKEY root, const char* keyPath, REGSAM access) {
  RegistryKey key;
  if (RegOpenKeyExA(root, keyPath, 0, access, key.Receive()) != ERROR_SUCCESS) key.Detach();
  return key;
}

bool CloseRegistryKey(RegistryKey& key) { return RegCloseKey(key.Detach()) == ERROR_SUCCESS; }

int DeleteRegValue(HKEY root, const char* keyPath, const char* valueName, REGSAM view) {
  const LONG result = Machine().deleteRegistryValue(root, keyPath, valueName, view);
  if (result == ERROR_CANCELLED) {
    ReportValueLeft(root, keyPath, valueName, view);
    return 0;
  }
  // A value that is there and stays (a key or value that shuts
  // administrators out) is left in place like a file: the run says so.
  // Each such value counts once, however many detections retry it.
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND && ValueExists(root, keyPath, valueName, view)) {
    static std::set<std::string> left;
    const std::string entry = KeyName(root, keyPath, view) + "\\" + valueName;
    if (left.insert(entry).second) {
      ++scanState.registryValuesLeft;
      ReportLogLine("System Registry     %s Unable to remove", entry.c_str());
    }
  }
  return result == ERROR_SUCCESS ? 1 : 0;
}

ValueRead ReadKeyValue(HKEY key, const char* valueName, char* buffer, size_t capacity) {
  if (capacity > 0) buffer[0] = '\0';
  DWORD type = REG_SZ;
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return ValueRead::Failed;
  if (size > capacity) return ValueRead::TooLarge;
  DWORD read = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &read) !=
      ERROR_SUCCESS) {
    buffer[0] = '\0';
    return ValueRead::Failed;
  }
  // Data need not end in NUL; without room for one the value is refused.
  if (read > 0 && buffer[read - 1] == '\0') return ValueRead::Read;
  if (read >= capacity) {
    buffer[0] = '\0';
    return ValueRead::TooLarge;
  }
  buffer[read] = '\0';
  return ValueRead::Read;
}

int ReadRegValue(HKEY root, const char* keyPath, const char* valueName, char* buffer,
                 size_t capacity, REGSAM view) {
  RegistryKey key = OpenRegistryKey(root, keyPath, KEY_READ | view);
  if (!key.IsValid()) {
    if (capacity > 0) buffer[0] = '\0';
    return 0;
  }
  return ReadKeyValue(key.Get(), valueName, buffer, capacity) == ValueRead::Read ? 1 : 0;
}
