// Any bytes as an old wininit.ini: the new entry must be there, every old
// line must come through, in order, and end-of-file marks that closed the
// old text close the new one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cleaning/WininitText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string out = AddRenameEntry(text, "NUL", "C:\\FUZZ~1\\ENTRY.EXE");
  size_t marks = 0;
  while (marks < text.size() && text[text.size() - 1 - marks] == '\x1A') ++marks;
  if (out.size() < marks || out.compare(out.size() - marks, marks, text, text.size() - marks, marks) != 0)
    abort();
  const std::string old = text.substr(0, text.size() - marks);
  if (out.find("NUL=C:\\FUZZ~1\\ENTRY.EXE\r\n") == std::string::npos) abort();
  size_t searchFrom = 0;
  for (size_t at = 0; at < old.size();) {
    size_t end = old.find('\n', at);
    if (end == std::string::npos) end = old.size();
    std::string line = old.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t found = out.find(line, searchFrom);
    if (found == std::string::npos) abort();
    searchFrom = found + line.size();
    at = end + 1;
  }
  return 0;
}
