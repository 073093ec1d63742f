// Any bytes (up to a NUL) as the command line that started the program,
// through the administrator's run's reading of it: splitting into words and
// judging them. Nothing may be read past the line's end; quoting the words
// again, as a caller would to pass them on, must give the same words back;
// and an accepted line uses every word once and holds no options that
// contradict each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

// One word quoted so that the C runtime reads it back unchanged: in quotes
// when it is empty or holds a blank, tab or quote, with the backslashes
// before a quote (or before the closing quote) doubled.
std::string Quote(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The line in a buffer of its own length, so that a read past its end shows.
  const size_t length = strnlen(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<char[]> line(new char[length + 1]);
  memcpy(line.get(), data, length);
  line[length] = '\0';

  const std::vector<std::string> words = SplitArguments(line.get());
  std::string again = "scourix.exe";
  for (const std::string& word : words) {
    Check(word.find('\0') == std::string::npos);
    again += ' ' + Quote(word);
  }
  Check(SplitArguments(again.c_str()) == words);

  CommandLineOptions options;
  std::string error;
  if (!ParseCommandLine(words, options, error)) {
    Check(!error.empty());
    return 0;
  }
  Check(options.administratorRun == !words.empty());
  Check(!(options.scanAtOnce && options.silent));
  Check(!options.restart || (options.silent && !options.reportOnly));
  Check(!options.help || words.size() == 1);
  // Every word is taken, once: by a switch, or by an option with its value.
  size_t taken = options.scanAtOnce + options.silent + options.reportOnly + options.noMemory +
                 options.restart + options.help;
  for (const std::string* value : {&options.path, &options.logFile}) {
    if (value->empty()) continue;
    taken += 2;
    bool found = false;
    for (const std::string& word : words) found |= word == *value;
    Check(found);
  }
  Check(taken == words.size());
  return 0;
}
