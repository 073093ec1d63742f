#include "cleaning/ProcessImage.h"

#include <tlhelp32.h>

#include <cstring>
#include <utility>

#include "base/Handles.h"
#include "base/SystemLibrary.h"
#include "cleaning/OsVersion.h"
#include "cleaning/files/Files.h"

namespace {

using SnapshotFunction = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
using ModuleWalkFunction = BOOL(WINAPI*)(HANDLE snapshot, MODULEENTRY32* entry);
using QueryFullImageNameWideFunction = BOOL(WINAPI*)(HANDLE process, DWORD flags, LPWSTR name,
                                                     PDWORD length);
using ModuleFileNameWideFunction = DWORD(WINAPI*)(HANDLE process, HMODULE module, LPWSTR name,
                                                  DWORD length);
using MappedFileNameFunction = DWORD(WINAPI*)(HANDLE process, LPVOID address, LPWSTR name, DWORD length);
using EnumModulesFunction = BOOL(WINAPI*)(HANDLE process, HMODULE* modules, DWORD length, LPDWORD needed);
using QueryDosDeviceFunction = DWORD(WINAPI*)(LPCWSTR device, LPWSTR target, DWORD length);
using CompareOrdinalFunction = int(WINAPI*)(LPCWSTR left, int leftLength, LPCWSTR right,
                                            int rightLength, BOOL ignoreCase);
struct CountedWideText {  // ntdll's UNICODE_STRING
  USHORT length;          // bytes
  USHORT maximumLength;
  const wchar_t* buffer;
};
using EqualUnicodeFunction = BOOLEAN(WINAPI*)(const CountedWideText* left, const CountedWideText* right,
                                              BOOLEAN ignoreCase);

// Room to see that a path was not cut: a reader that fills a buffer to its
// end may have left out the rest.
constexpr DWORD kReadLength = 2 * MAX_PATH;

const SystemFunction<SnapshotFunction> createSnapshot("Kernel32.dll", "CreateToolhelp32Snapshot");
const SystemFunction<ModuleWalkFunction> module32First("Kernel32.dll", "Module32First");
const SystemFunction<QueryFullImageNameWideFunction> queryFullImageNameWide("Kernel32.dll",
                                                                          "QueryFullProcessImageNameW");
const SystemFunction<ModuleFileNameWideFunction> moduleFileNameExWide("psapi.dll", "GetModuleFileNameExW");
const SystemFunction<MappedFileNameFunction> mappedFileName("psapi.dll", "GetMappedFileNameW");
const SystemFunction<EnumModulesFunction> enumProcessModules("psapi.dll", "EnumProcessModules");
const SystemFunction<QueryDosDeviceFunction> queryDosDevice("Kernel32.dll", "QueryDosDeviceW");
const SystemFunction<CompareOrdinalFunction> compareOrdinal("Kernel32.dll", "CompareStringOrdinal");
const SystemFunction<EqualUnicodeFunction> equalUnicode("ntdll.dll", "RtlEqualUnicodeString");

constexpr DWORD kWideLength = 1024;

// Narrows a wide path to the ANSI code page only where every character has
// its own code: best fit would turn "Zdjęcia" into "Zdjecia", a name of
// another folder. NT 4 knows no WC_NO_BEST_FIT_CHARS; there a character
// without its own code still shows as the default character.
bool NarrowExactly(const wchar_t* wide, char* path, size_t length) {
  // UTF-8 holds every character and takes neither the flag nor the question.
  if (GetACP() == CP_UTF8)
    return WideCharToMultiByte(CP_UTF8, 0, wide, -1, path, static_cast<int>(length), nullptr, nullptr) > 1;
  BOOL usedDefault = FALSE;
  int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, path,
                                    static_cast<int>(length), nullptr, &usedDefault);
  if (written == 0 && GetLastError() == ERROR_INVALID_FLAGS)
    written = WideCharToMultiByte(CP_ACP, 0, wide, -1, path, static_cast<int>(length), nullptr,
                                  &usedDefault);
  return written > 1 && !usedDefault;
}

// The NT line reads the UTF-16 path, with PSAPI's GetModuleFileNameExW and
// kernel32's QueryFullProcessImageNameW (Vista on), in the order given.
// Every system that has the ANSI forms has these beside them.
bool ReadWide(HANDLE process, bool modulePathFirst, char* path) {
  QueryFullImageNameWideFunction query = queryFullImageNameWide.Get();
  ModuleFileNameWideFunction moduleFileName = moduleFileNameExWide.Get();
  wchar_t wide[kWideLength];
  for (int attempt = 0; attempt < 2; ++attempt) {
    const bool module = (attempt == 0) == modulePathFirst;
    DWORD length = kWideLength;
    if (module && moduleFileName) {
      length = moduleFileName(process, nullptr, wide, kWideLength);
      if (length == 0 || length >= kWideLength - 1) continue;
      wide[length] = L'\0';
    } else if (!module && query) {
      if (!query(process, 0, wide, &length) || length == 0 || length >= kWideLength - 1) continue;
    } else {
      continue;
    }
    return NarrowExactly(wide, path, kReadLength);
  }
  return false;
}

