// scourix-scanpause.dll: runs inside the program under test, on its window's
// thread, hooked there by the driver (see ScanPause.h).
#include <windows.h>

#include <cstring>

#include "tests/e2e/driver/ControlIds.h"
#include "tests/e2e/driver/ScanPause.h"

namespace {

// Long enough for the driver to have a picture taken; a driver that went
// away must not hold the program for ever.
constexpr DWORD kLongestPauseMs = 300000;

ScanPausePlan* Plan() {
  static ScanPausePlan* plan = nullptr;
  if (!plan) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, kScanPausePlanName);
    if (mapping) plan = static_cast<ScanPausePlan*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  }
  return plan;
}

// Waits for the driver, answering the messages that it (or anyone) sends
// meanwhile, so that its questions about the window do not hang; posted
// messages are only looked at, and stay in the queue for the walk.
void WaitForTheDriver() {
  HANDLE paused = OpenEventA(EVENT_MODIFY_STATE, FALSE, kScanPausedName);
  HANDLE goOn = OpenEventA(SYNCHRONIZE, FALSE, kScanGoOnName);
  if (paused && goOn) {
    SetEvent(paused);
    const DWORD started = GetTickCount();
    for (;;) {
      const DWORD waited = GetTickCount() - started;
      if (waited >= kLongestPauseMs) break;
      DWORD woke = MsgWaitForMultipleObjects(1, &goOn, FALSE, kLongestPauseMs - waited, QS_SENDMESSAGE);
      if (woke != WAIT_OBJECT_0 + 1) break;
      MSG message;
      PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    }
  }
  if (paused) CloseHandle(paused);
  if (goOn) CloseHandle(goOn);
}

void NoteSent(const CWPSTRUCT& sent) {
  if (sent.message != WM_SETTEXT || !sent.lParam || GetDlgCtrlID(sent.hwnd) != ids::kStatus) return;
  static char last[1024];
  const char* text = reinterpret_cast<const char*>(sent.lParam);
  if (strncmp(text, last, sizeof last - 1) == 0) return;
  strncpy(last, text, sizeof last - 1);
  ScanPausePlan* plan = Plan();
  if (plan && InterlockedIncrement(&plan->seen) == plan->pauseAt) WaitForTheDriver();
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ScanPauseHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && lParam) NoteSent(*reinterpret_cast<const CWPSTRUCT*>(lParam));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
