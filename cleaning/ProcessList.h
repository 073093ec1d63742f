#pragma once
// Lists of the running processes with the path of each one's executable, and
// the termination that every cleaning step uses. ToolHelp and PSAPI are
// looked up at run time, so the program starts on systems that lack them;
// the libraries stay loaded for the rest of the run.
#include <windows.h>

#include "cleaning/ProcessNames.h"

struct ProcessEntry {
  DWORD processId;
  char path[kProcessPathLength];  // ToolHelp's szExeFile on the 9x line, the main module's path on NT
  ProcessEntry* next;
};

// A singly linked list in the order the system reported the processes; the
// owner frees it node by node.
class ProcessList {
 public:
  ProcessList() = default;
  ~ProcessList() { Clear(); }
  ProcessList(ProcessList&& other) noexcept;
  ProcessList& operator=(ProcessList&& other) noexcept;
  ProcessList(const ProcessList&) = delete;
  ProcessList& operator=(const ProcessList&) = delete;

  const ProcessEntry* First() const { return first_; }
  bool IsEmpty() const { return first_ == nullptr; }
  // False when memory for the node ran out; the caller discards the list.
  bool Append(DWORD processId, const char* path);
  void Clear();

 private:
  ProcessEntry* first_ = nullptr;
  ProcessEntry* last_ = nullptr;
};

// The 9x way: a ToolHelp process snapshot from "Kernel32.dll". Empty when
// ToolHelp is missing, the snapshot fails or memory runs out.
ProcessList ListProcesses9x();

enum class NtListResult {
  Listed,           // PSAPI reported processes (the list may still be empty)
  Unavailable,      // psapi.dll, EnumProcesses or GetModuleFileNameExA missing, or no process reported
  OutOfMemory,      // the list was discarded
};

// The NT way: the first 1024 ids from PSAPI's EnumProcesses, each opened with
// PROCESS_QUERY_INFORMATION | PROCESS_VM_READ to read its main module's path.
// With withDebugPrivilege, a process that denies access is tried once more
// after enabling SeDebugPrivilege (a "false"/"TEMP" box when the own token
// cannot be opened). Processes whose path cannot be read are left out.
ProcessList ListProcessesNT(bool withDebugPrivilege, NtListResult* result = nullptr);

// Opens a process with `access` and terminates it with exit code 0. Never
// terminates the calling process: a worm target that shares its name or
// path with the scanner must not end the scan half done. Returns whether the
// termination succeeded; opened tells whether the open did.
bool TerminateProcessById(DWORD processId, DWORD access, bool* opened = nullptr);

// The termination call itself. Wine ends every process asked to; a test
// puts its own in place to play a process that refuses to die.
using TerminateProcessFunction = BOOL(WINAPI*)(HANDLE process, UINT exitCode);
TerminateProcessFunction UseTerminateProcess(TerminateProcessFunction function);
