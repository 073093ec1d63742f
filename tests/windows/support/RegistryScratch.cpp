#include "tests/windows/support/RegistryScratch.h"

#include <cstring>

const char kRunKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServicesKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kWormUninstallKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v";

RegistryScratch::~RegistryScratch() {
  for (const Value& value : values_) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, value.keyPath.c_str(), 0, KEY_ALL_ACCESS | value.view, &key) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(key, value.name.c_str());
      RegCloseKey(key);
    }
  }
  for (auto key = keys_.rbegin(); key != keys_.rend(); ++key) {
    // RegDeleteKeyA knows no views: the key goes through its parent, opened in the view.
    const std::string& path = key->first;
    const size_t slash = path.rfind('\\');
    HKEY parent;
    if (slash == std::string::npos ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | key->second,
                      &parent) != ERROR_SUCCESS)
      continue;
    RegDeleteKeyA(parent, path.substr(slash + 1).c_str());
    RegCloseKey(parent);
  }
}

void RegistryScratch::Set(const std::string& keyPath, const std::string& name, const std::string& text,
                          REGSAM view) {
  HKEY key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                  nullptr);
  RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  values_.push_back({keyPath, name, view});
}

bool RegistryScratch::Exists(const std::string& keyPath, const std::string& name, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
    return false;
  bool exists = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return exists;
}

std::vector<REGSAM> RegistryViewsOfThisWindows() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node", 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS)
    return {0};
  RegCloseKey(key);
  return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
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

FileIdentity IdentityOf(const std::string& path) {
  FileIdentity identity;
  HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    IdentifyHandle(file, identity);
    CloseHandle(file);
  }
  return identity;
}

bool PendingDeletionOf(const FileIdentity& identity) {
  for (const std::string& source : PendingRenameSources())
    if (source.compare(0, 4, "\\??\\") == 0 && IdentityOf(source.substr(4)).SameFile(identity)) return true;
  return false;
}
