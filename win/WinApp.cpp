#include "win/WinApp.h"

namespace {
CWinApp* theApplication = nullptr;
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) { theApplication = this; }

CWinApp::~CWinApp() {
  if (theApplication == this) theApplication = nullptr;
}

CWinApp* AfxGetApp() { return theApplication; }

const CWinApp::CommandEntry* CWinApp::GetMessageMap() const {
  static const CommandEntry none[] = {{0, nullptr}};
  return none;
}

BOOL CWinApp::OnCmdMsg(UINT id) {
  for (const CommandEntry* entry = GetMessageMap(); entry->id != 0; ++entry) {
    if (entry->id != id) continue;
    (this->*entry->handler)();
    return TRUE;
  }
  return FALSE;
}
