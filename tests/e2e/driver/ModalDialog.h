#pragma once
// A prompt that the program under test shows: a dialog-class window of its
// process, visible, other than the scan window. The program's own prompts
// are built on a template with the buttons IDOK 1, IDCANCEL 2, 3 (a lone
// OK), IDYES 6 and IDNO 7; the system's message box uses 1, 2, 6 and 7 too.
#include <windows.h>

#include <string>
#include <vector>

struct ModalDialog {
  HWND window = nullptr;
  std::string caption;
  std::string text;             // the static controls' texts, joined with " / "
  std::vector<int> buttonIds;   // the visible buttons, in child order
};

// The first such dialog of the process, or one with a null window.
ModalDialog FindModalDialog(DWORD processId, HWND mainWindow);

// Presses a button as a user would: a posted BM_CLICK (sending would block
// until the dialog closed) when the button is there and visible, otherwise
// the command itself, as a keyboard accelerator would give it.
void PressDialogButton(HWND dialog, int id);

bool HasButton(const ModalDialog& dialog, int id);
