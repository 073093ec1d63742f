#pragma once
// The scan window of the program under test, seen from another process.
// Every question goes through a message with a timeout: a hung program must
// end the run with a message, not hang the test.
#include <windows.h>

#include <string>
#include <vector>

extern const char kAppTitle[];  // "Scourix Ver 1.0"

class AppWindow {
 public:
  // Waits until a top-level window with exactly the title exists, is visible
  // and answers a message: FindWindow succeeds before the controls exist.
  static AppWindow WaitFor(DWORD timeoutMs);

  HWND Handle() const { return window_; }
  DWORD ProcessId() const { return processId_; }
  DWORD ThreadId() const { return threadId_; }
  bool Exists() const { return IsWindow(window_) != FALSE; }
  // Returns once the program's thread has taken a message from its queue
  // again, so that whatever it was doing before has had its effect.
  bool RoundTrip() const;

  HWND Control(int id) const { return GetDlgItem(window_, id); }
  bool ControlVisible(int id) const;
  bool ControlEnabled(int id) const;
  std::string ControlText(int id) const;
  std::string Title() const;
  bool HasRegion() const;

  // The log list, line by line, read through the wide messages: the ANSI
  // LB_GETTEXT across processes overruns its buffer under Wine.
  std::vector<std::string> ListLines(int id) const;

  // The control with the keyboard focus in the program's thread, or the
  // window itself when none has it; a key press arrives there.
  HWND FocusTarget() const;

 private:
  AppWindow(HWND window);

  HWND window_;
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
};

// WM_GETTEXT of any window, of this process or another; empty on failure.
std::string WindowText(HWND window);

// Counts the top-level windows whose title is exactly the given one.
int CountWindowsTitled(const char* title);
