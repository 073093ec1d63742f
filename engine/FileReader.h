#pragma once
// A file opened for reading by a check, closed on every path out (and before
// the file is acted on). Reads go to absolute signed positions, as the checks
// seek. Sharing read and write lets a check look into files that others have
// open; FILE_SHARE_DELETE is left out because the 9x line refuses it.
#include <windows.h>

#include "engine/ByteReader.h"
#include "win/Handles.h"

class FileReader final : public ByteReader {
 public:
  explicit FileReader(const char* path)
      : handle_(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

  bool IsOpen() const { return handle_.IsValid(); }
  void Close() { handle_.Close(); }

  // The length as a signed 32-bit value; files of 2 GiB and more count as
  // unreadable (no signature describes one).
  bool Length(int32_t& length) const {
    DWORD high = 0;
    DWORD low = GetFileSize(handle_.Get(), &high);
    if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || low > 0x7FFFFFFFu)
      return false;
    length = static_cast<int32_t>(low);
    return true;
  }

  bool ReadExact(int32_t position, void* destination, uint32_t length) override {
    if (position < 0) return false;
    if (SetFilePointer(handle_.Get(), position, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
      return false;
    DWORD got = 0;
    return ReadFile(handle_.Get(), destination, length, &got, nullptr) && got == length;
  }

 private:
  FileHandle handle_;
};
