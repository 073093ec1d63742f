#include "tests/e2e/driver/Report.h"

Report::~Report() {
  if (file_ && file_ != stdout) fclose(file_);
}

bool Report::Open(const std::string& path) {
  if (path.empty()) {
    file_ = stdout;
    return true;
  }
  // Binary: the file is read on the Linux side, which wants bare line feeds.
  file_ = fopen(path.c_str(), "ab");
  return file_ != nullptr;
}

void Report::Section(const std::string& name) {
  fprintf(file_, "[%s]\n", name.c_str());
  fflush(file_);
}

void Report::Line(const std::string& prefix, const std::string& value) {
  fprintf(file_, "%s: %s\n", prefix.c_str(), OneLine(value).c_str());
  // Flushed line by line: a run that times out still leaves what it saw.
  fflush(file_);
}

std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\n')
      line += "\\n";
    else if (c == '\r')
      line += "\\r";
    else
      line += c;
  }
  return line;
}
