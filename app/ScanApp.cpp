#include "app/ScanApp.h"

#include <windows.h>

#include "app/AdministratorRun.h"
#include "app/CommandLine.h"
#include "app/InstanceLock.h"
#include "app/ScanDialog.h"
#include "app/WindowPrompt.h"
#include "cleaning/OsVersion.h"
#include "state/ProgramTitle.h"

const CWinApp::CommandEntry* ScanApp::GetMessageMap() const {
  static const CommandEntry map[] = {{ID_HELP, &CWinApp::OnHelp}, {0, nullptr}};
  return map;
}

BOOL ScanApp::InitInstance() {
  // Read while nothing has turned WoW64's file-system redirection off.
  ThisWindows();
  // The scan asks through the window's message boxes; a silent run puts its
  // own answerer in place for its run.
  UsePromptHandler(WindowPrompt);
  std::vector<std::string> arguments = SplitArguments(GetCommandLineA());
  if (!arguments.empty()) {
    exitCode_ = RunFromCommandLine(arguments);
    return FALSE;
  }
  // The control-container and 3D-controls set-up of older class libraries
  // has no counterpart here: every control the program uses is a system one.
  //
  // A second start ends at once, without bringing the first one forward; any
  // top-level window with exactly this title counts, and so does an
  // administrator's run without a window.
  InstanceLock lock;
  if (FindWindowA(nullptr, kProgramTitle) || !lock.Acquire()) return FALSE;
  ScanDialog dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
