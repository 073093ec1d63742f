#pragma once
// Registry values of a test's own under HKEY_LOCAL_MACHINE, removed again at
// the end of the test.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class RegistryScratch {
 public:
  RegistryScratch() = default;
  ~RegistryScratch();
  RegistryScratch(const RegistryScratch&) = delete;
  RegistryScratch& operator=(const RegistryScratch&) = delete;

  void Set(const std::string& keyPath, const std::string& name, const std::string& text);
  static bool Exists(const std::string& keyPath, const std::string& name);
  // A key made by the test, deleted with its values at the end.
  void OwnKey(const std::string& keyPath) { keys_.push_back(keyPath); }

 private:
  std::vector<std::pair<std::string, std::string>> values_;
  std::vector<std::string> keys_;
};

// The sources of the delayed moves that wait for the next restart.
std::vector<std::string> PendingRenameSources();

extern const char kRunKeyPath[];
extern const char kRunServicesKeyPath[];
extern const char kWormUninstallKeyPath[];
