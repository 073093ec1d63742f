#pragma once
// The program's only window: a skinned modal dialog (template 141) that
// offers SCAN, shows the live log and status line while the scan runs inside
// its timer, and closes with OK. It is also the receiving end of the
// engine's report channel (WM_SETREDRAW: a log line; WM_ENABLE: the status).
#include "ui/BitmapButton.h"
#include "ui/ColorLabel.h"
#include "win/Controls.h"
#include "win/Dialog.h"
#include "win/Gdi.h"

class ScanDialog : public CDialog {
 public:
  ScanDialog();
  ~ScanDialog() override;

  // Run from a command line: SCAN keeps the scan that the caller prepared in
  // scanState (folder, action) instead of every fixed drive with removal,
  // and is pressed at once when startAtOnce is set.
  void UsePreparedScan(bool startAtOnce) {
    preparedScan_ = true;
    startAtOnce_ = startAtOnce;
  }

 protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void OnShowStatus();
  void OnAppendLogLine();
  void OnTimer();
  void OnPaint();
  void OnScan();
  void OnCloseButton();
  void OnDownload();
  void OnUtilityLink();
  HBRUSH OnCtlColorMessage(UINT message, HDC dc, HWND control);
  void OnLButtonDown(LPARAM point);
  void AskToStop(const char* caption);
  void ShowFullProductState();
  void LoadSkinBitmap();

  CButton logFrame_;
  CExButton logo_, utilityLink_, downloadLink_;
  CStatic searchLine_, productLine_, description_, notice_;
  ColorLabel title_;
  CExButton cancel_;
  CButton statusFrame_;
  CStatic status_;
  CListBox log_;
  CExButton closeX_, download_, scan_, ok_;
  HICON icon_;
  CBitmap skin_;
  CMemoryDC skinDc_;  // after skin_: gives the skin back before it is deleted
  BITMAP skinSize_ = {};
  CBrush whiteBrush_;
  CFont statusLineFont_;
  bool preparedScan_ = false;
  bool startAtOnce_ = false;
};
