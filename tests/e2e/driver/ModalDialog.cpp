#include "tests/e2e/driver/ModalDialog.h"

#include <algorithm>

#include "tests/e2e/driver/AppWindow.h"

namespace {

struct DialogSearch {
  DWORD processId;
  HWND mainWindow;
  HWND found;
};

bool IsClass(HWND window, const char* name) {
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  return lstrcmpiA(className, name) == 0;
}

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<DialogSearch*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != search->processId || window == search->mainWindow || !IsWindowVisible(window) ||
      !IsClass(window, "#32770"))
    return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM parameter) {
  auto* dialog = reinterpret_cast<ModalDialog*>(parameter);
  if (!(GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) return TRUE;
  if (IsClass(child, "Static")) {
    std::string text = WindowText(child);
    if (!text.empty()) dialog->text += (dialog->text.empty() ? "" : " / ") + text;
  } else if (IsClass(child, "Button")) {
    dialog->buttonIds.push_back(GetDlgCtrlID(child));
  }
  return TRUE;
}

}  // namespace

ModalDialog FindModalDialog(DWORD processId, HWND mainWindow) {
  DialogSearch search{processId, mainWindow, nullptr};
  EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
  ModalDialog dialog;
  if (!search.found) return dialog;
  dialog.window = search.found;
  dialog.caption = WindowText(search.found);
  EnumChildWindows(search.found, CollectChild, reinterpret_cast<LPARAM>(&dialog));
  return dialog;
}

void PressDialogButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (button && (GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE) && IsWindowEnabled(button))
    PostMessageA(button, BM_CLICK, 0, 0);
  else
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

bool HasButton(const ModalDialog& dialog, int id) {
  return std::find(dialog.buttonIds.begin(), dialog.buttonIds.end(), id) != dialog.buttonIds.end();
}
