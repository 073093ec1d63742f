#pragma once
// The NT line reaches files by their UTF-16 names. A name that the 8-bit code
// page cannot hold has no 8-bit form that opens it, and an 8-bit path stops
// at MAX_PATH; "\\?\" paths have neither limit. The 8-bit text of such a path
// is for people only (the log, the status line, the window).
#include <windows.h>

#include <string>

// 8-bit text in the code page of the file functions (ANSI, or OEM after
// SetFileApisToOEM), as UTF-16. Empty when it does not convert.
std::wstring WideFromFileText(const char* text);

// What the log and the window show for a UTF-16 name or path: its 8-bit text
// in the file functions' code page where each character has an exact form
// there, and "?" for each one that has none. Never the system's best fit:
// "Zdjęcia" would come back as "Zdjecia", the name of another folder that may
// exist, while "?" is no character of any real name, so a shown path names
// either the file itself or nothing. A "\\?\" prefix is left out
// ("\\?\UNC\" shown as "\\").
std::string ShownFromWide(const wchar_t* text);

// True when `shown` is the exact 8-bit form of `wide` (prefix apart): the
// 8-bit functions would reach the same file by it.
bool ShowsExactly(const char* shown, const wchar_t* wide);

// "\\?\" form of a full path, for which no length limit and no rewriting of
// names (trailing dots and blanks) applies: "C:\x" becomes "\\?\C:\x",
// "\\server\share\x" becomes "\\?\UNC\server\share\x"; a path that already
// has the prefix is kept. `path` is made full first (GetFullPathNameW, which
// also resolves "." and ".." and turns "/" into "\"). Empty when it cannot.
std::wstring ExtendedLengthPath(const std::wstring& path);
