#include "app/ProductCheck.h"

#include <windows.h>

#include "cleaning/RegistryValues.h"

const char kFullProductKey[] = "Software\\Halvane\\Keystrel 2000";
const char kFullProductValue[] = "Installed Folder";

int ReadMachineRegistryValue(const char* keyPath, const char* valueName, char* buffer,
                             size_t bufferLength) {
  RegistryKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyPath, KEY_READ);
  if (!key.IsValid()) return 0;
  if (ReadKeyValue(key.Get(), valueName, buffer, bufferLength) == ValueRead::Failed) return 0;
  return CloseRegistryKey(key) ? 1 : 0;
}
