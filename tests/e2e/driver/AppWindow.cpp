#include "tests/e2e/driver/AppWindow.h"

#include "tests/windows/support/WaitUntil.h"
#include "tests/e2e/driver/Failure.h"

const char kAppTitle[] = "Scourix Ver 1.0";

namespace {

constexpr UINT kAnswerMs = 5000;

bool Answers(HWND window) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &result) != 0;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string text(length, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], length,
                      nullptr, nullptr);
  return text;
}

struct TitleCount {
  const char* title;
  int count;
};

BOOL CALLBACK CountTitled(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<TitleCount*>(parameter);
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  if (lstrcmpA(title, search->title) == 0) ++search->count;
  return TRUE;
}

}  // namespace

AppWindow::AppWindow(HWND window) : window_(window) {
  threadId_ = GetWindowThreadProcessId(window, &processId_);
}

AppWindow AppWindow::WaitFor(DWORD timeoutMs) {
  Deadline deadline(timeoutMs);
  HWND window = nullptr;
  while (!(window = FindWindowA(nullptr, kAppTitle))) {
    if (deadline.Passed())
      throw DriverFailure("no window titled \"" + std::string(kAppTitle) + "\" appeared within " +
                          std::to_string(timeoutMs / 1000) + " s");
    Sleep(50);
  }
  while (!IsWindowVisible(window) || !Answers(window)) {
    if (!IsWindow(window)) throw DriverFailure("the window vanished while it was being shown");
    if (deadline.Passed())
      throw DriverFailure("the window never became visible and responsive within " +
                          std::to_string(timeoutMs / 1000) + " s");
    Sleep(50);
  }
  return AppWindow(window);
}

bool AppWindow::RoundTrip() const { return Answers(window_); }

bool AppWindow::ControlVisible(int id) const {
  HWND control = Control(id);
  // IsWindowVisible would also need the parent visible; a control's own
  // WS_VISIBLE is what ShowWindow on it changed.
  return control && (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool AppWindow::ControlEnabled(int id) const {
  HWND control = Control(id);
  return control && IsWindowEnabled(control);
}

std::string AppWindow::ControlText(int id) const {
  HWND control = Control(id);
  return control ? WindowText(control) : std::string();
}

std::string AppWindow::Title() const { return WindowText(window_); }

bool AppWindow::HasRegion() const {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  int kind = GetWindowRgn(window_, region);
  DeleteObject(region);
  return kind != ERROR && kind != NULLREGION;
}

std::vector<std::string> AppWindow::ListLines(int id) const {
  std::vector<std::string> lines;
  HWND list = Control(id);
  if (!list) return lines;
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &count))
    throw DriverFailure("the log list did not answer LB_GETCOUNT");
  for (DWORD_PTR i = 0; i < count && count != static_cast<DWORD_PTR>(LB_ERR); ++i) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kAnswerMs, &length);
    if (length == static_cast<DWORD_PTR>(LB_ERR)) length = 0;
    // Room to spare: the copy across processes is sized by the sender's
    // idea of the length, not by this buffer.
    std::wstring buffer(length + 1024, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&buffer[0]),
                             SMTO_ABORTIFHUNG, kAnswerMs, &copied) ||
        copied == static_cast<DWORD_PTR>(LB_ERR))
      copied = 0;
    buffer.resize(copied < buffer.size() ? copied : 0);
    lines.push_back(Narrow(buffer));
  }
  return lines;
}

HWND AppWindow::FocusTarget() const {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (GetGUIThreadInfo(threadId_, &info) && info.hwndFocus) return info.hwndFocus;
  return window_;
}

std::string WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &length))
    return std::string();
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                           SMTO_ABORTIFHUNG, kAnswerMs, &copied))
    return std::string();
  text.resize(copied < text.size() ? copied : 0);
  return text;
}

int CountWindowsTitled(const char* title) {
  TitleCount search{title, 0};
  EnumWindows(CountTitled, reinterpret_cast<LPARAM>(&search));
  return search.count;
}
