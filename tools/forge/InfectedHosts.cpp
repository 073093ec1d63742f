#include "tools/forge/InfectedHosts.h"

#include <cstdint>

#include "engine/TextSignature.h"

namespace forge {
namespace {

std::string SpreadOverLines(const std::string& pattern) {
  std::string text = "begin 644 hosts.txt\r\n";
  // Pieces of uneven length, with line breaks, blanks and tabs between them.
  const size_t pieces[] = {37, 23, 40};
  size_t at = 0;
  for (size_t piece : pieces) {
    text += pattern.substr(at, piece);
    text += at == 0 ? " \t\r\n" : "\r\n";
    at += piece;
  }
  text += "`\r\nend\r\n";
  return text;
}

std::string PlainPattern() {
  const TextSignatureRecord& record = TextSignatureTable[0];
  uint8_t plain[sizeof record.pattern];
  CopyPlainPattern(record, plain);
  return std::string(reinterpret_cast<const char*>(plain), record.patternLength);
}

}  // namespace

std::string MakeInfectedHostsFile() { return SpreadOverLines(PlainPattern()); }

std::string MakeNearMissHostsFile() {
  std::string pattern = PlainPattern();
  pattern[50] = pattern[50] == 'A' ? 'B' : 'A';
  return SpreadOverLines(pattern);
}

}  // namespace forge
