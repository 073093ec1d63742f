#pragma once
// The state that the scan engine and the cleaning code share for the whole
// process. One instance, static lifetime; nothing resets it between runs
// because the window allows one scan per start of the program.
#include <windows.h>
#include <cstdint>

constexpr int kPathBufferLength = MAX_PATH;  // 260, terminator included
constexpr int kLogLineLength = 500;

// Action codes of infectedAction.
enum InfectedAction : int32_t {
  kActionRemove = 100,
  kActionRename = 101,
  kActionRemoveToo = 102,
  kActionReportOnly = 103,
};

struct ScanState {
  // Text buffers, 8-bit ANSI, NUL-terminated.
  char logLine[kLogLineLength];              // next log line; sent at once
  char statusText[kPathBufferLength];        // status line; also the last detection's path
  char detectionName[kPathBufferLength];     // name of the last detection
  char scanTarget[kPathBufferLength];        // "!:" all fixed drives, a folder, or empty
  char programFilesPattern[kPathBufferLength];

  HWND reportWindow;            // receives WM_SETREDRAW (log line) and WM_ENABLE (status)
  int32_t infectedAction;
  int32_t pendingMemoryAction;  // action for the file of a just-terminated process
  uint8_t stopRequested;
  int32_t scanRunning;
  uint8_t scanFinished;         // statistics begun: the log list is no longer emptied
  int32_t restartNeeded;
  uint8_t memoryPhase = 1;
  uint8_t foundInMemory;
  int32_t filesScanned;
  int32_t filesInfected;
  int32_t filesRenamed;
  int32_t filesRemoved;
  int32_t programFilesPending;
  int32_t programFilesVisited;
  int32_t registryValuesLeft;  // the worm's values that could not be deleted

  // The administrator's run (the window never sets these): the memory phase
  // left out, and the outcomes that decide its exit code beside the counters
  // above. (A report-only run is told by infectedAction.)
  uint8_t skipMemoryPhase;
  int32_t filesScheduled;  // left for deletion at the next restart
  int32_t filesLeft;       // could neither be removed nor scheduled
  int32_t filesNotExamined;  // could not be opened or read in time: the scan is incomplete
};

extern ScanState scanState;
