#pragma once
// A modal dialog made from a dialog template of this program. A derived
// class handles its messages in OnMessage (in the order it lists them);
// whatever it leaves goes to the framework: IDOK and IDCANCEL to OnOK and
// OnCancel, other commands to the application's message map, F1 (WM_HELP)
// as the help command to the main window, owner-draw requests reflected to
// the control's own object.
#include <windows.h>

#include "win/Dc.h"
#include "win/Wnd.h"

class CDialog;

// Passed to DoDataExchange; DDX_Control binds one template control.
struct CDataExchange {
  CDialog* dialog;
};
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr)
      : templateId_(templateId), parent_(parent) {}

  // Runs the dialog's own modal loop; returns EndDialog's result, or -1 when
  // the dialog cannot be created.
  INT_PTR DoModal();
  void EndDialog(int result) { ::EndDialog(m_hWnd, result); }
  // Centres what the user sees of this window (SeenRect) over what is seen
  // of `over` (by default the owner, else the work area): a window shaped by
  // a region is placed by its region, not by its rectangle.
  void CenterWindow(HWND over = nullptr);
  // A dialog that did not move itself while initialising is centred, unless
  // it places itself.
  void CenterWhenUnmoved(bool centre) { centreWhenUnmoved_ = centre; }

 protected:
  // Binds the controls (DoDataExchange). Return TRUE to let the system set the focus.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // The derived class's message map; true when it handled the message.
  virtual bool OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
  // The system's colours and brush for a control, as the dialog would use them.
  HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT ctlColor);
  // Default processing of the message being handled.
  LRESULT DefaultDialogMessage();

 private:
  static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  CWnd* parent_;
  bool centreWhenUnmoved_ = true;
  MSG current_ = {};
};

// WM_CTLCOLORMSGBOX .. WM_CTLCOLORSTATIC as the CTLCOLOR_ code they carry.
inline UINT CtlColorType(UINT message) { return message - WM_CTLCOLORMSGBOX; }
