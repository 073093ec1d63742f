#pragma once
// Visits every entry below a search pattern ("X:\folder\*.*"): shows each path
// in the status line, hands each file to the checker list, then recurses into
// the subfolders, depth first. While scanState.memoryPhase is set the pattern
// is instead the full path of one process's executable, examined uncounted.
//
// Returns 0 when stopped by scanState.stopRequested, -1 when a pattern without
// any "." was met (here or deeper), otherwise scanState.filesScanned, the
// running total of the whole run.
int WalkFolder(const char* pattern);

// Entries that are reparse points (junctions, symbolic links, mount points)
// are shown but never walked into; a folder already on the walk's current
// path (same volume serial and file index) is never entered again; entries
// whose ANSI name is a best-fit form that cannot stand as a name in its
// folder ("..\..\x.exe" from full-width characters) are shown, but neither
// checked, counted nor walked.
//
// Test seam: with false, reparse points are walked like folders, so that a
// test can reach the second guard, which under Wine every link meets after
// the first. Returns the previous setting.
bool UseReparsePointSkip(bool on);
