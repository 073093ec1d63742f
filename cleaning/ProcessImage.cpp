#include "cleaning/ProcessImage.h"

#include <tlhelp32.h>

#include <cstring>

#include "base/Handles.h"
#include "cleaning/OsVersion.h"
#include "cleaning/SystemLibrary.h"

namespace {

using QueryFullImageNameFunction = BOOL(WINAPI*)(HANDLE process, DWORD flags, LPSTR name,
                                                 PDWORD length);
using ModuleFileNameFunction = DWORD(WINAPI*)(HANDLE process, HMODULE module, LPSTR name,
                                              DWORD length);
using LongPathNameFunction = DWORD(WINAPI*)(LPCSTR path, LPSTR longPath, DWORD length);
using SnapshotFunction = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
using ModuleWalkFunction = BOOL(WINAPI*)(HANDLE snapshot, MODULEENTRY32* entry);

// Room to see that a path was not cut: a reader that fills a buffer to its
// end may have left out the rest.
constexpr DWORD kReadLength = 2 * MAX_PATH;

// A function of a system library, looked up on first use and kept for the
// run; the library stays loaded, like every library of the cleaning code.
template <typename Function>
class LateFunction {
 public:
  constexpr LateFunction(const char* library, const char* name) : library_(library), name_(name) {}
  Function Get() {
    if (!lookedUp_) {
      lookedUp_ = true;
      HMODULE module = LoadSystemLibrary(library_);
      if (module)
        function_ = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name_)));
    }
    return function_;
  }

 private:
  const char* library_;
  const char* name_;
  bool lookedUp_ = false;
  Function function_ = nullptr;
};

LateFunction<QueryFullImageNameFunction> queryFullImageName("Kernel32.dll", "QueryFullProcessImageNameA");
LateFunction<ModuleFileNameFunction> moduleFileNameEx("psapi.dll", "GetModuleFileNameExA");
LateFunction<LongPathNameFunction> longPathName("Kernel32.dll", "GetLongPathNameA");
LateFunction<SnapshotFunction> createSnapshot("Kernel32.dll", "CreateToolhelp32Snapshot");
LateFunction<ModuleWalkFunction> module32First("Kernel32.dll", "Module32First");

bool Fits(DWORD length, size_t capacity) { return length > 0 && length < capacity; }

bool ReadWithQueryFullImageName(HANDLE process, char* path) {
  QueryFullImageNameFunction query = queryFullImageName.Get();
  DWORD length = kReadLength;
  return query && query(process, 0, path, &length) && Fits(length, kReadLength - 1);
}

bool ReadWithModuleFileName(HANDLE process, char* path) {
  ModuleFileNameFunction moduleFileName = moduleFileNameEx.Get();
  if (!moduleFileName) return false;
  DWORD length = moduleFileName(process, nullptr, path, kReadLength);
  // Before Vista a cut name comes back without its terminator.
  if (!Fits(length, kReadLength - 1)) return false;
  path[length] = '\0';
  return true;
}

// The 9x line's ToolHelp lists a process's executable as its first module.
bool ReadWithModuleSnapshot(DWORD processId, char* path) {
  SnapshotFunction create = createSnapshot.Get();
  ModuleWalkFunction first = module32First.Get();
  if (!create || !first) return false;
  SnapshotHandle snapshot(create(TH32CS_SNAPMODULE, processId));
  if (!snapshot.IsValid()) return false;
  MODULEENTRY32 module;
  memset(&module, 0, sizeof module);
  module.dwSize = sizeof module;
  if (!first(snapshot.Get(), &module)) return false;
  module.szExePath[sizeof module.szExePath - 1] = '\0';
  strcpy(path, module.szExePath);
  return path[0] != '\0';
}

bool ReadFromSystem(HANDLE process, DWORD processId, char* path, size_t length) {
  char read[kReadLength] = {};
  bool ok;
  if (GetOsFamily() == OS_WIN9X) {
    ok = ReadWithModuleSnapshot(processId, read);
  } else if (GetNtGeneration() == NTGEN_OTHER) {
    ok = ReadWithQueryFullImageName(process, read) || ReadWithModuleFileName(process, read);
  } else {
    // NT 4 to Server 2003 have no QueryFullProcessImageNameA; where Wine
    // poses as one of them, read the way the real system must.
    ok = ReadWithModuleFileName(process, read) || ReadWithQueryFullImageName(process, read);
  }
  if (!ok || strlen(read) >= length) return false;
  strcpy(path, read);
  return true;
}

ProcessImageReader imageReader = ReadFromSystem;

// Case as the file systems ignore it: per character of the code page, not
// ASCII only, and without the linguistic equivalences of CompareString.
bool SamePathText(const char* left, const char* right) {
  const size_t length = strlen(left);
  if (length == 0 || length >= MAX_PATH || length != strlen(right)) return false;
  char upperLeft[MAX_PATH], upperRight[MAX_PATH];
  memcpy(upperLeft, left, length);
  memcpy(upperRight, right, length);
  CharUpperBuffA(upperLeft, static_cast<DWORD>(length));
  CharUpperBuffA(upperRight, static_cast<DWORD>(length));
  return memcmp(upperLeft, upperRight, length) == 0;
}

}  // namespace

ImageIdentity::ImageIdentity(const char* path) {
  char* filePart = nullptr;
  if (!Fits(GetFullPathNameA(WithoutDevicePrefix(path), sizeof full_, full_, &filePart), sizeof full_)) {
    full_[0] = '\0';
    return;
  }
  LongPathNameFunction toLong = longPathName.Get();
  if (!toLong || !Fits(toLong(full_, long_, sizeof long_), sizeof long_)) long_[0] = '\0';
  if (!Fits(GetShortPathNameA(full_, short_, sizeof short_), sizeof short_)) short_[0] = '\0';
}

bool ImageIdentity::Matches(const char* candidatePath) const {
  if (full_[0] == '\0') return false;
  const char* candidate = WithoutDevicePrefix(candidatePath);
  if (SamePathText(candidate, full_) || SamePathText(candidate, long_) ||
      SamePathText(candidate, short_))
    return true;
  // Every form of the file ends in its long or its short name; a candidate
  // of another name is another file, without a look at the disk.
  const char* name = FileNameOfPath(candidate);
  if (!SamePathText(name, FileNameOfPath(full_)) && !SamePathText(name, FileNameOfPath(long_)) &&
      !SamePathText(name, FileNameOfPath(short_)))
    return false;
  char form[MAX_PATH];
  LongPathNameFunction toLong = longPathName.Get();
  if (long_[0] && toLong && Fits(toLong(candidate, form, sizeof form), sizeof form) &&
      SamePathText(form, long_))
    return true;
  return short_[0] && Fits(GetShortPathNameA(candidate, form, sizeof form), sizeof form) &&
         SamePathText(form, short_);
}

bool ReadProcessImagePath(HANDLE process, DWORD processId, char* path, size_t length) {
  if (length == 0) return false;
  path[0] = '\0';
  if (imageReader(process, processId, path, length) && path[0] != '\0') return true;
  path[0] = '\0';
  return false;
}

bool CanReadProcessImagePaths() {
  if (GetOsFamily() == OS_WIN9X) return createSnapshot.Get() && module32First.Get();
  return queryFullImageName.Get() || moduleFileNameEx.Get();
}

ProcessImageReader UseProcessImageReader(ProcessImageReader reader) {
  ProcessImageReader previous = imageReader;
  imageReader = reader ? reader : ReadFromSystem;
  return previous;
}
