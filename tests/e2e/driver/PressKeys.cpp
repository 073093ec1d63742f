#include "tests/e2e/driver/Commands.h"
#include "tests/e2e/driver/ControlIds.h"
#include "tests/e2e/driver/Failure.h"
#include "tests/windows/support/WaitUntil.h"

namespace {

constexpr UINT kAnswerMs = 5000;
constexpr LCID kEnglishUs = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
constexpr LCID kEnglishUk = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), SORT_DEFAULT);

// The lParam of a key press as the keyboard driver builds it: repeat count 1,
// the key's scan code, and for a release the previous-state and transition bits.
LPARAM KeyData(UINT virtualKey, bool release) {
  LPARAM scanCode = MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
  LPARAM data = 1 | (scanCode << 16);
  if (release) data |= (1L << 30) | (1L << 31);
  return data;
}

void PostKeyStroke(HWND target, UINT virtualKey, char character) {
  PostMessageA(target, WM_KEYDOWN, virtualKey, KeyData(virtualKey, false));
  PostMessageA(target, WM_CHAR, static_cast<unsigned char>(character), KeyData(virtualKey, false));
  PostMessageA(target, WM_KEYUP, virtualKey, KeyData(virtualKey, true));
}

LRESULT ListLocale(HWND list) {
  DWORD_PTR locale = 0;
  if (!SendMessageTimeoutA(list, LB_GETLOCALE, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &locale)) return 0;
  return static_cast<LRESULT>(locale);
}

// Waits until the window has handled the keys just posted to its thread, or
// has gone. The thread takes posted messages in the order they were posted,
// so once a message posted after the keys has had its effect, so have the
// keys: the message sets the log list's locale, which only a sorted list
// uses (this one is not), and the locale is put back afterwards.
void WaitForKeysHandled(const AppWindow& app, unsigned timeoutMs) {
  HWND list = app.Control(ids::kLog);
  const LRESULT original = ListLocale(list);
  const LCID mark = original == static_cast<LRESULT>(kEnglishUk) ? kEnglishUs : kEnglishUk;
  PostMessageA(list, LB_SETLOCALE, mark, 0);
  if (!WaitUntil([&] { return !app.Exists() || ListLocale(list) == static_cast<LRESULT>(mark); },
                 timeoutMs))
    throw DriverFailure("the window neither handled the key nor closed within " +
                        std::to_string(timeoutMs / 1000) + " s");
  if (app.Exists())
    SendMessageTimeoutA(list, LB_SETLOCALE, original, 0, SMTO_ABORTIFHUNG, kAnswerMs, nullptr);
}

}  // namespace

void PressEnter(const AppWindow& app, Report& report, unsigned timeoutMs) {
  HWND focus = app.FocusTarget();
  PostKeyStroke(focus, VK_RETURN, '\r');
  // Also straight to the window, in case the focus sits where Enter means
  // nothing: the window must ignore it either way.
  if (focus != app.Handle()) PostKeyStroke(app.Handle(), VK_RETURN, '\r');
  WaitForKeysHandled(app, timeoutMs);
  report.Line("enter-window-exists", app.Exists() ? "1" : "0");
}

void PressEscape(const AppWindow& app, Report& report, unsigned timeoutMs) {
  PostKeyStroke(app.FocusTarget(), VK_ESCAPE, '\x1b');
  WaitForKeysHandled(app, timeoutMs);
  report.Line("escape-window-exists", app.Exists() ? "1" : "0");
}
