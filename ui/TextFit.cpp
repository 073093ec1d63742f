#include "ui/TextFit.h"

#include <string>

#include "win/Dc.h"

namespace {

int ClientHeight(HWND control) {
  RECT client;
  GetClientRect(control, &client);
  return client.bottom - client.top;
}

}  // namespace

int StaticTextHeight(HWND control, const char* text, int width) {
  CClientDC dc(control);
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0));
  // A static without a font of its own draws in the system font.
  HGDIOBJ previous = dc.SelectObject(font ? font : GetStockObject(SYSTEM_FONT));
  TEXTMETRICA metrics = {};
  GetTextMetricsA(dc.m_hDC, &metrics);
  UINT format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS;
  if (GetWindowLongA(control, GWL_STYLE) & SS_NOPREFIX) format |= DT_NOPREFIX;
  RECT extent = {0, 0, width, 0};
  int height = *text ? dc.DrawText(text, &extent, format) : 0;
  dc.SelectObject(previous);
  return height > metrics.tmHeight ? height : metrics.tmHeight;
}

int FitStaticHeight(HWND control) {
  const int length = GetWindowTextLengthA(control);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  GetWindowTextA(control, &text[0], length + 1);
  RECT client, window;
  GetClientRect(control, &client);
  GetWindowRect(control, &window);
  const int needed = StaticTextHeight(control, text.c_str(), client.right - client.left);
  const int height = ClientHeight(control);
  if (needed <= height) return height;
  SetWindowPos(control, nullptr, 0, 0, window.right - window.left, window.bottom - window.top + needed - height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return needed;
}
