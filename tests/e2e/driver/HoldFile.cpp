#include "tests/e2e/driver/Commands.h"
#include "tests/e2e/driver/Failure.h"

void HoldFile(const std::string& path, unsigned seconds, bool mapped, Report& report) {
  // Readable by others, so that a scan can still recognise the file, but
  // neither deletable nor writable while this process lives. Mapped, as a
  // loaded DLL is, it is shared for everything: it cannot be deleted, but it
  // can be renamed.
  const DWORD share = mapped ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : FILE_SHARE_READ;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw DriverFailure("cannot open " + path + " (error " + std::to_string(GetLastError()) + ")");
  HANDLE mapping = nullptr;
  const void* view = nullptr;
  if (mapped) {
    mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (!view) throw DriverFailure("cannot map " + path + " (error " + std::to_string(GetLastError()) + ")");
  }
  report.Line("holding", path);
  Sleep(seconds * 1000);
  if (view) UnmapViewOfFile(view);
  if (mapping) CloseHandle(mapping);
  CloseHandle(file);
}
