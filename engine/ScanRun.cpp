#include "engine/ScanRun.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <utility>

#include "base/Handles.h"
#include "base/PathText.h"
#include "cleaning/files/Files.h"
#include "cleaning/OsVersion.h"
#include "cleaning/Privileges.h"
#include "cleaning/Restart.h"
#include "engine/DirectoryWalk.h"
#include "engine/CheckerList.h"
#include "engine/MemoryScan.h"
#include "engine/StatusPath.h"
#include "engine/VariantCheck.h"
#include "state/ProgramTitle.h"
#include "state/Prompt.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

namespace {

BetweenEntriesFunction betweenEntries = PumpOneMessage;

constexpr UINT kStyleYesNoQuestion = MB_YESNO | MB_ICONQUESTION;  // 36
constexpr int kStatusWidth = 60;  // as the walk shows its paths

// Walks the drive's Program Files folder when its root walk found one but no
// walk of the run has entered a "\Program Files\" folder yet.
void FollowUpProgramFiles() {
  if (scanState.programFilesPending == 1 && scanState.programFilesVisited == 0) {
    WalkFolder(scanState.programFilesPattern);
    scanState.programFilesPending = 0;
  }
}

void WalkFixedDrives() {
  for (int drive = 2; drive <= 25; ++drive) {  // C: to Z:; A: and B: never
    char root[] = {static_cast<char>('A' + drive), ':', '\\', '\0'};
    if (GetDriveTypeA(root) != DRIVE_FIXED) continue;
    char pattern[] = {root[0], ':', '\\', '*', '.', '*', '\0'};
    WalkFolder(pattern);
    FollowUpProgramFiles();
  }
}

// /path may name one file: it is examined as the walk examines each file it
// lists (shown, counted, checked with its entry's length); a folder is walked.
bool ExamineOneFile() {
  WIN32_FIND_DATAA found;
  {
    FindHandle search(FindFirstEntry(scanState.scanTarget, found));
    if (!search.IsValid()) return false;
  }
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  if (scanState.reportWindow) {
    ShortenPathForStatus(scanState.scanTarget, scanState.statusText, kStatusWidth);
    ReportStatusText();
  }
  ++scanState.filesScanned;
  // A link's entry describes the link, not what the check will open.
  const uint64_t length = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  CheckWithCheckerList(scanState.scanTarget,
                       (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || length > INT64_MAX
                           ? kLengthUnknown
                           : static_cast<int64_t>(length));
  return true;
}

void WalkOneFolder() {
  if (ExamineOneFile()) return;
  char pattern[MAX_PATH];
  // A folder whose pattern would not fit 260 bytes cannot be searched: skip it.
  if (!CopyText(pattern, scanState.scanTarget) || !AppendText(pattern, "\\*.*")) return;
  WalkFolder(pattern);
  FollowUpProgramFiles();
}

void ReportStatistics() {
  scanState.scanFinished = 1;
  if (scanState.filesInfected > 0) ReportLogLine(" ");
  ReportLogLine("Scanning statistics");
  ReportLogLine("------------------------------");
  ReportLogLine("Total files scanned\t\t:  %d", static_cast<int>(scanState.filesScanned));
  ReportLogLine("Total files infected\t\t:  %d", static_cast<int>(scanState.filesInfected));
  ReportLogLine("Total files removed\t\t:  %d", static_cast<int>(scanState.filesRemoved));
}

}  // namespace

int RunScan() {
  // Backup semantics pass access lists only with these enabled: a file that
  // denies administrators would otherwise go unexamined (reading) or unremoved.
  if (GetOsFamily() == OS_WINNT) {
    EnablePrivilege("SeBackupPrivilege");
    EnablePrivilege("SeRestorePrivilege");
  }
  ForgetVolumes();
  if (scanState.scanTarget[0] != '\0') {
    if (scanState.skipMemoryPhase)
      scanState.memoryPhase = 0;  // the walk must take patterns as folders, not as one file
    else
      ScanMemory();
    if (strcmp(scanState.scanTarget, "!:") == 0)
      WalkFixedDrives();
    else
      WalkOneFolder();
  }
  ReportStatistics();
  ReportStatus(scanState.stopRequested ? "Scanning terminated" : "Scanning completed");
  if (scanState.restartNeeded) {
    int answer = AskUser(PromptKind::RestartOffer,
                         "The system has to be restarted to remove the virus completely from "
                         "your system. \n\n Restart now?",
                         kProgramTitle, kStyleYesNoQuestion);
    if (answer == IDYES) RestartComputer();
  }
  return 1;
}

void PumpOneMessage() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return;
  // Any message whose wParam carries VK_ESCAPE counts as the Escape key; it is
  // never dispatched, so the window never sees it.
  if (LOWORD(message.wParam) == VK_ESCAPE) {
    if (AskUser(PromptKind::StopScan, "Terminate the Scan now?", kProgramTitle,
                kStyleYesNoQuestion) == IDNO)
      return;
    scanState.stopRequested = 1;
    return;
  }
  if (message.message == WM_QUIT || message.message == WM_DESTROY) {
    scanState.stopRequested = 1;
    return;
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

BetweenEntriesFunction UseBetweenEntries(BetweenEntriesFunction function) {
  return std::exchange(betweenEntries, function ? function : PumpOneMessage);
}

void BetweenEntries() { betweenEntries(); }
