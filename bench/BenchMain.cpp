// scan_bench: how much a scan of a folder costs over a bare enumeration of it.
//
//   scan_bench make ROOT N...   builds ROOT\tree-N for each N unless it is there
//   scan_bench threads ROOT N... the silent scan walked folder by folder with
//                               nothing prepared ahead, prepared on one thread,
//                               and on one per core, in turns, each beside the
//                               sound floor
//   scan_bench run ROOT N...    for each N, smallest first: (a) enumerates the
//                               tree, (b) scans it through RunScan with the
//                               report channel going to a hidden window, and
//                               prints files, seconds, (b)/(a) and the peak
//                               working set so far. It also prints a floor:
//                               the tree walked with the scan's own pumping
//                               and status lines but no check, the least
//                               that a scan can cost
//
// The scan leaves infected files alone (action 103, report only), so that
// every run sees the same tree. Building the trees is a separate step, so that
// the peak working set of a run is the scans' own: when it does not grow from
// the smaller tree to the larger one, the scan holds no memory per file.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/SilentRun.h"
#include "base/PathText.h"
#include "bench/BenchTree.h"
#include "bench/BenchWindow.h"
#include "bench/EnumerationWalk.h"
#include "engine/DirectoryWalk.h"
#include "engine/ScanRun.h"
#include "engine/VariantCheck.h"
#include "state/ScanState.h"

namespace {

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

unsigned long PeakWorkingSetKb() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<unsigned long>(counters.PeakWorkingSetSize / 1024);
}

void DrainMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

std::vector<long> Sizes(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 3; i < argc; ++i) {
    long size = strtol(argv[i], nullptr, 10);
    if (size >= 1000) sizes.push_back(size);
  }
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

int Make(const char* root, const std::vector<long>& sizes) {
  for (long size : sizes)
    if (!EnsureBenchTree(root, size)) return 1;
  return 0;
}

int Run(const char* root, const std::vector<long>& sizes) {
  BenchWindow window;
  if (!window.Window()) {
    printf("no window (is DISPLAY set?)\n");
    return 1;
  }
  DrainMessages();
  printf("peak working set before the scans: %lu KB\n", PeakWorkingSetKb());
  for (long size : sizes) {
    char folder[MAX_PATH];
    BenchTreeFolder(folder, root, size);
    CountFilesByEnumeration(folder);  // warms the caches for both timings alike

    double start = Seconds();
    long files = CountFilesByEnumeration(folder);
    double enumeration = Seconds() - start;

    start = Seconds();
    const long soundFiles = CountFilesAtSoundFloor(folder);
    double soundFloor = Seconds() - start;

    scanState = ScanState{};
    scanState.reportWindow = window.Window();
    DrainMessages();
    start = Seconds();
    CountFilesShowingEach(folder);
    double floorSeconds = Seconds() - start;

    scanState = ScanState{};
    CopyText(scanState.scanTarget, folder);
    scanState.reportWindow = window.Window();
    scanState.infectedAction = kActionReportOnly;
    window.ResetCounts();
    DrainMessages();
    start = Seconds();
    RunScan();
    double scan = Seconds() - start;

    const long windowScanned = scanState.filesScanned;
    const long windowInfected = scanState.filesInfected;

    // The same scan as a silent run makes it: no window, no status line,
    // only a look now and then for a stop request between entries.
    scanState = ScanState{};
    CopyText(scanState.scanTarget, folder);
    scanState.infectedAction = kActionReportOnly;
    BetweenEntriesFunction previous = UseBetweenEntries(LookForStopSignals);
    start = Seconds();
    RunScan();
    double silent = Seconds() - start;
    const long silentScanned = scanState.filesScanned;
    const long silentInfected = scanState.filesInfected;

    // Once more without confirming ruled-out entry lengths: the difference
    // is what the confirmation costs.
    scanState = ScanState{};
    CopyText(scanState.scanTarget, folder);
    scanState.infectedAction = kActionReportOnly;
    const bool confirming = UseLengthConfirmation(false);
    start = Seconds();
    RunScan();
    double unconfirmed = Seconds() - start;
    UseLengthConfirmation(confirming);
    UseBetweenEntries(previous);

    printf("tree-%ld files %ld enumeration %.3f s scan %.3f s ratio %.2f peak-working-set %lu KB "
           "floor %.3f s silent %.3f s silent-ratio %.2f sound-floor %.3f s silent/sound-floor %.2f "
           "scan/floor %.2f unconfirmed %.3f s confirmation-share %.2f\n",
           size, files, enumeration, scan, scan / enumeration, PeakWorkingSetKb(), floorSeconds,
           silent, silent / enumeration, soundFloor, silent / soundFloor, scan / floorSeconds, unconfirmed,
           (silent - unconfirmed) / silent);
    printf("  scanned %ld, infected %ld (expected %d), status updates %ld, log lines %ld; silent "
           "scanned %ld, infected %ld; sound floor counted %ld, queried %s\n",
           windowScanned, windowInfected, kBenchInfectedFiles, window.StatusUpdates(),
           window.LogLines(), silentScanned, silentInfected, soundFiles, SoundFloorQuery());
    if (windowScanned != files || windowInfected != kBenchInfectedFiles || silentScanned != files ||
        silentInfected != kBenchInfectedFiles || soundFiles != files)
      printf("  warning: the scan's counts differ from the tree's\n");
    fflush(stdout);
  }
  return 0;
}

