#include "cleaning/RegistryCleaning.h"

char wormValueName[kWormValueNameLength];

// Interim bodies until registry and hosts cleaning land: nothing is touched.
int CleanRegistryAndHosts(const char*) { return 1; }
int RemoveUninstallEntries() { return 1; }
