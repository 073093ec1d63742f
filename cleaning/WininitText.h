#pragma once
// The text of wininit.ini with one more entry in its [rename] section.
// Portable: bytes in, bytes out.
#include <string>

// Lines are kept as a text-mode read gives them (a CR LF end becomes LF);
// only the new entry ends in CR LF. The entry goes at the end of the first
// section whose header line starts with "[rename]" in any letter case, just
// before the next line that starts with "["; without such a section, a
// "[rename]" header and the entry are appended. A last line without a line
// end gets one before anything is appended after it. End-of-file marks
// (0x1A) that close the text stay at its end, after the entry.
std::string AddRenameEntry(const std::string& oldText, const std::string& key,
                           const std::string& value);