// The silent scan alone, three ways in turns, so that each meets the
// machine's load alike.
int CompareThreads(const char* root, const std::vector<long>& sizes) {
  for (long size : sizes) {
    char folder[MAX_PATH];
    BenchTreeFolder(folder, root, size);
    CountFilesByEnumeration(folder);
    for (int turn = 0; turn < 9; ++turn) {
      // The walk folder by folder as it was, then prepared ahead on one thread, then per core.
      const int mode = turn % 3;
      const int threads = mode == 2 ? 0 : 1;
      const int previousThreads = UseWalkThreads(threads);
      const bool previousAhead = UseFoldersPreparedAhead(mode != 0);
      scanState = ScanState{};
      CopyText(scanState.scanTarget, folder);
      scanState.infectedAction = kActionReportOnly;
      BetweenEntriesFunction previous = UseBetweenEntries(LookForStopSignals);
      double start = Seconds();
      RunScan();
      double silent = Seconds() - start;
      UseBetweenEntries(previous);
      UseFoldersPreparedAhead(previousAhead);
      UseWalkThreads(previousThreads);
      const long scanned = scanState.filesScanned;
      start = Seconds();
      CountFilesAtSoundFloor(folder);
      double soundFloor = Seconds() - start;
      // What a scan costs besides its walk (the memory phase, privileges):
      // the same scan of one empty folder.
      char empty[MAX_PATH];
      snprintf(empty, sizeof empty, "%s\\empty-bench-folder", root);
      CreateDirectoryA(empty, nullptr);
      scanState = ScanState{};
      CopyText(scanState.scanTarget, empty);
      scanState.infectedAction = kActionReportOnly;
      previous = UseBetweenEntries(LookForStopSignals);
      start = Seconds();
      RunScan();
      double fixed = Seconds() - start;
      UseBetweenEntries(previous);
      printf("tree-%ld silent %s %.3f s (of which outside the walk %.3f s) sound-floor %.3f s ratio %.2f "
             "scanned %ld peak-working-set %lu KB\n",
             size, mode == 0 ? "unprepared" : mode == 1 ? "one-thread" : "per-core  ", silent, fixed, soundFloor, silent / soundFloor,
             scanned, PeakWorkingSetKb());
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  std::vector<long> sizes = Sizes(argc, argv);
  if (argc < 4 || sizes.empty()) {
    printf("usage: scan_bench make|run|threads ROOT N...  (N at least 1000)\n");
    return 2;
  }
  const char* root = argv[2];
  // SCOURIX_WALK_THREADS=N: the silent walk's threads, as for the program.
  if (const char* threads = getenv("SCOURIX_WALK_THREADS")) UseWalkThreads(atoi(threads));
  if (strcmp(argv[1], "make") == 0) return Make(root, sizes);
  if (strcmp(argv[1], "run") == 0) return Run(root, sizes);
  if (strcmp(argv[1], "threads") == 0) return CompareThreads(root, sizes);
  printf("unknown mode '%s'\n", argv[1]);
  return 2;
}
