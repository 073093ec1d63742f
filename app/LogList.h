#pragma once
// The scan window's log list (a LISTBOX with LBS_USETABSTOPS).
#include <windows.h>

// Adds scanState.logLine as the last line. While the scan runs (scanFinished
// 0) a list of 150 lines is emptied first; from three lines on the last line
// is selected, which scrolls it into view. Then the extent is recomputed.
void AppendLogLine(HWND list);

// Widens the horizontal scroll range when the widest line exceeds 560 pixels.
void UpdateLogExtent(HWND list);
