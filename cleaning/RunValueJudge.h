#pragma once
// Whether a start-up value (Run, RunServices) starts the infected file.
// Portable: the value's text, its expansion, the file's path and the system
// folders come in as text; letters compare without regard to ASCII case.
#include <cstddef>

enum class RunValueVerdict {
  NotTheWorms,
  BareCommand,      // a command without a folder, naming a file of a system folder
  CommandWithPath,  // a command whose program, as the system resolves it, is the file
};

// Whether the system would find a program for a candidate of `length`
// characters: the file itself, or for a name without an extension, the
// name with ".exe". Lets the judge stop where the system stops.
using ProgramExistsFunction = bool (*)(const char* candidate, size_t length);

// The two rules, each tied to name boundaries:
// - A bare text (no backslash, or a backslash first) that holds the file's
//   name as a whole name (after the start, a quote, a backslash or a blank;
//   before the end, a quote or a blank) is the worm's only when the file lies
//   directly in one of the system folders; the path rule is then not tried.
// - Otherwise the text or its expansion is resolved as the system resolves a
//   command: after a leading double quote, the quoted text is the program;
//   without one, the candidates are the text up to each blank or tab in turn
//   and the whole text last. A candidate without an extension stands for
//   itself with ".exe" (the system never runs an extensionless name from a
//   command). The value starts the file when a candidate is the file and no
//   earlier candidate exists (programExists; null: none is known to exist).
// A file without a backslash matches nothing; system folders may end in a
// backslash.
RunValueVerdict JudgeRunValue(const char* text, const char* expanded, const char* file,
                              const char* const* systemFolders, size_t systemFolderCount,
                              ProgramExistsFunction programExists = nullptr);

// Whether `length` characters of a command name a file with an extension: a
// "." after the last backslash.
bool ProgramHasExtension(const char* candidate, size_t length);
