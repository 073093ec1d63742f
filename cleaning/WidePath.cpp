#include "cleaning/WidePath.h"

#include <cstring>
#include <vector>

#include "base/SystemLibrary.h"

namespace {

UINT FileCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

std::wstring Widen(UINT codePage, const char* text, int length) {
  if (length == 0) return std::wstring();
  const int units = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(units), L'\0');
  if (MultiByteToWideChar(codePage, 0, text, length, &wide[0], units) != units) return std::wstring();
  return wide;
}

std::string Narrow(UINT codePage, const wchar_t* text, int length) {
  if (length == 0) return std::string();
  const int bytes = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string narrow(static_cast<size_t>(bytes), '\0');
  if (WideCharToMultiByte(codePage, 0, text, length, &narrow[0], bytes, nullptr, nullptr) != bytes)
    return std::string();
  return narrow;
}

// Counted here: msvcrt's wide-string functions are not all on every Windows
// that the program loads on.
size_t WideLength(const wchar_t* text) {
  size_t length = 0;
  while (text[length] != L'\0') ++length;
  return length;
}

bool StartsWith(const wchar_t* text, const wchar_t* prefix) {
  for (; *prefix != L'\0'; ++text, ++prefix)
    if (*text != *prefix) return false;
  return true;
}

// The prefix's length, and what it stands for in a shown path.
size_t PrefixLength(const wchar_t* text, const char*& shownPrefix) {
  shownPrefix = "";
  if (StartsWith(text, L"\\\\?\\UNC\\")) {
    shownPrefix = "\\\\";
    return 8;
  }
  if (StartsWith(text, L"\\\\?\\")) return 4;
  return 0;
}

}  // namespace

std::wstring WideFromFileText(const char* text) {
  return Widen(FileCodePage(), text, static_cast<int>(strlen(text)));
}

// The whole text in one conversion when it comes back unchanged (the common
// case); else each character on its own, so that only the ones without an
// exact form become "?". WC_NO_BEST_FIT_CHARS would do the same in one call,
// but NT 4 and the 9x line refuse that flag. A surrogate pair is one "?".
std::string ShownFromWide(const wchar_t* text) {
  const char* shownPrefix;
  text += PrefixLength(text, shownPrefix);
  const UINT codePage = FileCodePage();
  const int length = static_cast<int>(WideLength(text));
  std::string whole = Narrow(codePage, text, length);
  if (!whole.empty() && Widen(codePage, whole.data(), static_cast<int>(whole.size())) == std::wstring(text, length))
    return shownPrefix + whole;
  std::string shown = shownPrefix;
  for (int i = 0; i < length; ++i) {
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
    if (pair) {
      shown += '?';
      ++i;
      continue;
    }
    std::string one = Narrow(codePage, text + i, 1);
    if (one.empty() || Widen(codePage, one.data(), static_cast<int>(one.size())) != std::wstring(1, text[i]))
      shown += '?';
    else
      shown += one;
  }
  return shown;
}

bool ShowsExactly(const char* shown, const wchar_t* wide) {
  const char* shownPrefix;
  const size_t prefix = PrefixLength(wide, shownPrefix);
  const size_t shownLength = strlen(shownPrefix);
  if (strncmp(shown, shownPrefix, shownLength) != 0) return false;
  return WideFromFileText(shown + shownLength) == std::wstring(wide + prefix);
}

std::wstring ExtendedLengthPath(const std::wstring& path) {
  const char* shownPrefix;
  if (PrefixLength(path.c_str(), shownPrefix) != 0) return path;
  using FullPathFunction = DWORD(WINAPI*)(const wchar_t* path, DWORD length, wchar_t* buffer, wchar_t** filePart);
  static const auto fullPath = SystemFunction<FullPathFunction>("kernel32.dll", "GetFullPathNameW");
  if (!fullPath || path.empty()) return std::wstring();
  std::vector<wchar_t> full(MAX_PATH);
  DWORD length = fullPath(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.resize(length + 1);
    length = fullPath(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (length == 0 || length >= full.size()) return std::wstring();
  const std::wstring made(full.data(), length);
  if (made.size() >= 3 && made[1] == L':' && made[2] == L'\\') return L"\\\\?\\" + made;
  if (made.size() > 2 && made[0] == L'\\' && made[1] == L'\\' && made[2] != L'?' && made[2] != L'.')
    return L"\\\\?\\UNC\\" + made.substr(2);
  return std::wstring();  // a device path: left as it is, not walked as a folder
}
