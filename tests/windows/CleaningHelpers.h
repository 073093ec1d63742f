#pragma once
// Services for the cleaning tests, and commands of the system's own tools;
// with the stand-ins and the started programs that the tests run beside them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"
#include "tests/windows/support/StartedProgram.h"

// A TerminateProcess that refuses, as the system does for a process that
// the caller may not end (for UseTerminateProcess).
inline BOOL WINAPI RefuseToDie(HANDLE, UINT) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

// Runs a command line to its end; returns its exit code, or -1 when it did
// not start or did not end within a minute.
int RunCommand(const std::string& commandLine);

// The folder of the running test program, with its trailing backslash.
std::string ProgramFolder();

// A service of the test's own: the helper program scourix-test-service.exe
// copied to a scratch folder as NAME.exe (or to `binary` when given) and
// registered with sc create; ended and deleted on the way out.
class TestService {
 public:
  explicit TestService(const std::string& name, const std::string& arguments = "",
                       const std::string& binary = "");
  ~TestService();
  TestService(const TestService&) = delete;
  TestService& operator=(const TestService&) = delete;

  // Says which step failed, for a set-up that fails only now and then.
  testing::AssertionResult Ready() const {
    if (!copied_) return testing::AssertionFailure() << "the program was not copied: error " << copyError_;
    if (!created_) return testing::AssertionFailure() << "sc create ended with status " << createStatus_;
    return testing::AssertionSuccess();
  }
  const std::string& Binary() const { return binary_; }
  bool Start();
  DWORD State() const;
  bool WaitFor(DWORD state) const;
  // Whether the Service Control Manager still knows the service.
  bool Installed() const;
  // Gives the service another command line to start.
  bool Configure(const std::string& binaryPath);

 private:
  // Ends the service's process, deletes the service and waits until it is gone.
  void Remove() const;

  std::string name_;
  ScratchFolder folder_;
  std::string binary_;
  bool copied_ = false;
  bool created_ = false;
  DWORD copyError_ = 0;
  int createStatus_ = 0;
};

// A service's keys in ControlSet001 and ControlSet002, which Wine does not
// have: the service key with its Enum and Security subkeys in both sets,
// made on construction and removed on the way out. With an image path, each
// set's service key holds it as its ImagePath.
class ControlSetServiceKeys {
 public:
  explicit ControlSetServiceKeys(const std::string& name, const std::string& imagePath = "");
  ~ControlSetServiceKeys();
  ControlSetServiceKeys(const ControlSetServiceKeys&) = delete;
  ControlSetServiceKeys& operator=(const ControlSetServiceKeys&) = delete;

  bool Made() const { return made_; }
  // How many of the six keys exist.
  int Present() const;

 private:
  std::vector<std::string> Keys() const;
  std::string name_;
  bool made_ = true;
};
