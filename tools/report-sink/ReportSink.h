#pragma once
// A hidden top-level window that stands in for the scan window at the
// receiving end of the report channel: it hands each log line (WM_SETREDRAW)
// and each status text (WM_ENABLE) to a callback, and records every other
// message it is sent so that a test can tell what reached it.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class ReportSink {
 public:
  using TextCallback = std::function<void(const char*)>;

  ReportSink(TextCallback onLogLine, TextCallback onStatus);
  ~ReportSink();
  ReportSink(const ReportSink&) = delete;
  ReportSink& operator=(const ReportSink&) = delete;

  HWND Window() const { return window_; }
  // Messages other than the two reports, in arrival order.
  const std::vector<UINT>& OtherMessages() const { return otherMessages_; }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam);

  HWND window_ = nullptr;
  TextCallback onLogLine_;
  TextCallback onStatus_;
  std::vector<UINT> otherMessages_;
};
