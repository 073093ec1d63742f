#include "cleaning/MemoryScan.h"

#include <io.h>
#include <windows.h>

#include <cstdlib>

#include "cleaning/OsVersion.h"
#include "cleaning/ProcessList.h"
#include "cleaning/ProcessNames.h"
#include "cleaning/Restart.h"
#include "cleaning/Services.h"
#include "engine/DirectoryWalk.h"
#include "engine/Prompt.h"
#include "engine/ScanState.h"

int memoryRestartPrompt = 0;

namespace {

constexpr DWORD kTerminateAccess = PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION;  // 0x401
constexpr unsigned int kStyleOkCancelInformation = MB_OKCANCEL | MB_ICONINFORMATION;  // 0x41
constexpr int kReadable = 4;

ProgramExitFunction programExit = exit;

bool Exists(const char* path) { return _access(path, kReadable) == 0; }

bool ActsOnInfectedFiles() { return scanState.infectedAction != kActionReportOnly; }

// Walks the file once more with the removal pending, so that the
// infected-file handling removes it; the result becomes the entry's outcome.
int RemoveThroughWalk(const char* path) {
  scanState.pendingMemoryAction = scanState.infectedAction;
  int outcome = WalkFolder(path);
  scanState.pendingMemoryAction = 0;
  return outcome;
}

}  // namespace

ProgramExitFunction UseProgramExit(ProgramExitFunction function) {
  ProgramExitFunction previous = programExit;
  programExit = function ? function : exit;
  return previous;
}

int ExamineProcesses9x() {
  ProcessList list = ListProcesses9x();
  int outcome = 0;
  for (const ProcessEntry* entry = list.First(); entry; entry = entry->next) {
    outcome = 0;
    if (!Exists(entry->path)) continue;
    outcome = WalkFolder(entry->path);
    if (!scanState.foundInMemory || !ActsOnInfectedFiles()) continue;
    // Whether or not the termination worked, the removal tries: a file still
    // locked goes the infected-file handling's harder way.
    TerminateProcessById(entry->processId, kTerminateAccess);
    outcome = RemoveThroughWalk(entry->path);
  }
  return outcome;
}

// The report says whether a worm process is still running after everything
// the examination could do. Only then does "restart the computer and run this
// program again" hold, so only then does the scan end with the prompt; a
// process that was ended and removed lets the scan go on with the drives.
int ExamineProcessesNT() {
  ProcessList list = ListProcessesNT(true);
  int leftRunning = 0;
  for (const ProcessEntry* entry = list.First(); entry; entry = entry->next) {
    int outcome = 0;
    if (!Exists(entry->path)) continue;
    outcome = WalkFolder(entry->path);
    if (!scanState.foundInMemory || !ActsOnInfectedFiles()) continue;

    bool firstEnded = TerminateProcessById(entry->processId, kTerminateAccess);
    if (firstEnded) outcome = 1;
    if (TerminateProcessById(entry->processId, kTerminateAccess)) {
      RemoveThroughWalk(entry->path);
      continue;
    }
    int generation = GetNtGeneration();
    if (generation == NTGEN_4 || generation == NTGEN_5) {
      char service[kServiceNameLength];
      ServiceNameOfPath(entry->path, service);
      if (StopServiceByName(service, true)) {
        DeleteServiceKeys(service);
        RemoveThroughWalk(entry->path);
        continue;
      }
      DeleteServiceKeys(service);
      memoryRestartPrompt = 1;
      if (!firstEnded) leftRunning = 1;
    }
    // Left alone when nothing ended it: the drive walk meets its file again.
    if (outcome != 0) RemoveThroughWalk(entry->path);
  }
  return leftRunning;
}

void ScanMemory() {
  int family = GetOsFamily();
  scanState.memoryPhase = 1;
  if (family == OS_WIN9X) {
    ExamineProcesses9x();
  } else if (family == OS_WINNT) {
    if (ExamineProcessesNT() != 0) {
      if (memoryRestartPrompt == 1 &&
          AskUser(PromptKind::FoundInMemory,
                  "W32/Morvo.Worm  found in memory! registry entries created by the worm are "
                  "removed. You must restart the computer and run this program to continue "
                  "scanning.\n\nRestart the computer now?",
                  "Scourix Ver 1.0", kStyleOkCancelInformation) == IDOK)
        RestartComputer();
      programExit(0);
      return;  // only when a test stands in for the exit
    }
  }
  scanState.memoryPhase = 0;
}
