#include "ui/BitmapButton.h"

#include <string>

#include "win/Dc.h"

namespace {
constexpr UINT kLoadFlags = LR_LOADMAP3DCOLORS;
constexpr int kHandCursorId = 106;  // the pointing hand of winhlp32.exe
constexpr DWORD kAsImageResource = 0x00000020;  // LOAD_LIBRARY_AS_IMAGE_RESOURCE
}  // namespace

BOOL BitmapButton::LoadSkin(UINT id, CWnd* parent) {
  if (!GetSafeHwnd() && !SubclassDlgItem(id, parent)) return FALSE;
  char stem[64] = {};
  if (GetWindowText(stem, sizeof stem) == 0) return FALSE;
  std::string base = stem;
  LoadStateBitmaps((base + "_FOCUS").c_str(), (base + "_NOTFOCUS").c_str(),
                   (base + "_DISABLE").c_str());
  return TRUE;
}

BOOL BitmapButton::LoadStateBitmaps(const char* focusName, const char* notFocusName,
                                    const char* disableName) {
  focus_.DeleteObject();
  notFocus_.DeleteObject();
  disable_.DeleteObject();
  if (!focus_.LoadBitmap(focusName, kLoadFlags)) return FALSE;
  if (!notFocus_.LoadBitmap(notFocusName, kLoadFlags)) return FALSE;
  disable_.LoadBitmap(disableName, kLoadFlags);  // optional
  return FitToBitmap();
}

BOOL BitmapButton::FitToBitmap() {
  BITMAP size = {};
  if (!notFocus_.GetSafeHandle() || !notFocus_.GetBitmap(&size)) return FALSE;
  if (!SetWindowPos(m_hWnd, nullptr, 0, 0, size.bmWidth, size.bmHeight,
                    SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE))
    return FALSE;
  hitRect_ = {0, 0, size.bmWidth, size.bmHeight};
  return TRUE;
}

void BitmapButton::DrawItem(LPDRAWITEMSTRUCT item) {
  const CBitmap& chosen = hot_ ? focus_ : (item->itemState & ODS_DISABLED) ? disable_ : notFocus_;
  if (!chosen.GetSafeHandle()) return;  // nothing to show: what lies beneath stays visible
  CMemoryDC memory;
  if (!memory.CreateCompatibleDC(item->hDC)) return;
  HGDIOBJ previous = memory.SelectObject(chosen.GetSafeHandle());
  if (!previous) return;
  const RECT& area = item->rcItem;
  ::BitBlt(item->hDC, area.left, area.top, area.right - area.left, area.bottom - area.top,
           memory.m_hDC, 0, 0, SRCCOPY);
  memory.SelectObject(previous);
}

void BitmapButton::SetHot(int hot) {
  hot_ = hot;
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

LRESULT BitmapButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEMOVE: {
      POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (GetCapture() != m_hWnd) {
        SetFocus(m_hWnd);
        hot_ = 1;
        SetCapture(m_hWnd);
        InvalidateRect(m_hWnd, nullptr, FALSE);
      } else if (!PtInRect(&hitRect_, point)) {
        ReleaseCapture();
        SetHot(0);
      }
      return Default();
    }
    case WM_SETFOCUS: {
      LRESULT result = Default();
      SetHot(1);
      return result;
    }
    case WM_KILLFOCUS: {
      LRESULT result = Default();
      SetHot(0);
      return result;
    }
    default:
      return CButton::WindowProc(message, wParam, lParam);
  }
}

CExButton::~CExButton() {
  if (handCursor_) DestroyCursor(handCursor_);
}

void CExButton::LoadHandCursor() {
  if (handCursor_) return;
  char path[MAX_PATH] = {};
  UINT length = GetWindowsDirectoryA(path, sizeof path);
  if (length == 0 || length + sizeof "\\winhlp32.exe" > sizeof path) return;
  lstrcatA(path, "\\winhlp32.exe");
  // Only its resources are wanted: mapped as data, no code of it ever runs.
  // Systems before Vista refuse LOAD_LIBRARY_AS_IMAGE_RESOURCE.
  HMODULE help = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | kAsImageResource);
  if (!help) help = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!help) return;
  if (HCURSOR hand = LoadCursorA(help, MAKEINTRESOURCEA(kHandCursorId)))
    handCursor_ = reinterpret_cast<HCURSOR>(CopyIcon(reinterpret_cast<HICON>(hand)));
  FreeLibrary(help);
}

LRESULT CExButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETCURSOR && handCursor_) {
    SetCursor(handCursor_);
    return TRUE;
  }
  return BitmapButton::WindowProc(message, wParam, lParam);
}
