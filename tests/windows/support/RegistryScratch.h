#pragma once
// Registry values of a test's own under HKEY_LOCAL_MACHINE, removed again at
// the end of the test. view: the access flag of a registry view
// (KEY_WOW64_64KEY, KEY_WOW64_32KEY), or 0 for the test program's own.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "cleaning/files/Files.h"

class RegistryScratch {
 public:
  RegistryScratch() = default;
  ~RegistryScratch();
  RegistryScratch(const RegistryScratch&) = delete;
  RegistryScratch& operator=(const RegistryScratch&) = delete;

  void Set(const std::string& keyPath, const std::string& name, const std::string& text,
           REGSAM view = 0);
  static bool Exists(const std::string& keyPath, const std::string& name, REGSAM view = 0);
  // A key made by the test, deleted with its values at the end.
  void OwnKey(const std::string& keyPath, REGSAM view = 0) { keys_.emplace_back(keyPath, view); }

 private:
  struct Value {
    std::string keyPath, name;
    REGSAM view;
  };
  std::vector<Value> values_;
  std::vector<std::pair<std::string, REGSAM>> keys_;
};

// The views of HKLM\Software on this Windows, told apart by the 64-bit
// view's Wow6432Node key: KEY_WOW64_64KEY and KEY_WOW64_32KEY on 64-bit
// Windows, where a 32-bit worm writes into the second; 0 alone on 32-bit
// Windows, where there is one view.
std::vector<REGSAM> RegistryViewsOfThisWindows();

// The sources of the delayed moves that wait for the next restart.
std::vector<std::string> PendingRenameSources();
// What a file is (volume, index), read through a handle on its path; and
// whether the delayed-move list deletes that file under whatever name (a
// file moved for the restart keeps its identity, not its path).
FileIdentity IdentityOf(const std::string& path);
bool PendingDeletionOf(const FileIdentity& identity);

extern const char kRunKeyPath[];
extern const char kRunServicesKeyPath[];
extern const char kWormUninstallKeyPath[];
