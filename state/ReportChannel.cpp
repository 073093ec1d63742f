#include "state/ReportChannel.h"

#include <cstdarg>
#include <utility>

#include "base/PathText.h"
#include "state/ScanState.h"

namespace {
LogLineMirror logLineMirror = nullptr;
}  // namespace

LogLineMirror UseLogLineMirror(LogLineMirror mirror) {
  return std::exchange(logLineMirror, mirror);
}

bool LogLinesAreRead() { return scanState.reportWindow != nullptr || logLineMirror != nullptr; }

// A line longer than the buffer (a long registry entry name, say) is cut
// rather than dropped: the user still sees which entry it was. The names in
// it are escaped here, once for every reader: a value name with CR LF in it
// must not forge a line of the log file.
void ReportLogLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatEscaped(scanState.logLine, sizeof scanState.logLine, format, args);
  va_end(args);
  if (logLineMirror) logLineMirror(scanState.logLine);
  if (scanState.reportWindow)
    SendMessageA(scanState.reportWindow, WM_SETREDRAW, 0, 0);
}

void ReportStatus(const char* text) {
  CopyTruncated(scanState.statusText, text);
  ReportStatusText();
}

void ReportStatusText() {
  if (scanState.reportWindow)
    SendMessageA(scanState.reportWindow, WM_ENABLE, 0, 0);
}
