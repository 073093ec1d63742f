#include "tests/e2e/driver/Commands.h"
#include "tests/e2e/driver/Failure.h"

void HoldFile(const std::string& path, unsigned seconds, Report& report) {
  // Readable by others, so that a scan can still recognise the file, but
  // neither deletable nor writable while this process lives.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw DriverFailure("cannot open " + path + " (error " + std::to_string(GetLastError()) + ")");
  report.Line("holding", path);
  Sleep(seconds * 1000);
  CloseHandle(file);
}
