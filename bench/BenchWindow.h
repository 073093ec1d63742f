#pragma once
// A hidden stand-in for the scan window at the receiving end of the report
// channel, doing what the scan window does with each report: a status text
// (WM_ENABLE) becomes the text of a STATIC label, a log line (WM_SETREDRAW)
// goes into a LISTBOX through the scan window's own AppendLogLine. Nothing is
// recorded, so the window costs the scan no memory per entry.
#include <windows.h>

class BenchWindow {
 public:
  BenchWindow();
  ~BenchWindow();
  BenchWindow(const BenchWindow&) = delete;
  BenchWindow& operator=(const BenchWindow&) = delete;

  HWND Window() const { return window_; }
  long StatusUpdates() const { return statusUpdates_; }
  long LogLines() const { return logLines_; }
  void ResetCounts() { statusUpdates_ = logLines_ = 0; }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  HWND status_ = nullptr;
  HWND log_ = nullptr;
  long statusUpdates_ = 0;
  long logLines_ = 0;
};
