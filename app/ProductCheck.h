#pragma once
// Whether the maker's full antivirus product is installed, from its
// install-folder value under HKEY_LOCAL_MACHINE.
#include <cstddef>

// Reads a value of HKEY_LOCAL_MACHINE\keyPath into buffer as ReadKeyValue
// does. Returns 1 when it was found and the key closed without error. A value
// too long for the buffer also counts as found (the product is there whatever
// its folder's name), but nothing of it is kept.
int ReadMachineRegistryValue(const char* keyPath, const char* valueName, char* buffer,
                             size_t bufferLength);

extern const char kFullProductKey[];     // "Software\Halvane\Keystrel 2000"
extern const char kFullProductValue[];   // "Installed Folder"
