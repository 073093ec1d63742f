#pragma once
// Which file a process runs: its image path read through the process
// itself, and the identity of an infected file that such a path is compared
// with. Every termination and service stop of the cleaning code is tied to
// this identity, never to a name that another program may carry.
#include <windows.h>

#include <cstddef>

#include "cleaning/files/Files.h"
#include "cleaning/ProcessNames.h"

// The identity of the file at `path`, read through a handle opened for
// FILE_READ_ATTRIBUTES only, without following a reparse point at its end
// (FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS), in the native
// view of the file system. False when the path cannot be opened so, or the
// system gives it no index.
bool ReadFileIdentity(const char* path, FileIdentity& identity);

// Whether two path texts are equal under the system's own case rules: on
// the NT line both are widened from the ANSI code page (which widening does
// without best fit) and compared with CompareStringOrdinal (Vista on) or
// ntdll's RtlEqualUnicodeString, ignoring case; where neither exists (the 9x
// line), through CharUpperBuffA as before. Never through a narrowing, whose
// best fit makes "Zdjęcia" and "Zdjecia" one name.
bool SamePathText(const char* left, const char* right);

// The same for wide texts; false on systems without either function.
bool SameWidePathText(const wchar_t* left, const wchar_t* right);

// An infected file, tied to its identity. Path texts only nominate: a
// candidate path is the file when its text names the file (its full, long
// or short form, or the candidate's own long or short form equals one of
// them) and, on the NT line, when the file the candidate opens has the
// file's identity. The 9x line gives no file index that holds, so there the
// path text alone decides. GetLongPathNameA, which Windows 95 and NT 4 lack,
// is looked up at run time; the short forms cover those systems.
class ImageIdentity {
 public:
  // A relative path is taken from the current folder, as the file functions take it.
  explicit ImageIdentity(const char* path);

  const char* Path() const { return full_; }
  bool Matches(const char* candidatePath) const;

  // Whether a process opened with PROCESS_QUERY_INFORMATION | PROCESS_VM_READ
  // runs this file, beyond what its recorded image path says (a running
  // program can be renamed, and its recorded path then names whatever is put
  // there): the current name of its main module's mapped file, where the
  // system gives one, must open to the file's identity, and the headers
  // mapped at the module's base must be the file's headers (ImageBase, which
  // the loader rewrites when it relocates, left out). Where the module cannot
  // be read (a handle with limited rights, a 64-bit process seen from WoW64)
  // nothing more is known and the result is true; always true on the 9x
  // line. A worm that wipes its own headers in memory is not ended: its
  // file is still removed, or left for the restart, by the file's handling.
  bool MappedInto(HANDLE process) const;

 private:
  bool NamesByText(const char* candidate) const;

  char full_[MAX_PATH] = {};
  char long_[MAX_PATH] = {};
  char short_[MAX_PATH] = {};
  bool identified_ = false;
  FileIdentity identity_;
  unsigned char headers_[1024] = {};
  size_t headerLength_ = 0;
};

// Reads the path of the file that a process runs, through a handle opened
// with PROCESS_QUERY_INFORMATION | PROCESS_VM_READ: on the NT line with
// QueryFullProcessImageNameW where kernel32 has it (it also reads a 64-bit
// process from a 32-bit one) and PSAPI's GetModuleFileNameExW otherwise, as
// 8-bit text only where the code page holds each character exactly; on
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
