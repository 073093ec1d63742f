#pragma once
// A run started with a command line: judges it, takes the instance lock,
// opens the log file, and runs the scan silently or in the window. Returns
// the exit code (see RunOutcome.h).
#include <string>
#include <vector>

int RunFromCommandLine(const std::vector<std::string>& arguments);

// How an administrator's run ends the process when it cannot return: the
// memory scan's survivor and an internal error end it from deep inside the
// scan, once the log is complete. ExitProcess; a test puts its own in place,
// one that does not return either (it throws something that is no
// std::exception). Null restores ExitProcess. Returns the previous one.
using ProcessEndFunction = void (*)(int code);
ProcessEndFunction UseProcessEnd(ProcessEndFunction function);
[[noreturn]] void EndProcess(int code);
