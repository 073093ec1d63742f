#pragma once
// The title line: a static control that paints its own text, white in
// LabelFont on the skin's blue band, centred, from its top edge.
#include <string>

#include "win/Controls.h"

class ColorLabel : public CStatic {
 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnPaint();

  std::string text_;
  RECT textRect_ = {};
  COLORREF textColor_ = RGB(255, 255, 255);
};
