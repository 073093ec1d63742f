#include "engine/VariantCheck.h"

#include <windows.h>

#include <cstring>

#include "cleaning/RegistryCleaning.h"
#include "engine/InfectedFile.h"
#include "engine/PathText.h"
#include "engine/PeHeaders.h"
#include "engine/ScanState.h"
#include "engine/VariantRecord.h"

char currentFilePath[kCurrentFilePathLength];

namespace {

// Reads an open file the way the check seeks: absolute signed positions.
class FileByteReader final : public ByteReader {
 public:
  explicit FileByteReader(HANDLE file) : file_(file) {}
  bool ReadExact(int32_t position, void* destination, uint32_t length) override {
    if (position < 0) return false;
    if (SetFilePointer(file_, position, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
      return false;
    DWORD got = 0;
    return ReadFile(file_, destination, length, &got, nullptr) && got == length;
  }

 private:
  HANDLE file_;
};

// Owns the file under test; closed on every path out, and before the
// infected-file handling tries to delete it.
class OpenedFile {
 public:
  explicit OpenedFile(const char* path)
      // FILE_SHARE_DELETE is refused on the 9x line; read and write sharing
      // let the check look into files that others have open.
      : handle_(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~OpenedFile() { Close(); }
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  void Close() {
    if (IsOpen()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// The length as the check sees it: a signed 32-bit value. Files of 2 GiB and
// more cannot be a variant and count as unreadable.
bool GetFileLength(HANDLE file, int32_t& length) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  if (high != 0 || low > 0x7FFFFFFFu) return false;
  length = static_cast<int32_t>(low);
  return true;
}

// Keeps currentFilePath naming the open file only while the check runs.
struct CurrentFileScope {
  explicit CurrentFileScope(const char* path) {
    memset(currentFilePath, 0, sizeof currentFilePath);
    CopyTruncated(currentFilePath, path);
  }
  ~CurrentFileScope() { memset(currentFilePath, 0, sizeof currentFilePath); }
};

PeHeaderState headerState;  // per file, overwritten each time; no allocation

}  // namespace

int CheckVariantFile(const char* familyName, const char* path) {
  if (scanState.pendingMemoryAction != 0 && scanState.reportWindow != nullptr) {
    HandleMemoryRemoval(familyName, path);
    return 0;
  }
  if (scanState.filesInfected == 0) memset(wormValueName, 0, sizeof wormValueName);

  OpenedFile file(path);
  if (!file.IsOpen()) return 0;
  CurrentFileScope current(path);
  if (!GetFileLength(file.Get(), headerState.fileLength)) return 0;
  FileByteReader reader(file.Get());
  if (!ReadPeHeaders(reader, headerState)) return 0;

  const VariantRecord* match = FindMatchingRecord(VariantTable, headerState, reader);
  if (!match) return 0;

  ++scanState.filesInfected;
  file.Close();
  CleanRegistryAndHosts(match->name);
  CopyTruncated(scanState.detectionName, match->name);
  CopyTruncated(scanState.statusText, path);
  if (scanState.memoryPhase) {
    scanState.foundInMemory = 1;
    return 1;
  }
  HandleInfectedFile(match->name, path);
  return 1;
}
