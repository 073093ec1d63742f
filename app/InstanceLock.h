#pragma once
// One Scourix at a time on a machine, whatever its mode: a named mutex held
// for the run. (The window keeps its own test by its title beside it.)
#include "base/Handles.h"

class InstanceLock {
 public:
  // False when another instance holds the lock. A lock that cannot be made
  // at all does not stop the run: it guards, it does not decide.
  bool Acquire();

 private:
  KernelHandle mutex_;
};
