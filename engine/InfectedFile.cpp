#include "engine/InfectedFile.h"

#include <windows.h>

#include <cstring>

#include "base/PathText.h"
#include "cleaning/FileSystemRedirection.h"
#include "cleaning/ProcessKill.h"
#include "cleaning/ReparsePath.h"
#include "cleaning/RestartDeletion.h"
#include "engine/FileReader.h"
#include "engine/RegistryCleaning.h"
#include "engine/VariantCheck.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

namespace {

constexpr DWORD kProcessReleaseWaitMs = 1000;

BeforeRemovalHook beforeRemoval = nullptr;

void ReportRemoved(const char* name, const char* path) {
  ReportLogLine("%s     %s removed", path, name);
}

void ReportUnableToRemove(const char* name, const char* path) {
  ReportLogLine("%s     %s Unable to remove", path, name);
}

// The attributes could not be reset: the line names the last detection.
void ReportAttributesRefused() {
  ReportLogLine("%s     %s Unable to remove", scanState.statusText, scanState.detectionName);
  ++scanState.filesLeft;
}

void CountRemoved(const char* name, const char* path) {
  ++scanState.filesRemoved;
  RemoveUninstallEntries();
  ReportRemoved(name, path);
}

// Only a process that has the file open or mapped explains these; a missing
// file or folder, or a refusal by the access list alone, does not.
bool HolderMayExplain(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

// The judged file, through its own handle. The handle stays open until the
// file is gone or scheduled, so its path keeps naming it meanwhile: a folder
// that holds an open file cannot be renamed.
void RemoveThroughHandle(const char* name, const char* path, FileReader& file) {
  DWORD error = NO_ERROR;
  if (!file.ResetAttributes(error)) {
    ReportAttributesRefused();
    return;
  }
  bool deleted = file.MarkForDeletion(error);
  if (!deleted && HolderMayExplain(error) && KillProcessByPath(path) == 1)
    deleted = file.MarkForDeletion(error);
  if (deleted) {
    file.Close();  // the deletion takes place here
    CountRemoved(name, path);
    return;
  }
  ReportUnableToRemove(name, path);
  ScheduleRemovalAtRestart(path);
}

bool SetAttributesByPath(const char* path) {
  FileSystemRedirectionOff nativeView;
  return SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE) != FALSE;
}

bool DeleteByPath(const char* path, DWORD& error) {
  FileSystemRedirectionOff nativeView;
  if (DeleteFileA(path)) return true;
  error = GetLastError();
  return false;
}

void RemoveByPath(const char* name, const char* path) {
  if (PathHasReparsePoint(path)) {
    ReportUnableToRemove(name, path);
    ++scanState.filesLeft;
    return;
  }
  // Read-only, hidden and system would each make the deletion fail.
  if (!SetAttributesByPath(path)) {
    ReportAttributesRefused();
    return;
  }
  DWORD error = NO_ERROR;
  bool deleted = DeleteByPath(path, error);
  if (!deleted && HolderMayExplain(error) && KillProcessByPath(path) == 1)
    deleted = DeleteByPath(path, error);
  if (deleted) {
    CountRemoved(name, path);
    return;
  }
  ReportUnableToRemove(name, path);
  ScheduleRemovalAtRestart(path);
}

void RemoveInfectedFile(const char* name, const char* path, FileReader* judged) {
  if (beforeRemoval) beforeRemoval(path);
  if (judged && judged->Removable()) {
    RemoveThroughHandle(name, path, *judged);
    return;
  }
  if (judged) judged->Close();  // its read-only handle would block the deletion
  RemoveByPath(name, path);
}

}  // namespace

void ScheduleRemovalAtRestart(const char* path) {
  if (ScheduleDeleteAtRestart(path)) {
    scanState.restartNeeded = 1;
    ++scanState.filesScheduled;
  } else {
    ++scanState.filesLeft;
  }
}

BeforeRemovalHook UseBeforeRemovalHook(BeforeRemovalHook hook) {
  BeforeRemovalHook previous = beforeRemoval;
  beforeRemoval = hook;
  return previous;
}

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
  if (changed && PathHasReparsePoint(path)) changed = false;
  BOOL moved = FALSE;
  if (changed) {
    FileSystemRedirectionOff nativeView;
    moved = MoveFileA(path, renamed);
  }
  if (moved) {
    ++scanState.filesRenamed;
    ReportLogLine("%s     %s renamed", path, name);
  } else {
    ReportLogLine("%s     %s Rename failed", path, name);
    ++scanState.filesLeft;
  }
}

void HandleInfectedFile(const char* detectionName, const char* path, FileReader* judged) {
  switch (scanState.infectedAction) {
    case kActionRemove:
    case kActionRemoveToo:
      RemoveInfectedFile(detectionName, path, judged);
      break;
    case kActionRename:
      if (judged) judged->Close();
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
  FileReader file(path);
  if (file.IsOpen() && !MatchVariantRecord(file)) {
    file.Close();
    // Reported like any removal that did not happen; nothing is touched.
    if (scanState.infectedAction == kActionRemove || scanState.infectedAction == kActionRemoveToo)
      ReportUnableToRemove(familyName, path);
    else if (scanState.infectedAction == kActionRename)
      ReportLogLine("%s     %s Rename failed", path, familyName);
    return;
  }
  HandleInfectedFile(familyName, path, &file);
}
