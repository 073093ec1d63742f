#pragma once
// Lists of the running processes with the path of each one's executable, and
// the termination that every cleaning step uses. ToolHelp and PSAPI are
// looked up at run time, so the program starts on systems that lack them;
// the libraries stay loaded for the rest of the run.
#include <windows.h>

#include "base/Handles.h"
#include "cleaning/ProcessImage.h"
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
  Unavailable,      // psapi.dll or EnumProcesses missing, no way to read image paths, or no process reported
  OutOfMemory,      // the list was discarded
};

// The NT way: every id from PSAPI's EnumProcesses (its buffer grows until
// it holds them all), each opened with
// PROCESS_QUERY_INFORMATION | PROCESS_VM_READ to read its image path
// (ReadProcessImagePath). With withDebugPrivilege, a process that denies
// access is tried once more after enabling SeDebugPrivilege (a "false"/"TEMP"
// box when the own token cannot be opened). Processes whose path cannot be
// read are left out.
ProcessList ListProcessesNT(bool withDebugPrivilege, NtListResult* result = nullptr);

// Opens a process with the rights to read its image and to terminate it,
// and keeps the handle only when the image path read through it names the
// identity's file (ImageIdentity::Matches) and its mapped image is that file
// (ImageIdentity::MappedInto): an id that another program has taken since the id was
// listed is never hit, as long as the termination goes through this same
// handle. Invalid when the image is another file or cannot be read, and
// always for the calling process (a worm target that shares the scanner's
// path must not end the scan half done).
KernelHandle OpenProcessOfImage(DWORD processId, const ImageIdentity& image);

// Terminates an open process with exit code 0; whether that succeeded.
bool TerminateOpenProcess(HANDLE process);

// Waits, at most a few seconds, until a process whose termination began has
// ended and let go of its image file; whether it has.
bool WaitForProcessEnd(HANDLE process);

// Both: whether the process ran the image and its termination succeeded;
// then waits for its end as above.
bool TerminateProcessOfImage(DWORD processId, const ImageIdentity& image);

// The termination call itself. Wine ends every process asked to; a test
// puts its own in place to play a process that refuses to die.
using TerminateProcessFunction = BOOL(WINAPI*)(HANDLE process, UINT exitCode);
TerminateProcessFunction UseTerminateProcess(TerminateProcessFunction function);

// PSAPI's EnumProcesses, or a test's stand-in for it (a machine with more
// processes than a test can start); null restores the system's.
using EnumProcessesFunction = BOOL(WINAPI*)(DWORD* ids, DWORD length, DWORD* lengthNeeded);
EnumProcessesFunction UseEnumProcesses(EnumProcessesFunction function);
