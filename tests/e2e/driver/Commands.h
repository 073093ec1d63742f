#pragma once
// What the driver can do to the window, one function per command word.
#include <string>
#include <vector>

#include "tests/e2e/driver/AppWindow.h"
#include "tests/e2e/driver/Report.h"

// Reports every control's look and text, the title and the region.
void ReportControls(const AppWindow& app, Report& report);

// Press a key as the keyboard would and report whether the window is still
// there once it has handled the key.
void PressEnter(const AppWindow& app, Report& report, unsigned timeoutMs);
void PressEscape(const AppWindow& app, Report& report, unsigned timeoutMs);

// Presses OK and reports whether the window and its process went away.
void PressOk(const AppWindow& app, Report& report, unsigned timeoutMs);

// Starts the program once more and reports how it ended and how many
// windows carry the title afterwards.
void StartSecondInstance(const std::string& path, Report& report, unsigned timeoutMs);

// Runs a program that needs no window (scourix.exe with a command line) to
// its end: reports its process id, every line it wrote to standard output,
// and its exit code in full (the Linux side sees only its low byte).
// With a release file, the program's standard output is a pipe of one byte:
// once its first line is read and reported ("first-line"), the program's
// next write waits, and so does the program, until the release file exists.
void RunProgram(const std::string& path, const std::vector<std::string>& arguments, Report& report,
                unsigned timeoutMs, const std::string& releaseFile = std::string());

// Keeps a file open for reading for the given time: shared for reading only
// (a scan can read it but neither delete nor move it), or, `mapped`, shared
// for everything and mapped as a loaded DLL is (it can be moved, not deleted).
void HoldFile(const std::string& path, unsigned seconds, bool mapped, Report& report);
