#pragma once
// Whether the maker's full antivirus product is installed, from its
// install-folder value under HKEY_LOCAL_MACHINE.
#include <cstddef>

// Reads a value of HKEY_LOCAL_MACHINE\keyPath into buffer. Returns 1 when it
// was found. A value longer than the buffer also counts as found (the product
// is there whatever its folder's name), but nothing of it is read.
int ReadMachineRegistryValue(const char* keyPath, const char* valueName, char* buffer,
                             size_t bufferLength);

extern const char kFullProductKey[];     // "Software\Halvane\Keystrel 2000"
extern const char kFullProductValue[];   // "Installed Folder"
