#include "cleaning/WininitText.h"

#include <cctype>

namespace {

bool IsRenameHeader(const std::string& text, size_t lineStart) {
  static const char kHeader[] = "[rename]";
  for (size_t i = 0; i < 8; ++i) {
    if (lineStart + i >= text.size()) return false;
    if (std::tolower(static_cast<unsigned char>(text[lineStart + i])) != kHeader[i]) return false;
  }
  return true;
}

}  // namespace

// Lines are whole lines however long they are: a read in pieces must not take
// the middle of a long line for the start of a section.
std::string AddRenameEntry(const std::string& text, const std::string& key,
                           const std::string& value) {
  const std::string entry = key + "=" + value + "\r\n";
  // A DOS reader stops at the end-of-file mark: the entry goes before it.
  size_t markAt = text.size();
  while (markAt > 0 && text[markAt - 1] == '\x1A') --markAt;
  const std::string oldText = text.substr(0, markAt);
  std::string out;
  out.reserve(text.size() + entry.size() + 16);
  bool inSection = false;
  bool inserted = false;
  size_t at = 0;
  while (at < oldText.size()) {
    size_t end = oldText.find('\n', at);
    size_t next = end == std::string::npos ? oldText.size() : end + 1;
    if (!inserted) {
      if (!inSection) {
        inSection = IsRenameHeader(oldText, at);
      } else if (oldText[at] == '[') {
        out += entry;
        inserted = true;
      }
    }
    // A CR LF line end comes through as LF, as a text-mode read delivers it.
    size_t contentEnd = next;
    if (end != std::string::npos && end > at && oldText[end - 1] == '\r') {
      out.append(oldText, at, end - 1 - at);
      out += '\n';
    } else {
      out.append(oldText, at, contentEnd - at);
    }
    at = next;
  }
  if (!inserted) {
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    if (!inSection) out += "[rename]\r\n";
    out += entry;
  }
  out.append(text, markAt, std::string::npos);
  return out;
}
