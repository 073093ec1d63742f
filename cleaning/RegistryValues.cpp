#include "cleaning/RegistryValues.h"

int DeleteRegValue(HKEY root, const char* keyPath, const char* valueName, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return 0;
  bool deleted = RegDeleteValueA(key, valueName) == ERROR_SUCCESS;
  bool closed = RegCloseKey(key) == ERROR_SUCCESS;
  return deleted && closed ? 1 : 0;
}

int ReadOpenKeyValue(HKEY key, const char* valueName, char* buffer, size_t capacity) {
  if (capacity == 0) return 0;
  DWORD type = REG_SZ;
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return 0;
  if (size > capacity) return 0;
  DWORD read = static_cast<DWORD>(capacity);
  if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &read) !=
      ERROR_SUCCESS)
    return 0;
  // Data need not end in NUL; without room for one the value is refused.
  if (read > 0 && buffer[read - 1] == '\0') return 1;
  if (read >= capacity) return 0;
  buffer[read] = '\0';
  return 1;
}

int ReadRegValue(HKEY root, const char* keyPath, const char* valueName, char* buffer,
                 size_t capacity, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExA(root, keyPath, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return 0;
  int result = ReadOpenKeyValue(key, valueName, buffer, capacity);
  RegCloseKey(key);
  return result;
}
