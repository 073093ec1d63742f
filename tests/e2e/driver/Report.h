#pragma once
// The out file: plain lines, "prefix: value", in the order things were seen,
// so that a shell script can compare them with grep. Sections ("[idle]",
// "[scan]", ...) separate the commands of one run.
#include <cstdio>
#include <string>

class Report {
 public:
  Report() = default;
  ~Report();
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // Appends, so that several driver runs can share one file. An empty path
  // writes to standard output.
  bool Open(const std::string& path);
  void Section(const std::string& name);
  void Line(const std::string& prefix, const std::string& value);

 private:
  FILE* file_ = nullptr;
};

// Line breaks inside a value become the two characters "\n" (or "\r"), so
// that a value never spans lines; tabs stay as they are.
std::string OneLine(const std::string& text);
