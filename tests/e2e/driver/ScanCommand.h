#pragma once
// SCAN as a user presses it: click, answer every prompt by its text, maybe
// ask to stop part-way, wait for the finished look, then read back the log.
#include <string>

#include "tests/e2e/driver/AppWindow.h"
#include "tests/e2e/driver/Report.h"

struct ScanOptions {
  enum class Interruption { None, EscapeKey, CloseButton, CancelButton };
  Interruption interruption = Interruption::None;
  // When to interrupt: at this change of the status line (from 1), counted
  // in the program as it makes it. The program waits there until the
  // interruption is in its queue (see ScanPause.h), so that the walk meets
  // it with entries still before it.
  long afterStatusChanges = 1;
  int stopAnswer = IDNO;     // to "Terminate the Scan now?"
  int restartAnswer = IDNO;  // to the offer to restart the computer
  unsigned timeoutMs = 240000;
  // Whether the program may end in the middle of the scan (after a find in
  // memory it may); otherwise that is a failure.
  bool mayClose = false;
  // The window was started with /scan: its scan starts on its own, and SCAN
  // is not pressed.
  bool startedByCommandLine = false;
  // When set, the scan stops at two moments (held just before the
  // interruption, and with the stop prompt open) until the scenario has taken
  // a picture: see WaitForScreenshot.
  std::string screenshotPrefix;
};

void RunScanCommand(const AppWindow& app, const ScanOptions& options, Report& report);
