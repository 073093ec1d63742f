#include "app/StopSignals.h"

#include "state/ScanState.h"

namespace {

constexpr UINT kConsoleStopMessage = WM_APP + 1;
// A console that closes, or a session that ends, gives its handlers a few
// seconds before it ends the process; the run's log must be complete by then.
constexpr DWORD kLogCompletionWaitMs = 4000;
const char kWindowClass[] = "Scourix.StopSignals";

HWND signalWindow = nullptr;
HANDLE runFinished = nullptr;
void (*sessionEnd)() = nullptr;

}  // namespace

StopSignals::StopSignals(void (*onSessionEnd)()) {
  sessionEnd = onSessionEnd;
  runFinished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);
  // Top-level, never shown: only top-level windows hear of the session's end.
  window_ = CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            windowClass.hInstance, nullptr);
  signalWindow = window_;
  SetConsoleCtrlHandler(ConsoleHandler, TRUE);
}

StopSignals::~StopSignals() {
  SetConsoleCtrlHandler(ConsoleHandler, FALSE);
  signalWindow = nullptr;
  if (window_) DestroyWindow(window_);
  UnregisterClassA(kWindowClass, GetModuleHandleA(nullptr));
  RunFinished();
  sessionEnd = nullptr;
}

void StopSignals::RunFinished() {
  if (runFinished) SetEvent(runFinished);
}

LRESULT CALLBACK StopSignals::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  switch (message) {
    case kConsoleStopMessage:
      scanState.stopRequested = 1;
      return 0;
    case WM_QUERYENDSESSION:
      scanState.stopRequested = 1;
      return TRUE;  // the run does not hold up the user's logoff
    case WM_ENDSESSION:
      if (wParam) {
        scanState.stopRequested = 1;
        if (sessionEnd) sessionEnd();
      }
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

BOOL WINAPI StopSignals::ConsoleHandler(DWORD event) {
  if (signalWindow) PostMessageA(signalWindow, kConsoleStopMessage, event, 0);
  // Ctrl+C and Ctrl+Break let the process live on to end its run; the other
  // events end it once the handlers return.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && runFinished)
    WaitForSingleObject(runFinished, kLogCompletionWaitMs);
  return TRUE;
}