bool Fits(DWORD length, size_t capacity) { return length > 0 && length < capacity; }

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
  } else {
    // NT 4 to Server 2003 have no QueryFullProcessImageName; where Wine
    // poses as one of them, read the way the real system must.
    ok = ReadWide(process, GetNtGeneration() != NTGEN_OTHER, read);
  }
  if (!ok || strlen(read) >= length) return false;
  strcpy(path, read);
  return true;
}

ProcessImageReader imageReader = ReadFromSystem;

bool SamePathTextByCodePage(const char* left, const char* right, size_t length) {
  char upperLeft[MAX_PATH], upperRight[MAX_PATH];
  memcpy(upperLeft, left, length);
  memcpy(upperRight, right, length);
  CharUpperBuffA(upperLeft, static_cast<DWORD>(length));
  CharUpperBuffA(upperRight, static_cast<DWORD>(length));
  return memcmp(upperLeft, upperRight, length) == 0;
}

bool CanCompareWide() { return compareOrdinal.Get() || equalUnicode.Get(); }

bool Widen(const char* text, wchar_t (&wide)[MAX_PATH]) {
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wide, MAX_PATH) > 0;
}

// The module that a process was started from: the first that PSAPI lists.
void* MainModuleBase(HANDLE process) {
  EnumModulesFunction enumModules = enumProcessModules.Get();
  HMODULE modules[1] = {};
  DWORD needed = 0;
  if (!enumModules || !enumModules(process, modules, sizeof modules, &needed) || needed == 0)
    return nullptr;
  return modules[0];
}

// A native path ("\Device\HarddiskVolume1\x", "\??\C:\x") as a drive path.
bool DrivePathOfNative(const wchar_t* native, wchar_t (&drivePath)[kWideLength]) {
  if (wcsncmp(native, L"\\??\\", 4) == 0 && native[4] != L'\0' && native[5] == L':') {
    if (wcslen(native + 4) >= kWideLength) return false;
    wcscpy(drivePath, native + 4);
    return true;
  }
  QueryDosDeviceFunction query = queryDosDevice.Get();
  if (!query) return false;
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    const wchar_t drive[] = {letter, L':', L'\0'};
    wchar_t device[kWideLength];
    if (!query(drive, device, kWideLength)) continue;
    const size_t deviceLength = wcslen(device);
    if (deviceLength == 0 || wcsncmp(native, device, deviceLength) != 0 || native[deviceLength] != L'\\')
      continue;
    if (2 + wcslen(native + deviceLength) >= kWideLength) return false;
    drivePath[0] = letter;
    drivePath[1] = L':';
    wcscpy(drivePath + 2, native + deviceLength);
    return true;
  }
  return false;
}

// The byte range of a PE header that the loader may rewrite: ImageBase
// (with PE32's BaseOfData before it), 24 bytes into the optional header.
bool IsRewrittenByLoader(const unsigned char* headers, size_t length, size_t at) {
  if (length < 0x40) return false;
  const size_t peOffset = headers[0x3C] | headers[0x3D] << 8 | headers[0x3E] << 16 |
                          static_cast<size_t>(headers[0x3F]) << 24;
  const size_t imageBase = peOffset + 24 + 24;
  return peOffset < length && at - imageBase < 8;
}

}  // namespace

bool SameWidePathText(const wchar_t* left, const wchar_t* right) {
  if (CompareOrdinalFunction compare = compareOrdinal.Get())
    return compare(left, -1, right, -1, TRUE) == CSTR_EQUAL;
  EqualUnicodeFunction equal = equalUnicode.Get();
  const size_t leftLength = wcslen(left), rightLength = wcslen(right);
  if (!equal || leftLength > 32767 || rightLength > 32767) return false;
  const CountedWideText l = {static_cast<USHORT>(leftLength * 2), static_cast<USHORT>(leftLength * 2), left};
  const CountedWideText r = {static_cast<USHORT>(rightLength * 2), static_cast<USHORT>(rightLength * 2), right};
  return equal(&l, &r, TRUE) != FALSE;
}

bool SamePathText(const char* left, const char* right) {
  const size_t length = strlen(left);
  if (length == 0 || length >= MAX_PATH || strlen(right) >= MAX_PATH) return false;
  if (GetOsFamily() == OS_WINNT && CanCompareWide()) {
    wchar_t wideLeft[MAX_PATH], wideRight[MAX_PATH];
    return Widen(left, wideLeft) && Widen(right, wideRight) && SameWidePathText(wideLeft, wideRight);
  }
  return length == strlen(right) && SamePathTextByCodePage(left, right, length);
}

