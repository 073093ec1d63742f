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
