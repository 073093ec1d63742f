#pragma once
// The names that the cleaning code derives from an executable's path to find
// its process or its service. Portable: plain text in, text out, every copy
// bounded by the destination.
#include <cstddef>

constexpr int kProcessPathLength = 260;   // terminator included
constexpr int kServiceNameLength = 261;   // 260 characters and the terminator
constexpr int kPerfInstanceNameLength = 17;

// The part of a path after its last backslash; the whole path when it has none.
const char* FileNameOfPath(const char* path);

// The name that the 9x back-end looks for: the file name, upper-cased.
// Longer names are cut to fit.
void ExeNameTarget(const char* path, char (&target)[kProcessPathLength]);

// The name that the performance-data back-end looks for: the upper-cased
// path with its last four characters (the extension) cut off, then the part
// after the last backslash. Returns false for a path of four characters or
// fewer and for an empty result, which match nothing.
bool PerfInstanceTarget(const char* path, char (&target)[kProcessPathLength]);

// Whether an instance name is the target, alone or numbered as the system
// numbers further processes of one image ("name#1"), ignoring ASCII case. It
// only makes the process a candidate: its image decides. An empty instance
// name (one that was too long to keep) matches no target.
bool PerfInstanceMatches(const char* instanceName, const char* target);

// The service that a worm executable would run as: its file name with
// everything from the last "." cut off; a name without "." is taken whole.
void ServiceNameOfPath(const char* path, char (&name)[kServiceNameLength]);

// The path without the "\\?\" or "\??\" prefix that some system calls put
// before a drive path.
const char* WithoutDevicePrefix(const char* path);

// The index-th candidate for the program that a command line runs, in the
// order in which the system tries them: for a command that begins with a
// double quote, the quoted text alone; otherwise the text up to its first
// blank, then up to its second, and so on, and the whole text last. Leading
// blanks are passed over. False when there is no such candidate, or it is
// empty or would not fit.
bool CommandProgramCandidate(const char* command, int index, char (&candidate)[kProcessPathLength]);

// Upper-cases ASCII letters in place, as _strupr does in the "C" locale.
void UpperCaseAscii(char* text);

// Compares the first `count` characters ignoring ASCII case; 0 when equal,
// as _strnicmp does in the "C" locale (a shorter string compares unequal).
int CompareIgnoringCase(const char* left, const char* right, size_t count);
