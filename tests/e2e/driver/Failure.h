#pragma once
// What ends a driver run early: a wait that timed out or a window that did
// not behave as a user would need. main() prints it and exits non-zero.
#include <stdexcept>
#include <string>

class DriverFailure : public std::runtime_error {
 public:
  explicit DriverFailure(const std::string& what) : std::runtime_error(what) {}
};
