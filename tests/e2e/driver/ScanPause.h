#pragma once
// A scan held at a chosen change of its status line, so that the driver's
// interruption reaches the walk with entries still before it, however quick
// the walk. The driver hooks the program's thread (WH_CALLWNDPROC) with
// scourix-scanpause.dll, which lies beside it; the hook counts the status
// line's changes as the program makes them and, at the chosen one, waits
// (still answering sent messages) until the driver lets it go on.
#include <windows.h>

#include <string>

// Shared by the driver and the hook, through a named mapping.
struct ScanPausePlan {
  LONG pauseAt;  // the change of the status line to wait at, from 1
  LONG seen;     // changes made so far
};
constexpr char kScanPausePlanName[] = "Scourix.Driver.ScanPause.Plan";
constexpr char kScanPausedName[] = "Scourix.Driver.ScanPause.Paused";
constexpr char kScanGoOnName[] = "Scourix.Driver.ScanPause.GoOn";
constexpr char kScanPauseHookName[] = "ScanPauseHook";

class AppWindow;

class ScanPause {
 public:
  // Hooks the window's thread; throws DriverFailure when it cannot.
  ScanPause(const AppWindow& app, long pauseAt);
  ~ScanPause();
  ScanPause(const ScanPause&) = delete;
  ScanPause& operator=(const ScanPause&) = delete;

  // Whether the program waits at the chosen change now.
  bool Paused() const;
  long Seen() const;
  // Lets the program go on, and unhooks it: it never waits twice.
  void GoOn();

 private:
  HANDLE mapping_ = nullptr;
  ScanPausePlan* plan_ = nullptr;
  HANDLE paused_ = nullptr;
  HANDLE goOn_ = nullptr;
  HMODULE module_ = nullptr;
  HHOOK hook_ = nullptr;
};
