#include "tests/e2e/driver/Commands.h"

namespace {

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

}  // namespace

void PressEnter(const AppWindow& app, Report& report) {
  HWND focus = app.FocusTarget();
  PostKeyStroke(focus, VK_RETURN, '\r');
  // Also straight to the window, in case the focus sits where Enter means
  // nothing: the window must ignore it either way.
  if (focus != app.Handle()) PostKeyStroke(app.Handle(), VK_RETURN, '\r');
  Sleep(1000);
  report.Line("enter-window-exists", app.Exists() ? "1" : "0");
}

void PressEscape(const AppWindow& app, Report& report) {
  PostKeyStroke(app.FocusTarget(), VK_ESCAPE, '\x1b');
  Sleep(1000);
  report.Line("escape-window-exists", app.Exists() ? "1" : "0");
}
