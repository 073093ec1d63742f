#pragma once
// The benchmark's tree: `files` files in nested folders (ROOT\tree-N\aX\bY\cZ,
// 100 files a folder), the same bytes on every build. Mostly small non-PE
// files, one in forty a clean PE file (the head of an inert sample), and a few
// special files: inert samples of four records, near misses of two, and
// non-PE files of exactly a record's size.

// The forged samples that a scan of the tree finds.
constexpr int kBenchInfectedFiles = 4;

// The tree's folder: ROOT\tree-N.
void BenchTreeFolder(char (&folder)[260], const char* root, long files);

// Builds the tree unless a finished one of the same layout is already there
// (a marker file beside the tree says so). False when writing failed.
bool EnsureBenchTree(const char* root, long files);
