#pragma once
#include "win/WinApp.h"

// The application: one instance per machine (by the window title), the scan
// window as a modal dialog, and the end of the program when it closes. With
// a command line it is an administrator's run instead, whose exit code
// ExitInstance returns. Its message map routes the framework's help command
// to the help handler.
class ScanApp : public CWinApp {
 public:
  ScanApp() : CWinApp(nullptr) {}
  BOOL InitInstance() override;
  int ExitInstance() override { return exitCode_; }

 protected:
  const CommandEntry* GetMessageMap() const override;

 private:
  int exitCode_ = 0;
};
