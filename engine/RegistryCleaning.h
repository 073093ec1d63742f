#pragma once
// The worm's registry entries and the hosts file.
#include <windows.h>

// Name of the last registry value recognised as the worm's start-up entry;
// at most 127 characters. The variant check empties it before every file
// until the first detection, so from then on it keeps its value.
constexpr int kWormValueNameLength = 128;
extern char wormValueName[kWormValueNameLength];

// Checks the hosts file against the text signatures, deletes the remembered
// worm value from Run, RunServices and the worm's uninstall key, and removes
// the Run and RunServices values that start the file under check. Called
// once per detection with the matching record's name. Always returns 1.
// Here and below, every machine key is handled in each registry view
// (RegistryViews.h), with a log line for each value removed.
int CleanRegistryAndHosts(const char* detectionName);

// Deletes every value of root\keyPath, in each view, whose command starts
// the file under check (currentFilePath), remembering its name in wormValueName.
void RemoveRunEntriesForFile(HKEY root, const char* keyPath);

// Deletes the worm's fixed uninstall string and Run value when they point to
// its files; runs after every successful deletion of an infected file.
// Returns 1 when both keys were handled to the end in some view, 0 when a
// step failed in every view.
int RemoveUninstallEntries();
