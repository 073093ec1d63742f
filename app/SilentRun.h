#pragma once
// The scan with no window and no prompt: the same run as the window's
// (memory phase, the fixed drives or one folder, registry, hosts, deletion at
// restart). Its log lines go to the run's log file and to the caller's
// console; prompts become log lines answered for the user who is not there;
// the computer restarts only when /restart was given and a removal needs it,
// and only once the log is complete. Returns the exit code.
#include "app/CommandLine.h"
#include "app/RunLog.h"

int RunSilently(const CommandLineOptions& options, RunLog& log);

// The silent run's look for a stop request between the walk's entries, in
// place of pumping a message per entry (the benchmark times it too).
void LookForStopSignals();
