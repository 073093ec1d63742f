#include "win/Dc.h"

BOOL CDC::FillSolidRect(const RECT& rect, COLORREF color) {
  COLORREF previous = ::SetBkColor(m_hDC, color);
  BOOL done = ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
  ::SetBkColor(m_hDC, previous);
  return done;
}
