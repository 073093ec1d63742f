#include "engine/TextSignatureCheck.h"

#include <windows.h>

#include <cstring>

#include "cleaning/RegistryCleaning.h"
#include "engine/InfectedFile.h"
#include "engine/PathText.h"
#include "engine/ReportChannel.h"
#include "engine/ScanState.h"
#include "engine/TextSignature.h"

namespace {

class ReadOnlyFile final : public ByteReader {
 public:
  explicit ReadOnlyFile(const char* path)
      : handle_(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ReadOnlyFile() { Close(); }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (IsOpen()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  bool Length(int32_t& length) const {
    DWORD high = 0;
    DWORD low = GetFileSize(handle_, &high);
    if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || low > 0x7FFFFFFFu)
      return false;
    length = static_cast<int32_t>(low);
    return true;
  }
  bool ReadExact(int32_t position, void* destination, uint32_t length) override {
    if (position < 0) return false;
    if (SetFilePointer(handle_, position, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
      return false;
    DWORD got = 0;
    return ReadFile(handle_, destination, length, &got, nullptr) && got == length;
  }

 private:
  HANDLE handle_;
};

}  // namespace

int CheckTextSignatures(const char*, const char* path) {
  UnscrambleTextSignatures();
  const TextSignatureRecord* match = nullptr;
  {
    ReadOnlyFile file(path);
    if (!file.IsOpen()) return 0;
    int32_t length = 0;
    if (file.Length(length)) match = FindTextSignature(file, length);
  }
  if (!match) return 0;
  ++scanState.filesInfected;
  CopyTruncated(scanState.detectionName, match->name);
  CopyTruncated(scanState.statusText, path);

  switch (scanState.infectedAction) {
    case kActionRemove:
    case kActionRemoveToo:
      // A plain deletion: a hosts file that cannot go is reported, nothing more.
      if (DeleteFileA(path)) {
        ++scanState.filesRemoved;
        RemoveUninstallEntries();
        ReportLogLine("%s     %s removed", path, match->name);
      } else {
        ReportLogLine("%s     %s Remove failed", path, match->name);
      }
      break;
    case kActionRename:
      RenameInfectedFile(match->name, path);
      break;
    case kActionReportOnly:
      ReportLogLine("%s     %s Not Disinfected As Per User's Selection", scanState.statusText,
                    scanState.detectionName);
      break;
    default:
      break;
  }
  return 1;
}
