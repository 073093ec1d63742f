#include "ui/MessageDialog.h"

#include <windows.h>

#include "engine/ScanState.h"

// Interim body until the skinned message box lands: the system's message box
// with the same text, caption and style.
int ShowMessageDialog(const char* text, const char* caption, unsigned int style) {
  return MessageBoxA(scanState.reportWindow, text, caption, style);
}
