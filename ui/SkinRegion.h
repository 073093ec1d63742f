#pragma once
// Geometry of the skinned window.
#include <windows.h>

// The region of every pixel of `bitmap` that is not (includeNonKey set) or
// that is (clear) of the key colour, read as 0x00RRGGBB. Null on failure.
// The caller owns the region until SetWindowRgn takes it.
HRGN MakeSkinRegion(HBITMAP bitmap, DWORD key, int includeNonKey);

// Stretches every descendant of `window` from the window's client size to the
// target size, in screen coordinates. Returns EnumChildWindows' result.
BOOL ScaleChildWindows(HWND window, int targetWidth, int targetHeight);
