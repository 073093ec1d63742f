#pragma once
// Real processes and services for the cleaning tests: stand-ins forged to
// match a variant record, started from a folder of the test's own and ended
// on every path out, and commands of the system's own tools.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/VariantRecord.h"

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

bool FileExists(const std::string& path);

// Runs a command line to its end; returns its exit code, or -1 when it did
// not start or did not end within a minute.
int RunCommand(const std::string& commandLine);

// The folder of the running test program, with its trailing backslash.
std::string ProgramFolder();
