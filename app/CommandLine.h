#pragma once
// The administrator's command line. Started with no arguments the program is
// its window and nothing else; any argument makes it an administrator's run,
// judged here. Portable: words in, options or one error out.
//
//   /scan          the window, with the scan started at once
//   /silent        no window and no prompt; exit code and log file
//   /report        change nothing; the log names what would have gone
//   /path FOLDER   scan that folder tree instead of every fixed drive
//   /nomemory      leave out the examination of the running programs
//   /log FILE      append the log to FILE
//   /restart       with /silent: restart when a removal needs it
//   /?             the usage text
//
// Options are case-insensitive and start with "/" or "-". An unknown
// option, a missing value, an option given twice, a word that is no option
// and options that contradict each other are usage errors.
#include <string>
#include <vector>

struct CommandLineOptions {
  bool administratorRun = false;  // any argument at all
  bool scanAtOnce = false;
  bool silent = false;
  bool reportOnly = false;
  bool noMemory = false;
  bool restart = false;
  bool help = false;
  std::string path;     // empty: every fixed drive
  std::string logFile;  // empty: none (the silent run then uses its default)
};

// Splits a whole command line (GetCommandLineA) into its words the way the
// C runtime does: blanks and tabs separate, double quotes group, 2n
// backslashes before a quote give n and the quote groups, 2n+1 give n and a
// literal quote. The first word, the program, ends at the first blank
// outside quotes and takes no escapes. The program is left out.
std::vector<std::string> SplitArguments(const char* commandLine);

// Judges the arguments (the program's name left out). Returns false with a
// one-line reason in `error` on a usage error; `options` is then undefined.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLineOptions& options,
                      std::string& error);

// The text that /? and every usage error print.
const char* UsageText();
