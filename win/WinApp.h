#pragma once
// The program's one application object: constructed as a global, it runs the
// program from WinMain through InitInstance.
#include <windows.h>

class CWnd;

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Returns FALSE to end the program once it returns (no message loop of its own).
  virtual BOOL InitInstance() { return FALSE; }
  virtual int ExitInstance() { return 0; }

  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;
  const char* m_pszAppName;
};

CWinApp* AfxGetApp();
