#pragma once
// A program started by a test and ended on every path out of it: a stand-in
// left behind would sleep in the prefix for ever and hold its file.
#include <windows.h>

#include <string>

class StartedProgram {
 public:
  // Starts the program and waits until the system lists its module, as the
  // process lists of the scan read it: before the loader has set the
  // process up, a listing finds the process but not its file.
  explicit StartedProgram(const std::string& path, const std::string& currentFolder = "");
  // The same for a path that the ANSI code page cannot hold.
  explicit StartedProgram(const std::wstring& path);
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  // Running, with its module listed.
  bool Started() const { return started_; }
  DWORD Id() const { return process_.dwProcessId; }
  HANDLE Process() const { return process_.hProcess; }
  // Whether the process has ended within the wait.
  bool Ended(DWORD waitMs = 5000) const;

 private:
  void WaitUntilListed();
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};
