#include "ui/ColorLabel.h"

#include "ui/UiKit.h"
#include "win/Dc.h"

namespace {
constexpr COLORREF kBandBlue = RGB(2, 77, 246);
}

LRESULT ColorLabel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    OnPaint();
    return 0;
  }
  return CStatic::WindowProc(message, wParam, lParam);
}

void ColorLabel::OnPaint() {
  CPaintDC dc(m_hWnd);
  GetClientRect(&textRect_);
  int length = GetWindowTextLengthA(m_hWnd);
  text_.assign(length, '\0');
  if (length > 0) GetWindowText(&text_[0], length + 1);
  dc.SetTextColor(textColor_);
  HGDIOBJ previous = LabelFont.GetSafeHandle() ? dc.SelectObject(LabelFont.GetSafeHandle()) : nullptr;
  dc.SetBkColor(kBandBlue);
  // No DT_SINGLELINE: the text starts at the top edge and breaks only at line feeds.
  DrawTextA(dc.m_hDC, text_.c_str(), static_cast<int>(text_.size()), &textRect_, DT_CENTER | DT_VCENTER);
  if (previous) dc.SelectObject(previous);
}
