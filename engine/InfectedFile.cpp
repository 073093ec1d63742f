#include "engine/InfectedFile.h"

#include <windows.h>

#include <cstring>

#include "cleaning/ProcessKill.h"
#include "cleaning/RegistryCleaning.h"
#include "cleaning/RestartDeletion.h"
#include "engine/PathText.h"
#include "engine/ReportChannel.h"
#include "engine/ScanState.h"

namespace {

constexpr DWORD kProcessReleaseWaitMs = 1000;

void ReportRemoved(const char* name, const char* path) {
  ReportLogLine("%s     %s removed", path, name);
}

void RemoveInfectedFile(const char* name, const char* path) {
  // Read-only, hidden and system would each make the deletion fail.
  if (!SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE)) {
    ReportLogLine("%s     %s Unable to remove", scanState.statusText, scanState.detectionName);
    return;
  }
  if (DeleteFileA(path)) {
    ++scanState.filesRemoved;
    RemoveUninstallEntries();
    ReportRemoved(name, path);
    return;
  }
  if (KillProcessByPath(path) == 1 && DeleteFileA(path)) {
    RemoveUninstallEntries();
    ++scanState.filesRemoved;
    ReportRemoved(name, path);
    return;
  }
  ReportLogLine("%s     %s Unable to remove", path, name);
  if (ScheduleDeleteAtRestart(path)) scanState.restartNeeded = 1;
}

}  // namespace

void RenameInfectedFile(const char* name, const char* path) {
  // A path without "." would be "renamed" onto itself, which renames
  // nothing: that counts as a failed rename.
  char renamed[MAX_PATH];
  char* dot = CopyText(renamed, path) ? strrchr(renamed, '.') : nullptr;
  bool changed = dot != nullptr;
  if (dot) {
    // A name ending in "." has no character to replace: "V" is added.
    if (dot[1] == '\0')
      changed = AppendText(renamed, "V");
    else
      dot[1] = 'V';
  }
  if (changed && MoveFileA(path, renamed)) {
    ++scanState.filesRenamed;
    ReportLogLine("%s     %s renamed", path, name);
  } else {
    ReportLogLine("%s     %s Rename failed", path, name);
  }
}

void HandleInfectedFile(const char* detectionName, const char* path) {
  switch (scanState.infectedAction) {
    case kActionRemove:
    case kActionRemoveToo:
      RemoveInfectedFile(detectionName, path);
      break;
    case kActionRename:
      RenameInfectedFile(detectionName, path);
      break;
    case kActionReportOnly:
      ReportLogLine("%s     %s not disinfected as per user's selection", scanState.statusText,
                    scanState.detectionName);
      break;
    default:
      break;
  }
}

void HandleMemoryRemoval(const char* familyName, const char* path) {
  scanState.infectedAction = scanState.pendingMemoryAction;
  ReportLogLine("System Memory    W32/Morvo.Worm  removed");
  Sleep(kProcessReleaseWaitMs);  // no pumping: the process must let go of its file first
  HandleInfectedFile(familyName, path);
}
