#pragma once
// Waiting for a condition instead of for a fixed time, for the Windows tests
// and the end-to-end driver alike: a condition is polled until it holds or a
// deadline passes. The deadline runs on the tick counter that Sleep and the
// message timeouts share.
#include <windows.h>

class Deadline {
 public:
  explicit Deadline(DWORD milliseconds) : start_(GetTickCount()), length_(milliseconds) {}
  bool Passed() const { return Elapsed() >= length_; }
  DWORD Elapsed() const { return GetTickCount() - start_; }
  DWORD Left() const { return Passed() ? 0 : length_ - Elapsed(); }

 private:
  DWORD start_;
  DWORD length_;
};

// Whether the condition came to hold within the time.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs, DWORD pollMs = 10) {
  Deadline deadline(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (deadline.Passed()) return false;
    Sleep(pollMs);
  }
}
