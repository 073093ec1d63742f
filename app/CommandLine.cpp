#include "app/CommandLine.h"

#include <cctype>

namespace {

enum class Option { None, Scan, Silent, Report, Path, NoMemory, Log, Restart, Help };

struct OptionName {
  const char* name;
  Option option;
  bool takesValue;
};

const OptionName kOptions[] = {
    {"scan", Option::Scan, false},         {"silent", Option::Silent, false},
    {"report", Option::Report, false},     {"path", Option::Path, true},
    {"nomemory", Option::NoMemory, false}, {"log", Option::Log, true},
    {"restart", Option::Restart, false},   {"?", Option::Help, false},
};

bool EqualIgnoringCase(const std::string& left, const char* right) {
  size_t i = 0;
  for (; i < left.size() && right[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(left[i])) !=
        std::tolower(static_cast<unsigned char>(right[i])))
      return false;
  }
  return i == left.size() && right[i] == '\0';
}

const OptionName* FindOption(const std::string& word) {
  if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return nullptr;
  const std::string name = word.substr(1);
  for (const OptionName& candidate : kOptions)
    if (EqualIgnoringCase(name, candidate.name)) return &candidate;
  return nullptr;
}

bool Fail(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

}  // namespace

std::vector<std::string> SplitArguments(const char* commandLine) {
  std::vector<std::string> words;
  const char* at = commandLine ? commandLine : "";
  // The program's own name: quotes only delimit it.
  bool quoted = false;
  for (; *at && (quoted || (*at != ' ' && *at != '\t')); ++at)
    if (*at == '"') quoted = !quoted;
  for (;;) {
    while (*at == ' ' || *at == '\t') ++at;
    if (!*at) return words;
    std::string word;
    quoted = false;
    for (; *at && (quoted || (*at != ' ' && *at != '\t')); ++at) {
      size_t backslashes = 0;
      while (at[backslashes] == '\\') ++backslashes;
      if (at[backslashes] == '"') {
        word.append(backslashes / 2, '\\');
        at += backslashes;
        if (backslashes % 2) {
          word += '"';
        } else if (quoted && at[1] == '"') {
          word += '"';  // "" inside quotes: a literal quote, as the runtime reads it
          ++at;
        } else {
          quoted = !quoted;
        }
      } else if (backslashes) {
        word.append(backslashes, '\\');
        at += backslashes - 1;
      } else {
        word += *at;
      }
    }
    words.push_back(word);
  }
}

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLineOptions& options,
                      std::string& error) {
  options = CommandLineOptions();
  options.administratorRun = !arguments.empty();
  bool given[static_cast<int>(Option::Help) + 1] = {};
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    const OptionName* found = FindOption(word);
    if (!found) {
      if (!word.empty() && (word[0] == '/' || word[0] == '-'))
        return Fail(error, "unknown option " + word);
      return Fail(error, "unexpected argument \"" + word + "\"");
    }
    bool& seen = given[static_cast<int>(found->option)];
    if (seen) return Fail(error, word + " is given twice");
    seen = true;

    std::string value;
    if (found->takesValue) {
      // A word that is itself an option is never taken for the value: "/log
      // /silent" is a forgotten file name, not a log called "/silent".
      if (i + 1 >= arguments.size() || FindOption(arguments[i + 1]) || arguments[i + 1].empty())
        return Fail(error, word + " needs a value");
      value = arguments[++i];
    }
    switch (found->option) {
      case Option::Scan: options.scanAtOnce = true; break;
      case Option::Silent: options.silent = true; break;
      case Option::Report: options.reportOnly = true; break;
      case Option::Path: options.path = value; break;
      case Option::NoMemory: options.noMemory = true; break;
      case Option::Log: options.logFile = value; break;
      case Option::Restart: options.restart = true; break;
      case Option::Help: options.help = true; break;
      case Option::None: break;
    }
  }
  if (options.help && arguments.size() > 1) return Fail(error, "/? takes no other option");
  if (options.scanAtOnce && options.silent)
    return Fail(error, "/scan shows the window and /silent has none: give one of them");
  if (options.restart && !options.silent) return Fail(error, "/restart needs /silent");
  if (options.restart && options.reportOnly)
    return Fail(error, "/report changes nothing, so it never restarts: leave out /restart");
  return true;
}

const char* UsageText() {
  return "Scourix Ver 1.0 - removes W32/Morvo.Worm and its variants.\r\n"
         "\r\n"
         "scourix [/scan | /silent [/restart]] [/report] [/path FOLDER] [/nomemory] [/log FILE]\r\n"
         "\r\n"
         "  (none)        the window; press SCAN to scan\r\n"
         "  /scan         the window, with the scan started at once\r\n"
         "  /silent       no window and no prompt; the log goes to /log FILE,\r\n"
         "                else to scourix.log in the Windows folder\r\n"
         "  /restart      with /silent: restart the computer when a removal needs it\r\n"
         "  /report       change nothing; the log names what would be removed\r\n"
         "  /path FOLDER  scan that folder tree (or that one file) instead of every\r\n"
         "                fixed drive; one that is not there or cannot be opened is\r\n"
         "                a usage error\r\n"
         "  /nomemory     do not examine the running programs\r\n"
         "  /log FILE     append the log to FILE\r\n"
         "  /?            this text\r\n"
         "\r\n"
         "Exit codes:\r\n"
         "     0  nothing found\r\n"
         "     1  found, and everything removed\r\n"
         "     2  found, and something could neither be removed nor scheduled\r\n"
         "     3  found in report-only mode; nothing changed\r\n"
         "     4  the scan was stopped before its end\r\n"
         "     5  usage error, or the log file cannot be used\r\n"
         "     6  another instance is running\r\n"
         "     7  scan incomplete: files could not be examined\r\n"
         "     8  found in memory; removal completes at the next restart, and the\r\n"
         "        drives were not scanned: restart, then run again\r\n"
         "     9  internal error\r\n"
         "  1641  found; removal completes at restart, and the restart has begun\r\n"
         "  3010  found; removal completes at the next restart (restart needed)\r\n";
}
