#include "win/Wnd.h"

#include "win/Gdi.h"

namespace {
const char kObjectProperty[] = "ScourixWindowObject";
}

CWnd::~CWnd() {
  if (originalProcedure_) UnsubclassWindow();
  Unbind();
}

void CWnd::Bind(HWND window) {
  m_hWnd = window;
  SetPropA(window, kObjectProperty, this);
}

void CWnd::Unbind() {
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this) RemovePropA(m_hWnd, kObjectProperty);
  m_hWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND window) {
  return window ? static_cast<CWnd*>(GetPropA(window, kObjectProperty)) : nullptr;
}

BOOL CWnd::SubclassWindow(HWND window) {
  if (!window || originalProcedure_ || FromHandlePermanent(window)) return FALSE;
  Bind(window);
  originalProcedure_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProcedure)));
  return originalProcedure_ != nullptr;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  return SubclassWindow(::GetDlgItem(parent->m_hWnd, id));
}

HWND CWnd::UnsubclassWindow() {
  HWND window = m_hWnd;
  if (window && originalProcedure_ && IsWindow(window))
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProcedure_));
  originalProcedure_ = nullptr;
  Unbind();
  return window;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add) {
  LONG_PTR style = GetWindowLongPtrA(m_hWnd, GWL_STYLE);
  LONG_PTR changed = (style & ~static_cast<LONG_PTR>(remove)) | add;
  if (changed == style) return FALSE;
  SetWindowLongPtrA(m_hWnd, GWL_STYLE, changed);
  return TRUE;
}

LRESULT CWnd::WindowProc(UINT, WPARAM, LPARAM) { return Default(); }

LRESULT CWnd::Default() {
  return CallWindowProcA(originalProcedure_, m_hWnd, current_.message, current_.wParam,
                         current_.lParam);
}

LRESULT CALLBACK CWnd::SubclassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* object = FromHandlePermanent(window);
  if (!object || !object->originalProcedure_) return DefWindowProcA(window, message, wParam, lParam);
  // Handlers may be re-entered (a paint inside a paint); keep the outer message.
  MSG outer = object->current_;
  object->current_ = {window, message, wParam, lParam, 0, {0, 0}};
  WNDPROC original = object->originalProcedure_;
  LRESULT result = object->WindowProc(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window is gone: give it its own procedure back and forget it.
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    object->originalProcedure_ = nullptr;
    object->Unbind();
    return result;
  }
  object->current_ = outer;
  return result;
}

RECT SeenRect(HWND window) {
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  CRgn region;
  region.Attach(CreateRectRgn(0, 0, 0, 0));
  RECT box;
  // GetWindowRgn gives the region in window coordinates.
  if (region.GetSafeHandle() && GetWindowRgn(window, region) != ERROR && GetRgnBox(region, &box) != NULLREGION) {
    OffsetRect(&box, rect.left, rect.top);
    IntersectRect(&rect, &rect, &box);
  }
  return rect;
}
