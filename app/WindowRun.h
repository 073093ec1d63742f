#pragma once
// The window, run from a command line: the scan prepared by the options
// (folder, memory phase, report-only), started at once with /scan, its log
// lines also written to the log file when one was asked for. Returns the
// exit code of what the scan found; a window closed before its scan ended
// gives the code of a stopped scan.
#include "app/CommandLine.h"
#include "app/RunLog.h"

int RunInWindow(const CommandLineOptions& options, RunLog& log);
