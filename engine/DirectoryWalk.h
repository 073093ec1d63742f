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

// On the NT line the walk goes by UTF-16 names and "\\?\" paths below the
// pattern's folder: a name in any script and a path of any length is shown,
// checked (CheckWithCheckerList with its UTF-16 path) and walked as itself;
// the path it shows and hands on as 8-bit text is ShownFromWide's, with "?"
// for each character the code page lacks. Deeper than 256 folders below the
// start, a folder is reported as not examined.
//
// The 9x line and the memory phase keep to 8-bit patterns of at most 260
// bytes: an entry whose path would not fit is skipped (a file that could be
// the worm, and a folder, reported as not examined), and entries whose ANSI
// name is a best-fit form that cannot stand as a name in its folder
// ("..\..\x.exe" from full-width characters) are shown, but neither checked,
// counted nor walked.
//
// Entries that are reparse points (junctions, symbolic links, mount points)
// are shown but never walked into; a folder already entered by the walk
// (same volume serial and file index) is never entered again.
//
// Test seam: with false, reparse points are walked like folders, so that a
// test can reach the second guard, which under Wine every link meets after
// the first. Returns the previous setting.
bool UseReparsePointSkip(bool on);

// The silent run (no window, outside the memory phase) on the NT line lists
// folders and judges files by their length ahead of the walk, on as many
// threads as there are cores (at most 4, the scan's own among them); what
// acts, counts or logs stays on the scan's thread in the walk's own order.
// With 1 the walk prepares each folder itself when it reaches it; 0 restores
// one thread per core. Returns the previous setting.
int UseWalkThreads(int threads);
// Test seam: with false, the silent run walks folder by folder on the scan's
// thread as before, preparing nothing ahead, so that a test can hold the two
// walks side by side. Returns the previous setting.
bool UseFoldersPreparedAhead(bool on);
