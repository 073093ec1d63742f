#include "app/WindowPrompt.h"

#include <windows.h>

#include "ui/MessageDialog.h"

int WindowPrompt(PromptKind kind, const char* text, const char* caption, unsigned int style) {
  if (kind == PromptKind::Notice) return MessageBoxA(nullptr, text, caption, MB_OK);
  return ShowMessageDialog(text, caption, style);
}
