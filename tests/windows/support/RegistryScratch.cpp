#include "tests/windows/support/RegistryScratch.h"

#include <cstring>

const char kRunKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServicesKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kWormUninstallKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v";

RegistryScratch::~RegistryScratch() {
  for (const auto& [keyPath, name] : values_) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, name.c_str());
      RegCloseKey(key);
    }
  }
  for (auto key = keys_.rbegin(); key != keys_.rend(); ++key) RegDeleteKeyA(HKEY_LOCAL_MACHINE, key->c_str());
}

void RegistryScratch::Set(const std::string& keyPath, const std::string& name, const std::string& text) {
  HKEY key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  values_.emplace_back(keyPath, name);
}

bool RegistryScratch::Exists(const std::string& keyPath, const std::string& name) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  bool exists = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return exists;
}

std::vector<std::string> PendingRenameSources() {
  std::vector<std::string> sources;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                    &key) != ERROR_SUCCESS)
    return sources;
  DWORD size = 0;
  RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size);
  // The list grows with every run of the tests in this prefix: read it whole.
  std::vector<char> list(size + 2, '\0');
  DWORD read = size;
  if (size && RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(list.data()), &read) == ERROR_SUCCESS) {
    // Pairs of source and target; a deletion has an empty target.
    bool source = true;
    for (const char* entry = list.data(); entry < list.data() + read; entry += strlen(entry) + 1) {
      if (source && *entry) sources.push_back(entry);
      source = !source;
    }
  }
  RegCloseKey(key);
  return sources;
}
