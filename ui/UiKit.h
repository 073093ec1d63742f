#pragma once
// Program-wide values that the scan window sets for the rest of the kit.
#include "win/Gdi.h"
#include "win/Wnd.h"

// The scan window, once it has initialised; prompts centre over it.
extern CWnd* mainWindow;
// 1 when the screen runs at 120 logical pixels per inch or more.
extern int largeFontsFlag;
// The scan window's dialog font made bold, for the title label.
extern CFont LabelFont;

// Makes `font` from the main window's font (or the stock system font) with
// another height, weight, underline and italic. Always returns 1; a failed
// creation leaves the font empty.
int MakeDerivedFont(CFont& font, int height, int weight, unsigned char underline,
                    unsigned char italic);
