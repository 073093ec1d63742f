#pragma once
// Which file a process runs: its image path read through the process
// itself, and the identity of an infected file that such a path is compared
// with. Every termination and service stop of the cleaning code is tied to
// this identity, never to a name that another program may carry.
#include <windows.h>

#include <cstddef>

#include "cleaning/ProcessNames.h"

// An infected file as a path may name it: its full path, its long form and
// its short (8.3) form, worked out once. A candidate path names the file when
// it equals one of them (ignoring case) or when its own long or short form
// does. GetLongPathNameA, which Windows 95 and NT 4 lack, is looked up at run
// time; the short forms cover those systems.
class ImageIdentity {
 public:
  // A relative path is taken from the current folder, as the file functions take it.
  explicit ImageIdentity(const char* path);

  const char* Path() const { return full_; }
  bool Matches(const char* candidatePath) const;

 private:
  char full_[MAX_PATH] = {};
  char long_[MAX_PATH] = {};
  char short_[MAX_PATH] = {};
};

// Reads the path of the file that a process runs, through a handle opened
// with PROCESS_QUERY_INFORMATION | PROCESS_VM_READ: on the NT line with
// QueryFullProcessImageNameA where kernel32 has it (it also reads a 64-bit
// process from a 32-bit one) and PSAPI's GetModuleFileNameExA otherwise; on
// the 9x line with the first module of a ToolHelp module snapshot of the
// process (its executable, with the full path that szExeFile may lack).
// Returns false when no path can be read.
bool ReadProcessImagePath(HANDLE process, DWORD processId, char* path, size_t length);

// Whether any of the readers above exists on this system.
bool CanReadProcessImagePaths();

// The reader itself. Wine cannot hand a listed process id to another program
// between the listing and the termination, so a test puts its own in place
// to play a reused id.
using ProcessImageReader = bool (*)(HANDLE process, DWORD processId, char* path, size_t length);
ProcessImageReader UseProcessImageReader(ProcessImageReader reader);
