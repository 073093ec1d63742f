#pragma once
// GDI objects that own their handle: deleted with the object, never copied.
#include <windows.h>

class CGdiObject {
 public:
  CGdiObject() = default;
  ~CGdiObject() { DeleteObject(); }
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  HGDIOBJ m_hObject = nullptr;
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  BOOL Attach(HGDIOBJ object) {
    DeleteObject();
    m_hObject = object;
    return object != nullptr;
  }
  HGDIOBJ Detach() {
    HGDIOBJ object = m_hObject;
    m_hObject = nullptr;
    return object;
  }
  BOOL DeleteObject() {
    if (!m_hObject) return FALSE;
    BOOL deleted = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return deleted;
  }
  int GetObject(int length, void* buffer) const { return ::GetObjectA(m_hObject, length, buffer); }
};

class CBitmap : public CGdiObject {
 public:
  operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
  // A bitmap resource of this program, by id or by name.
  BOOL LoadBitmap(UINT id, UINT flags = 0);
  BOOL LoadBitmap(const char* name, UINT flags = 0);
  BOOL GetBitmap(BITMAP* description) const { return GetObject(sizeof *description, description) != 0; }
};

class CFont : public CGdiObject {
 public:
  operator HFONT() const { return static_cast<HFONT>(m_hObject); }
  BOOL CreateFontIndirect(const LOGFONTA& font) { return Attach(::CreateFontIndirectA(&font)); }
};

class CBrush : public CGdiObject {
 public:
  operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
  BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
};

class CRgn : public CGdiObject {
 public:
  operator HRGN() const { return static_cast<HRGN>(m_hObject); }
};
