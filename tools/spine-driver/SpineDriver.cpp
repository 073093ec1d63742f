// Runs one scan with the engine alone, without the scan window: a hidden
// window receives the report channel and the log lines go to standard output.
//
//   spine-driver [--status] TARGET
//     TARGET   a folder to scan, or "!:" for every fixed drive
//     --status print every status text too, prefixed with "status: "
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/WindowPrompt.h"
#include "base/PathText.h"
#include "engine/ScanRun.h"
#include "state/ScanState.h"
#include "tools/report-sink/ReportSink.h"

int main(int argc, char** argv) {
  bool printStatus = false;
  const char* target = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--status") == 0)
      printStatus = true;
    else
      target = argv[i];
  }
  if (!target) {
    fprintf(stderr, "usage: spine-driver [--status] FOLDER|!:\n");
    return 2;
  }
  if (!CopyText(scanState.scanTarget, target)) {
    fprintf(stderr, "spine-driver: target longer than 259 characters\n");
    return 2;
  }

  ReportSink sink([](const char* line) { printf("%s\n", line); },
                  [printStatus](const char* status) {
                    if (printStatus) printf("status: %s\n", status);
                  });
  if (!sink.Window()) {
    fprintf(stderr, "spine-driver: cannot create the report window (%lu)\n", GetLastError());
    return 1;
  }
  scanState.reportWindow = sink.Window();
  // Its questions in the program's own boxes, as the window asks them.
  UsePromptHandler(WindowPrompt);
  scanState.infectedAction = kActionRemove;
  scanState.stopRequested = 0;
  RunScan();
  printf("final status: %s\n", scanState.statusText);
  fflush(stdout);
  return 0;
}
