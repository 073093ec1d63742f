#pragma once
// The worm's registry entries and the hosts file.

// Name of the last registry value recognised as the worm's start-up entry;
// at most 127 characters. The variant check empties it before every file
// until the first detection, so from then on it keeps its value.
constexpr int kWormValueNameLength = 128;
extern char wormValueName[kWormValueNameLength];

// Removes the worm's start-up values and checks the hosts file; called once
// per detection with the matching record's name. Always returns 1.
int CleanRegistryAndHosts(const char* detectionName);

// Deletes the worm's fixed uninstall string and Run value when they point to
// its files; runs after every successful deletion of an infected file.
// Returns 1 when both keys were handled to the end, 0 when a step failed.
int RemoveUninstallEntries();
