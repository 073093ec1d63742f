#pragma once
// The questions that the scan asks and the notices it shows, and who answers
// them. The window puts them on screen (the skinned message box, or a plain
// system box); the silent run writes them to its log and answers for the
// user who is not there. The scan only asks.
enum class PromptKind {
  StopScan,       // "Terminate the Scan now?" (Escape during the walk)
  RestartOffer,   // restart to finish a removal, at the end of a scan
  FoundInMemory,  // the worm survived in memory: restart and run again
  Notice,         // a plain system box with an OK button and no owner
};

// Returns the command id of the answer (IDOK, IDCANCEL, IDYES, IDNO), or -1
// when it could not be asked. Questions carry the standard MB_ button and
// icon bits in `style`.
using PromptHandler = int (*)(PromptKind kind, const char* text, const char* caption,
                              unsigned int style);

int AskUser(PromptKind kind, const char* text, const char* caption, unsigned int style);
void ShowNotice(const char* text, const char* caption);

// Installs who answers; returns the one before. The program installs its
// answerer before anything can ask: the window's (WindowPrompt) at start, the
// silent run's for its run. Null, and the state before any install: nobody
// answers, every question gives -1 and notices go unseen.
PromptHandler UsePromptHandler(PromptHandler handler);
