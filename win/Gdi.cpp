#include "win/Gdi.h"

BOOL CBitmap::LoadBitmap(UINT id, UINT flags) {
  return LoadBitmap(MAKEINTRESOURCEA(id), flags);
}

BOOL CBitmap::LoadBitmap(const char* name, UINT flags) {
  return Attach(LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0, flags));
}
