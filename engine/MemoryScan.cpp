#include "engine/MemoryScan.h"

#include <windows.h>

#include <cstdlib>
#include <utility>

#include "cleaning/files/Files.h"
#include "cleaning/OsVersion.h"
#include "cleaning/ProcessList.h"
#include "cleaning/ProcessNames.h"
#include "cleaning/Restart.h"
#include "cleaning/RestartDeletion.h"
#include "cleaning/Services.h"
#include "engine/DirectoryWalk.h"
#include "engine/FileReader.h"
#include "engine/InfectedFile.h"
#include "engine/VariantCheck.h"
#include "state/ProgramTitle.h"
#include "state/Prompt.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

int memoryRestartPrompt = 0;

namespace {

constexpr unsigned int kStyleOkCancelInformation = MB_OKCANCEL | MB_ICONINFORMATION;  // 0x41
// The name the memory removal reports its files with, trailing blank included.
const char kFamilyName[] = "W32/Morvo.Worm ";

ProgramExitFunction programExit = exit;

// A 64-bit program's file in the real System32 is found under WoW64 too.
bool Exists(const char* path) { return PathAttributes(path) != INVALID_FILE_ATTRIBUTES; }

bool ActsOnInfectedFiles() { return scanState.infectedAction != kActionReportOnly; }

// Walks the file once more with the removal pending, so that the
// infected-file handling removes it; the result becomes the entry's outcome.
int RemoveThroughWalk(const char* path) {
  scanState.pendingMemoryAction = scanState.infectedAction;
  int outcome = WalkFolder(path);
  scanState.pendingMemoryAction = 0;
  return outcome;
}

// A worm that outlived both terminations and its service: its file waits
// for the restart that the prompt is about to ask for, reported as the
// infected-file handling reports a file it could not remove. It is opened
// and judged once more, and goes to the restart through that handle (moved
// first, where it can be, into the administrators' folder); a file that no
// longer opens as a worm is left.
void ScheduleSurvivor(const char* path) {
  ReportLogLine("%s     %s Unable to remove", path, kFamilyName);
  FileReader file(path);
  FileIdentity identity;
  if (!file.IsOpen() || !MatchVariantRecord(file) || !file.Identify(identity)) {
    ++scanState.filesLeft;
    return;
  }
  if (file.Removable()) {
    ScheduleRemovalAtRestart(kFamilyName, path, file.Get(), identity);
    return;
  }
  file.Close();  // its sharing would refuse the handle that may still move it
  ScheduleRemovalAtRestart(kFamilyName, path, INVALID_HANDLE_VALUE, identity);
}

// The fallback of NT 4 to Server 2003, where TerminateProcess may not end a
// service: the service named like the file, but only when the program it is
// configured to run is the file itself.
ServiceStop StopServiceOfFile(const ImageIdentity& image, const char* path) {
  char service[kServiceNameLength];
  ServiceNameOfPath(path, service);
  if (service[0] == '\0') return ServiceStop::NotTheImages;
  ServiceStop stop = StopServiceOfImage(service, image);
  if (stop != ServiceStop::NotTheImages) DeleteServiceKeys(service, image);
  return stop;
}

}  // namespace

ProgramExitFunction UseProgramExit(ProgramExitFunction function) {
  return std::exchange(programExit, function ? function : exit);
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
    TerminateProcessOfImage(entry->processId, ImageIdentity(entry->path));
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

    // Seconds may have passed since the listing: the process is opened once,
    // checked to run the file, and both attempts go through that handle.
    const ImageIdentity image(entry->path);
    KernelHandle process = OpenProcessOfImage(entry->processId, image);
    // A process whose image is not the file (a program renamed while it
    // runs, whose recorded path now names a sample put there) is neither
    // ended nor has its service touched: the drive walk meets the file.
    if (!process.IsValid()) continue;
    bool firstEnded = TerminateOpenProcess(process.Get());
    if (firstEnded) outcome = 1;
    bool secondEnded = TerminateOpenProcess(process.Get());
    if (firstEnded || secondEnded) WaitForProcessEnd(process.Get());
    // A handle to an ended process may keep its image file from deletion.
    process.Close();
    if (secondEnded) {
      RemoveThroughWalk(entry->path);
      continue;
    }
    int generation = GetNtGeneration();
    if (generation == NTGEN_4 || generation == NTGEN_5) {
      if (StopServiceOfFile(image, entry->path) == ServiceStop::Stopped) {
        RemoveThroughWalk(entry->path);
        continue;
      }
      memoryRestartPrompt = 1;
      if (!firstEnded) {
        leftRunning = 1;
        ScheduleSurvivor(entry->path);
      }
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
                  kProgramTitle, kStyleOkCancelInformation) == IDOK)
        RestartComputer();
      programExit(0);
      return;  // only when a test stands in for the exit
    }
  }
  scanState.memoryPhase = 0;
}
