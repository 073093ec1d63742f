#include "tools/report-sink/ReportSink.h"

#include "state/ScanState.h"

namespace {
const char kClassName[] = "ScourixReportSink";

void RegisterSinkClass(WNDPROC procedure) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);  // fails harmlessly when already registered
}
}  // namespace

ReportSink::ReportSink(TextCallback onLogLine, TextCallback onStatus)
    : onLogLine_(std::move(onLogLine)), onStatus_(std::move(onStatus)) {
  RegisterSinkClass(&ReportSink::WindowProcedure);
  window_ = CreateWindowExA(0, kClassName, "Scourix report sink", WS_POPUP, 0, 0, 10, 10,
                            nullptr, nullptr, GetModuleHandleA(nullptr), this);
}

ReportSink::~ReportSink() {
  if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK ReportSink::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* sink = reinterpret_cast<ReportSink*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (sink) {
    if (message == WM_SETREDRAW) {
      if (sink->onLogLine_) sink->onLogLine_(scanState.logLine);
      return 0;
    }
    if (message == WM_ENABLE) {
      if (sink->onStatus_) sink->onStatus_(scanState.statusText);
      return 0;
    }
    sink->otherMessages_.push_back(message);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
