#pragma once
// A hosts file carrying the worm's text signature: a uuencode-like text that
// begins with "begin" and holds the signature's pattern spread over several
// lines, so that only whitespace separates its pieces.
#include <string>

namespace forge {

std::string MakeInfectedHostsFile();

// The same text with one pattern byte changed: it must stay clean.
std::string MakeNearMissHostsFile();

}  // namespace forge
