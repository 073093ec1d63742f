// Any bytes as a start-up value, its expansion, the infected file and a
// system folder (four strings split at NUL bytes): the judge must read
// nothing outside them, and each verdict must hold for the reason it gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cleaning/ProcessNames.h"
#include "cleaning/RunValueJudge.h"

namespace {

bool BeginsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && CompareIgnoringCase(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

// The programs a command may run, as the system tries them: the quoted text,
// or each prefix ending at a blank or tab and the whole text.
std::vector<std::string> Candidates(const std::string& command) {
  if (!command.empty() && command[0] == '"') {
    size_t close = command.find('"', 1);
    return {command.substr(1, close == std::string::npos ? std::string::npos : close - 1)};
  }
  std::vector<std::string> candidates;
  for (size_t i = 0; i <= command.size(); ++i)
    if (i == command.size() || command[i] == ' ' || command[i] == '\t') candidates.push_back(command.substr(0, i));
  return candidates;
}

// A candidate without an extension is run with ".exe".
bool IsFile(const std::string& candidate, const std::string& file) {
  size_t slash = candidate.rfind('\\');
  size_t dot = candidate.rfind('.');
  bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  std::string program = extension ? candidate : candidate + ".exe";
  return !candidate.empty() && program.size() == file.size() && BeginsWithIgnoringCase(program, file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string parts[4];
  size_t part = 0;
  for (size_t i = 0; i < size && part < 4; ++i) {
    if (data[i] == 0)
      ++part;
    else
      parts[part] += static_cast<char>(data[i]);
  }
  const std::string& text = parts[0];
  const std::string& expanded = parts[1];
  const std::string& file = parts[2];
  const char* folders[] = {parts[3].c_str(), "c:\\windows\\system32"};

  RunValueVerdict verdict = JudgeRunValue(text.c_str(), expanded.c_str(), file.c_str(), folders, 2);
  size_t slash = file.rfind('\\');
  if (verdict != RunValueVerdict::NotTheWorms && slash == std::string::npos) abort();
  if (verdict == RunValueVerdict::BareCommand) {
    // The text is bare and names the file; the file's folder is a system folder.
    if (text.find('\\') != std::string::npos && text[0] != '\\') abort();
    std::string folder = file.substr(0, slash);
    bool system = false;
    for (const char* candidate : folders) {
      std::string trimmed = candidate;
      while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
      system |= !trimmed.empty() && trimmed.size() == folder.size() && BeginsWithIgnoringCase(folder, trimmed);
    }
    if (!system) abort();
  }
  if (verdict == RunValueVerdict::CommandWithPath) {
    // Some program candidate of the text or its expansion is the file.
    bool starts = false;
    for (const std::string* command : {&text, &expanded}) {
      for (const std::string& candidate : Candidates(*command)) starts |= IsFile(candidate, file);
    }
    if (!starts) abort();
  }
  return 0;
}
