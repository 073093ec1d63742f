#pragma once
// Owner-drawn buttons that show one of three bitmaps named after their
// template text: STEM_FOCUS while hot (focused or under the mouse),
// STEM_NOTFOCUS otherwise, STEM_DISABLE while disabled (hot wins). Moving
// the mouse onto one gives it the keyboard focus.
#include "win/Controls.h"
#include "win/Gdi.h"

class BitmapButton : public CButton {
 public:
  // Binds the dialog control (unless already bound) and loads its bitmaps
  // from its window text. FALSE only when it cannot be bound or has no text.
  BOOL LoadSkin(UINT id, CWnd* parent);
  BOOL LoadStateBitmaps(const char* focusName, const char* notFocusName, const char* disableName);
  // Sizes the button to its NOTFOCUS bitmap, keeping its top-left corner.
  BOOL FitToBitmap();
  void DrawItem(LPDRAWITEMSTRUCT item) override;

  int IsHot() const { return hot_; }
  // The pictures the button holds (null when not loaded); the button owns them.
  HGDIOBJ FocusBitmap() const { return focus_.GetSafeHandle(); }
  HGDIOBJ NotFocusBitmap() const { return notFocus_.GetSafeHandle(); }
  HGDIOBJ DisableBitmap() const { return disable_.GetSafeHandle(); }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void SetHot(int hot);

  int hot_ = 0;
  RECT hitRect_ = {};
  CBitmap focus_;
  CBitmap notFocus_;
  CBitmap disable_;
};

// The scan window's buttons; they can show the help program's hand cursor.
class CExButton : public BitmapButton {
 public:
  ~CExButton() override;
  void LoadHandCursor();

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  HCURSOR handCursor_ = nullptr;
};

// The message box's buttons: the same, with the standard arrow.
class NCExButton : public BitmapButton {};

// A kit button of the same behaviour whose capture changes go to the
// default handling; no window of the program uses it.
class CExLeftButton : public BitmapButton {};
