#pragma once
// The program's one application object: constructed as a global, it runs the
// program from WinMain through InitInstance.
#include <windows.h>

class CWnd;

// The framework's help command (F1).
constexpr UINT ID_HELP = 0xE146;

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Returns FALSE to end the program once it returns (no message loop of its own).
  virtual BOOL InitInstance() { return FALSE; }
  virtual int ExitInstance() { return 0; }

  // A command that no window handled, given to the application's message
  // map; TRUE when an entry took it.
  BOOL OnCmdMsg(UINT id);
  // The framework's help handler. The program ships no help file, so it shows nothing.
  void OnHelp() {}

  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;
  const char* m_pszAppName;

 protected:
  struct CommandEntry {
    UINT id;
    void (CWinApp::*handler)();
  };
  // The application's message map: commands and their handlers, ended by an entry of id 0.
  virtual const CommandEntry* GetMessageMap() const;
};

CWinApp* AfxGetApp();
