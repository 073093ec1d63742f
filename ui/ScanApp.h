#pragma once
#include "win/WinApp.h"

// The application: one instance per machine (by the window title), the scan
// window as a modal dialog, and the end of the program when it closes. Its
// message map routes the framework's help command to the help handler.
class ScanApp : public CWinApp {
 public:
  ScanApp() : CWinApp(nullptr) {}
  BOOL InitInstance() override;

 protected:
  const CommandEntry* GetMessageMap() const override;
};
