#pragma once
// A point in time to give up at, on the tick counter that Sleep and the
// message timeouts share.
#include <windows.h>

class Deadline {
 public:
  explicit Deadline(DWORD milliseconds) : start_(GetTickCount()), length_(milliseconds) {}
  bool Passed() const { return Elapsed() >= length_; }
  DWORD Elapsed() const { return GetTickCount() - start_; }

 private:
  DWORD start_;
  DWORD length_;
};
