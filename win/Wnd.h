#pragma once
// A window seen from C++: a non-owning HWND with one-line verbs, and, for
// controls bound with SubclassWindow, the C++ object that receives their
// messages (WindowProc) and their owner-draw requests reflected from the
// parent (DrawItem).
#include <windows.h>

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  // Binds this object to an existing window and routes its messages through
  // WindowProc; undone on destruction.
  BOOL SubclassWindow(HWND window);
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  HWND UnsubclassWindow();
  // The object bound to a window by SubclassWindow (or a dialog), or null.
  static CWnd* FromHandlePermanent(HWND window);

  // Owner-draw request of this control, reflected from its parent.
  virtual void DrawItem(LPDRAWITEMSTRUCT) {}

  BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
  int GetWindowText(char* text, int length) const { return ::GetWindowTextA(m_hWnd, text, length); }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
  }
  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
    ::MoveWindow(m_hWnd, x, y, width, height, repaint);
  }
  void SetFont(HFONT font, BOOL redraw = TRUE) {
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
  }
  BOOL ModifyStyle(DWORD remove, DWORD add);
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
  void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
  HDC GetDC() const { return ::GetDC(m_hWnd); }
  int ReleaseDC(HDC dc) const { return ::ReleaseDC(m_hWnd, dc); }

 protected:
  // Messages of a subclassed window. The default hands the current message
  // to the window's original procedure; Default() does the same from a handler.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Default();
  void Bind(HWND window);
  void Unbind();

 private:
  static LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
  WNDPROC originalProcedure_ = nullptr;
  MSG current_ = {};
};

// What the user sees of a window, in screen coordinates: the bounding box of
// its window region (within its rectangle) when it has one, else its rectangle.
RECT SeenRect(HWND window);
