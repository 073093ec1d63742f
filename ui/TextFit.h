#pragma once
// Room for the texts of static controls at the screen's font size: a
// control's template size fits its text at 96 DPI, and at 120 or 144 the
// same text in the same (dialog) font takes more pixels.
#include <windows.h>

// The height `text` takes in `control`, drawn as the static draws it: in the
// control's own font, broken at word boundaries within `width` pixels; at
// least one line.
int StaticTextHeight(HWND control, const char* text, int width);

// Makes a static control tall enough for its own text (at least one line of
// its font), growing downwards; it never shrinks. Returns its height.
int FitStaticHeight(HWND control);
