#pragma once
// Whether a start-up value (Run, RunServices) starts the infected file.
// Portable: the value's text, its expansion, the file's path and the system
// folders come in as text; letters compare without regard to ASCII case.
#include <cstddef>

enum class RunValueVerdict {
  NotTheWorms,
  BareCommand,      // a command without a folder, naming a file of a system folder
  CommandWithPath,  // a command that begins with the file's path
};

// The two rules, each tied to name boundaries:
// - A bare text (no backslash, or a backslash first) that holds the file's
//   name as a whole name (after the start, a quote, a backslash or a blank;
//   before the end, a quote or a blank) is the worm's only when the file lies
//   directly in one of the system folders; the path rule is then not tried.
// - Otherwise the text or its expansion, after one leading double quote,
//   must begin with the file's path followed by the end, a blank, a double
//   quote or a comma.
// A file without a backslash matches nothing; system folders may end in a
// backslash.
RunValueVerdict JudgeRunValue(const char* text, const char* expanded, const char* file,
                              const char* const* systemFolders, size_t systemFolderCount);
