#include "bench/BenchWindow.h"

#include "app/LogList.h"
#include "state/ScanState.h"

namespace {
const char kClassName[] = "ScourixBenchWindow";
constexpr int kStatusId = 1065;  // the scan window's status label
constexpr int kLogId = 1055;     // and its log list
}  // namespace

BenchWindow::BenchWindow() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = &BenchWindow::WindowProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
  window_ = CreateWindowExA(0, kClassName, "Scourix bench", WS_POPUP, 0, 0, 620, 400, nullptr,
                            nullptr, GetModuleHandleA(nullptr), this);
  if (!window_) return;
  status_ = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 10, 600, 20,
                            window_, reinterpret_cast<HMENU>(kStatusId), nullptr, nullptr);
  log_ = CreateWindowExA(0, "LISTBOX", "",
                         WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_USETABSTOPS |
                             LBS_NOINTEGRALHEIGHT,
                         10, 40, 600, 340, window_, reinterpret_cast<HMENU>(kLogId), nullptr, nullptr);
}

BenchWindow::~BenchWindow() {
  if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK BenchWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<BenchWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self && self->status_) {
    if (message == WM_ENABLE) {
      ++self->statusUpdates_;
      SetWindowTextA(self->status_, scanState.statusText);
      return 0;
    }
    if (message == WM_SETREDRAW) {
      ++self->logLines_;
      AppendLogLine(self->log_);
      return 0;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
