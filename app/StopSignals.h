#pragma once
// What stops a run that has no window of the user's: Ctrl+C or Ctrl+Break in
// the console it was started from, and the end of the session (logoff or
// shutdown). Each sets scanState.stopRequested, as CANCEL does in the
// window; the walk sees it at its next test. A hidden top-level window
// receives the session's end, and the console's signals are posted to it
// from the thread the system calls them on, so that the flag is only ever
// set on the scan's own thread, when the walk looks at its messages.
#include <windows.h>

class StopSignals {
 public:
  // onSessionEnd runs when the session ends for good: the process may be
  // ended as soon as the message returns, so the run's log is closed there.
  explicit StopSignals(void (*onSessionEnd)());
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Tells a console handler that waits for the log to be complete (close,
  // logoff, shutdown) that it is.
  void RunFinished();

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static BOOL WINAPI ConsoleHandler(DWORD event);

  HWND window_ = nullptr;
};
