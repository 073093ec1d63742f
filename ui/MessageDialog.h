#pragma once
// The program's own message box (template 142): a light-blue dialog with an
// icon bitmap, the text and bitmap buttons, grown with the text's length and
// centred over the scan window.
#include <string>

#include "ui/BitmapButton.h"
#include "ui/MessageLayout.h"
#include "win/Controls.h"
#include "win/Dialog.h"
#include "win/Gdi.h"

// Asks the user; style takes the standard MB_ button and icon bits. Returns
// IDOK 1, IDCANCEL 2, IDYES 6 or IDNO 7 (Escape and the close box give IDNO
// in YES/NO mode), or -1 when the box cannot be shown. A null text or
// caption counts as empty; an empty caption shows the program's title.
int ShowMessageDialog(const char* text, const char* caption, unsigned int style);

class MessageDialog : public CDialog {
 public:
  MessageDialog(const std::string& text, const std::string& caption, unsigned int style);

 protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;
  void OnOK() override { EndDialog(IDOK); }
  void OnCancel() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void OnPaint();
  void LayOut();

  CStatic icon_;
  NCExButton yes_, ok_, no_, singleOk_, cancel_;
  CStatic text_;
  int iconBitmapId_ = 154;
  MessageMode mode_;
  std::string message_;
  std::string caption_;
  CBrush background_;
};