bool ReadFileIdentity(const char* path, FileIdentity& identity) {
  KernelHandle file(OpenPath(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
  return file.IsValid() && IdentifyHandle(file.Get(), identity) &&
         (identity.indexHigh != 0 || identity.indexLow != 0);
}

ImageIdentity::ImageIdentity(const char* path) {
  char* filePart = nullptr;
  if (!Fits(GetFullPathNameA(WithoutDevicePrefix(path), sizeof full_, full_, &filePart), sizeof full_)) {
    full_[0] = '\0';
    return;
  }
  if (!Fits(LongPathOf(full_, long_, sizeof long_), sizeof long_)) long_[0] = '\0';
  if (!Fits(ShortPathOf(full_, short_, sizeof short_), sizeof short_)) short_[0] = '\0';
  if (GetOsFamily() != OS_WINNT) return;
  identified_ = ReadFileIdentity(full_, identity_);
  KernelHandle file(OpenPath(full_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
  BY_HANDLE_FILE_INFORMATION information;
  DWORD length = 0;
  // Only the headers of the very file whose identity was taken.
  if (identified_ && file.IsValid() && GetFileInformationByHandle(file.Get(), &information) &&
      information.dwVolumeSerialNumber == identity_.volume &&
      information.nFileIndexHigh == identity_.indexHigh && information.nFileIndexLow == identity_.indexLow &&
      ReadFile(file.Get(), headers_, sizeof headers_, &length, nullptr) && length >= 0x40 &&
      headers_[0] == 'M' && headers_[1] == 'Z') {
    const size_t peOffset = headers_[0x3C] | headers_[0x3D] << 8 | headers_[0x3E] << 16 |
                            static_cast<size_t>(headers_[0x3F]) << 24;
    const size_t sizeOfHeadersAt = peOffset + 24 + 60;
    if (peOffset < length && sizeOfHeadersAt + 4 <= length) {
      const size_t sizeOfHeaders = headers_[sizeOfHeadersAt] | headers_[sizeOfHeadersAt + 1] << 8 |
                                   headers_[sizeOfHeadersAt + 2] << 16 |
                                   static_cast<size_t>(headers_[sizeOfHeadersAt + 3]) << 24;
      headerLength_ = sizeOfHeaders < length ? sizeOfHeaders : length;
    }
  }
}

bool ImageIdentity::NamesByText(const char* candidate) const {
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
  if (long_[0] && Fits(LongPathOf(candidate, form, sizeof form), sizeof form) && SamePathText(form, long_))
    return true;
  return short_[0] && Fits(ShortPathOf(candidate, form, sizeof form), sizeof form) &&
         SamePathText(form, short_);
}

bool ImageIdentity::Matches(const char* candidatePath) const {
  if (full_[0] == '\0') return false;
  const char* candidate = WithoutDevicePrefix(candidatePath);
  if (!NamesByText(candidate)) return false;
  if (GetOsFamily() != OS_WINNT) return true;
  FileIdentity other;
  return identified_ && ReadFileIdentity(candidate, other) && other.SameFile(identity_);
}

bool ImageIdentity::MappedInto(HANDLE process) const {
  if (GetOsFamily() != OS_WINNT) return true;
  void* base = MainModuleBase(process);
  if (!base) return true;
  MappedFileNameFunction mappedName = mappedFileName.Get();
  wchar_t native[kWideLength];
  wchar_t drivePath[kWideLength];
  char path[kReadLength];
  DWORD nativeLength = mappedName ? mappedName(process, base, native, kWideLength) : 0;
  if (nativeLength > 0 && nativeLength < kWideLength - 1) {
    native[nativeLength] = L'\0';
    FileIdentity mapped;
    // The name the system gives the mapped file now; a name that the code
    // page cannot hold is no file this program could have judged.
    if (!DrivePathOfNative(native, drivePath) || !NarrowExactly(drivePath, path, sizeof path) ||
        !identified_ || !ReadFileIdentity(path, mapped) || !mapped.SameFile(identity_))
      return false;
  }
  if (headerLength_ == 0) return true;
  unsigned char mappedHeaders[sizeof headers_];
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, base, mappedHeaders, headerLength_, &read) || read != headerLength_)
    return true;
  for (size_t at = 0; at < headerLength_; ++at) {
    if (mappedHeaders[at] != headers_[at] && !IsRewrittenByLoader(headers_, headerLength_, at)) return false;
  }
  return true;
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
  return queryFullImageNameWide.Get() || moduleFileNameExWide.Get();
}

ProcessImageReader UseProcessImageReader(ProcessImageReader reader) {
  return std::exchange(imageReader, reader ? reader : ReadFromSystem);
}
