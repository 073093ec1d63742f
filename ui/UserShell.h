#pragma once
// Opening web pages for the user. Scourix runs with the administrator's
// token; a browser started by it would run with that token too, and a web
// browser must never do that. From Vista on, the page is opened by the shell
// of the logged-on desktop (explorer), which runs with the user's own token.

// Opens a web page or a file in the program the user's shell chooses, with
// the user's own token: through the desktop's shell on Vista and later; with
// ShellExecuteA where that shell cannot be reached (95, 98, ME, NT 4, 2000,
// XP, or no shell running). Failures are not reported.
void OpenForUser(const char* target);

// The desktop shell's way alone: asks the shell window of the logged-on
// desktop (found through IShellWindows) to open `target` with
// IShellDispatch2::ShellExecute. True when the shell took the request; false
// when it could not be reached, and then nothing was started. COM (ole32 and
// oleaut32) is loaded for the call only, so that the program imports neither.
bool OpenThroughDesktopShell(const char* target);
