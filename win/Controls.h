#pragma once
// The standard controls the program uses, as thin views of their HWND.
#include <windows.h>

#include "win/Wnd.h"

class CButton : public CWnd {};

class CStatic : public CWnd {};

class CListBox : public CWnd {
 public:
  int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
  int AddString(const char* text) {
    return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
  }
  void ResetContent() { SendMessage(LB_RESETCONTENT); }
  int SetCurSel(int index) { return static_cast<int>(SendMessage(LB_SETCURSEL, index)); }
};
