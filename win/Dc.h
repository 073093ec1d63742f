#pragma once
// Device contexts: CDC wraps one it does not own; CPaintDC and CClientDC own
// theirs for one scope.
#include <windows.h>

class CDC {
 public:
  CDC() = default;
  explicit CDC(HDC dc) : m_hDC(dc) {}
  HDC m_hDC = nullptr;
  HDC GetSafeHdc() const { return m_hDC; }

  int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
  COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
  COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
  HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
  BOOL BitBlt(int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, width, height, source, sourceX, sourceY, rop);
  }
  int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }
  int DrawText(const char* text, RECT* rect, UINT format) {
    return ::DrawTextA(m_hDC, text, -1, rect, format);
  }
  BOOL FillSolidRect(const RECT& rect, COLORREF color);

 protected:
  CDC(const CDC&) = default;
};

class CPaintDC : public CDC {
 public:
  explicit CPaintDC(HWND window) : window_(window) { m_hDC = BeginPaint(window, &paint_); }
  ~CPaintDC() { EndPaint(window_, &paint_); }
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;
  const PAINTSTRUCT& Paint() const { return paint_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_ = {};
};

class CClientDC : public CDC {
 public:
  explicit CClientDC(HWND window) : window_(window) { m_hDC = ::GetDC(window); }
  ~CClientDC() {
    if (m_hDC) ::ReleaseDC(window_, m_hDC);
  }
  CClientDC(const CClientDC&) = delete;
  CClientDC& operator=(const CClientDC&) = delete;

 private:
  HWND window_;
};

// A memory device context of its own, deleted with the object. Before it
// goes, the object that its first selection replaced is selected back, so
// that what was selected into it (a bitmap that is about to be deleted, say)
// is free again. Selections made through a CDC& of it are not tracked.
class CMemoryDC : public CDC {
 public:
  CMemoryDC() = default;
  ~CMemoryDC() { Delete(); }
  CMemoryDC(const CMemoryDC&) = delete;
  CMemoryDC& operator=(const CMemoryDC&) = delete;
  BOOL CreateCompatibleDC(HDC reference) {
    Delete();
    m_hDC = ::CreateCompatibleDC(reference);
    return m_hDC != nullptr;
  }
  HGDIOBJ SelectObject(HGDIOBJ object) {
    HGDIOBJ replaced = CDC::SelectObject(object);
    if (!original_) original_ = replaced;
    return replaced;
  }
  void Delete() {
    if (m_hDC) {
      if (original_) ::SelectObject(m_hDC, original_);
      DeleteDC(m_hDC);
    }
    m_hDC = nullptr;
    original_ = nullptr;
  }

 private:
  HGDIOBJ original_ = nullptr;
};
