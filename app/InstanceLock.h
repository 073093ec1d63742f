#pragma once
// One Scourix at a time on a machine, whatever its mode: a named mutex held
// for the run. (The window keeps its own test by its title beside it.)
//
// Only administrators hold it: where kernel32 has private namespaces (Vista
// and later) the mutex lives in one bounded by the Administrators group,
// which no standard user can create or enter; elsewhere it is
// "Global\Scourix.Worm.Removal" (plain "Scourix.Worm.Removal" before
// Windows 2000). Either way it is made with an access list for Administrators
// and SYSTEM only, and owned by Administrators. An object of that name that
// someone else owns was put there to block the run: it is ignored.
#include <string>

#include "base/Handles.h"

class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // False when another instance holds the lock. A lock that cannot be made
  // at all, or whose name someone else has taken, does not stop the run: it
  // guards, it does not decide. Notice() then says why, for the log.
  bool Acquire();
  const std::string& Notice() const { return notice_; }

 private:
  KernelHandle mutex_;
  HANDLE namespace_ = nullptr;
  std::string notice_;
};
