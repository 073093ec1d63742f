#include "win/Dialog.h"

#include "win/WinApp.h"

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
  if (!control.GetSafeHwnd()) control.SubclassDlgItem(id, exchange->dialog);
}

INT_PTR CDialog::DoModal() {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_),
                         parent_ ? parent_->m_hWnd : nullptr, &CDialog::DialogProcedure,
                         reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
  CDataExchange exchange{this};
  DoDataExchange(&exchange);
  return TRUE;
}

void CDialog::CenterWindow(HWND over) {
  RECT window, seen, area;
  GetWindowRect(&window);
  seen = SeenRect(m_hWnd);
  HWND owner = over ? over : GetWindow(m_hWnd, GW_OWNER);
  if (owner && ::IsWindowVisible(owner))
    area = SeenRect(owner);
  else
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  // The part the user sees goes to the middle; the rest of the window follows it.
  int left = area.left + (area.right - area.left - (seen.right - seen.left)) / 2;
  int top = area.top + (area.bottom - area.top - (seen.bottom - seen.top)) / 2;
  if (left < 0) left = 0;
  if (top < 0) top = 0;
  SetWindowPos(m_hWnd, nullptr, left - (seen.left - window.left), top - (seen.top - window.top), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HBRUSH CDialog::OnCtlColor(CDC*, CWnd*, UINT) {
  return reinterpret_cast<HBRUSH>(DefaultDialogMessage());
}

LRESULT CDialog::DefaultDialogMessage() {
  // DefWindowProc gives the same colours and brushes for WM_CTLCOLOR* as the
  // dialog manager would; the dialog manager itself cannot be re-entered here.
  return DefWindowProcA(m_hWnd, current_.message, current_.wParam, current_.lParam);
}

INT_PTR CALLBACK CDialog::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->Bind(window);
    RECT before;
    ::GetWindowRect(window, &before);
    BOOL focus = dialog->OnInitDialog();
    // A dialog that did not move itself while initialising shows centred.
    RECT after;
    ::GetWindowRect(window, &after);
    if (dialog->centreWhenUnmoved_ && after.left == before.left && after.top == before.top)
      dialog->CenterWindow();
    return focus;
  }
  dialog = static_cast<CDialog*>(FromHandlePermanent(window));
  if (!dialog) return FALSE;
  if (message == WM_NCDESTROY) {
    dialog->Unbind();
    return FALSE;
  }
  return dialog->Dispatch(message, wParam, lParam);
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  MSG outer = current_;
  current_ = {m_hWnd, message, wParam, lParam, 0, {0, 0}};
  LRESULT result = 0;
  bool handled = OnMessage(message, wParam, lParam, result);
  if (!handled) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDOK) {
      OnOK();
      handled = true;
    } else if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDCANCEL) {
      OnCancel();
      handled = true;
    } else if (message == WM_COMMAND && HIWORD(wParam) == 0 && AfxGetApp() &&
               AfxGetApp()->OnCmdMsg(LOWORD(wParam))) {
      handled = true;  // a command of the application's message map
    } else if (message == WM_HELP) {
      // F1: the help command goes to the main window, which hands it on to
      // the application's message map.
      CWinApp* app = AfxGetApp();
      HWND main = app && app->m_pMainWnd ? app->m_pMainWnd->m_hWnd : m_hWnd;
      ::SendMessageA(main, WM_COMMAND, ID_HELP, 0);
      result = TRUE;
      handled = true;
    } else if (message == WM_DRAWITEM) {
      auto* item = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
      if (CWnd* control = FromHandlePermanent(item->hwndItem)) {
        control->DrawItem(item);
        result = TRUE;
        handled = true;
      }
    }
  }
  current_ = outer;
  if (!handled) return FALSE;
  // These messages return their result directly from a dialog procedure.
  if ((message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_INITDIALOG)
    return static_cast<INT_PTR>(result);
  SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}
