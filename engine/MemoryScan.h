#pragma once
// Examines the executable file of every running process before the drives
// are walked. Sets scanState.memoryPhase for its own duration and returns with
// it cleared, or ends the program itself.
//
// On the NT line, when a worm process survives both terminations and its
// service could not be stopped, its file is reported "Unable to remove" and
// scheduled for deletion at restart; the user is told that the worm was
// found in memory and offered a restart; the program then ends (exit status
// 0) whatever the answer.
void ScanMemory();

// Set once the NT examination's service fallback failed to stop a worm's
// service; it decides whether the found-in-memory prompt is shown.
extern int memoryRestartPrompt;

// The 9x way, over ToolHelp's list: each infected process whose image is
// the checked file is terminated and the file handed to the removal. Returns
// the last entry's walk result; no caller reads it.
int ExamineProcesses9x();

// The NT way, over PSAPI's list: a process whose image is the checked file
// gets two terminations through one handle and, on NT 4, 2000, XP and Server
// 2003, the service fallback, which acts only on a service configured to run
// that file. Returns 1 when a worm process was left running (neither
// termination succeeded and its service could not be stopped), else 0.
int ExamineProcessesNT();

// How the program ends after the found-in-memory prompt. A test puts its own
// in place, since ending the test process would end the test.
using ProgramExitFunction = void (*)(int status);
ProgramExitFunction UseProgramExit(ProgramExitFunction function);
