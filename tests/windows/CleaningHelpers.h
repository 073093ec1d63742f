#pragma once
// Real processes and services for the cleaning tests: stand-ins forged to
// match a variant record, started from a folder of the test's own and ended
// on every path out, and commands of the system's own tools.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/VariantRecord.h"
#include "tests/windows/support/ScratchFolder.h"

// A started program, ended on every path out of a test: a stand-in left
// behind would sleep in the prefix for ever and hold its file.
class StartedProgram {
 public:
  explicit StartedProgram(const std::string& path, const std::string& currentFolder = "");
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  bool Started() const { return started_; }
  DWORD Id() const { return process_.dwProcessId; }
  HANDLE Process() const { return process_.hProcess; }
  // Whether the process has ended within the wait.
  bool Ended(DWORD waitMs = 5000) const;

 private:
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

// Writes a stand-in program whose file matches the record, at path.
bool WriteStandIn(const std::string& path, const VariantRecord& record = VariantTable[0]);

// Writes a program that runs like a stand-in but whose file matches no record
// (one byte longer than any record allows): a clean program to share a name
// with a sample.
bool WriteCleanProgram(const std::string& path);

bool FileExists(const std::string& path);

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

  bool Ready() const { return copied_ && created_; }
  const std::string& Binary() const { return binary_; }
  bool Start();
  DWORD State() const;
  bool WaitFor(DWORD state) const;
  // Whether the Service Control Manager still knows the service.
  bool Installed() const;
  // Gives the service another command line to start.
  bool Configure(const std::string& binaryPath);

 private:
  std::string name_;
  ScratchFolder folder_;
  std::string binary_;
  bool copied_ = false;
  bool created_ = false;
};

// A service's keys in ControlSet001 and ControlSet002, which Wine does not
// have: the service key with its Enum and Security subkeys in both sets,
// made on construction and removed on the way out.
class ControlSetServiceKeys {
 public:
  explicit ControlSetServiceKeys(const std::string& name);
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
