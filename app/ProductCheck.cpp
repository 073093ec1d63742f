#include "app/ProductCheck.h"

#include <windows.h>

const char kFullProductKey[] = "Software\\Halvane\\Keystrel 2000";
const char kFullProductValue[] = "Installed Folder";

int ReadMachineRegistryValue(const char* keyPath, const char* valueName, char* buffer,
                             size_t bufferLength) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    RegCloseKey(key);
    return 0;
  }
  bool found = true;
  if (size <= bufferLength) {
    found = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                             &size) == ERROR_SUCCESS;
  }
  return RegCloseKey(key) == ERROR_SUCCESS && found ? 1 : 0;
}
