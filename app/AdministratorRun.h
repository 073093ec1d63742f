#pragma once
// A run started with a command line: judges it, takes the instance lock,
// opens the log file, and runs the scan silently or in the window. Returns
// the exit code (see RunOutcome.h).
#include <string>
#include <vector>

int RunFromCommandLine(const std::vector<std::string>& arguments);
