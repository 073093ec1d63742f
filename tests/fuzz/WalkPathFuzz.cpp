// Any bytes as a level's search pattern and a name that FindFirstFileA lists
// in it (two strings split at a NUL byte), through the walk's path
// arithmetic as the walk runs it: the entry's path, its status-line form,
// the subfolder pass's pattern and a subfolder's pattern. Nothing may be
// read or written outside the 260-byte buffers, each result must be the text
// it stands for, and a name that survives must name an entry of the folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/PathText.h"
#include "engine/StatusPath.h"
#include "engine/WalkPath.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

// The components of a path as Win32 separates them.
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts(1);
  for (char c : path) {
    if (c == '\\' || c == '/')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

// `joined` is `folder` (which ends in a separator) and one more component
// that neither climbs nor stays, nor names a drive or a stream.
bool NamesAnEntryOf(const std::string& folder, const std::string& joined) {
  std::vector<std::string> outer = Components(folder), inner = Components(joined);
  outer.pop_back();  // the empty text after the folder's last separator
  if (inner.size() != outer.size() + 1) return false;
  const std::string& name = inner.back();
  return !name.empty() && name != "." && name != ".." && name.find(':') == std::string::npos;
}

// The joined text as it stands for itself: folder part, name, suffix; false
// when it would not fit 260 bytes.
bool Expected(const std::string& pattern, int folderLength, const std::string& name,
              const std::string& suffix, std::string& joined) {
  joined = pattern.substr(0, folderLength) + name + suffix;
  return joined.size() < kWalkPathLength;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const char* nul = static_cast<const char*>(memchr(bytes, '\0', size));
  const std::string patternText(bytes, nul ? nul - bytes : size);
  std::string name = nul ? std::string(nul + 1, size - (nul + 1 - bytes)) : std::string();
  name = name.substr(0, strnlen(name.c_str(), 259));  // a listed name: cFileName[260]

  char levelPattern[kWalkPathLength];
  if (!CopyText(levelPattern, patternText.c_str())) return 0;  // the walk refuses it as well
  const std::string pattern = levelPattern;

  const int folderLength = FolderPartLength(levelPattern);
  const size_t lastDot = pattern.rfind('.');
  if (lastDot == std::string::npos) {
    Check(folderLength == -1);
  } else {
    Check(folderLength == (lastDot == 0 ? 0 : static_cast<int>(lastDot) - 1));
  }

  // The entry's path, then its form in the status line (60 characters).
  char path[kWalkPathLength];
  std::string expected;
  const bool fits = JoinPath(path, levelPattern, folderLength, name.c_str(), "");
  Check(fits == (folderLength >= 0 && Expected(pattern, folderLength, name, "", expected)));
  if (fits) {
    Check(expected == path);
    char status[kWalkPathLength];
    ShortenPathForStatus(path, status, 60);
    const std::string shown = status;
    if (expected.size() <= 60) {
      Check(shown == expected);
    } else {
      Check(shown == expected.substr(0, 29) + ".." + expected.substr(expected.size() - 29));
    }
  }

  // The subfolder pass's pattern.
  char subfolders[kWalkPathLength];
  const std::string cut = lastDot == std::string::npos ? pattern : pattern.substr(0, lastDot + 1);
  const bool made = MakeSubfolderPattern(subfolders, levelPattern);
  Check(made == (cut.size() + 1 < kWalkPathLength));
  if (made) Check(cut + "*" == subfolders);

  // A subfolder's pattern: the next level's folder part is this one's with
  // the name and a separator, and a name that survives stays in the folder.
  char child[kWalkPathLength];
  const bool childFits = JoinPath(child, levelPattern, folderLength, name.c_str(), "\\*.*");
  Check(childFits == (folderLength >= 0 && Expected(pattern, folderLength, name, "\\*.*", expected)));
  if (childFits) {
    Check(expected == child);
    Check(FolderPartLength(child) == folderLength + static_cast<int>(name.size()) + 1);
    // Only a folder part that ends at a separator is a folder; the memory
    // phase's file paths are cut anywhere and never walk into a name.
    const std::string folder = pattern.substr(0, folderLength);
    const bool isFolder = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    if (isFolder && SurvivesAsName(name.c_str()))
      Check(NamesAnEntryOf(folder, std::string(child, strlen(child) - 4)));
  }
  return 0;
}
