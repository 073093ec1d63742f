#include "engine/InfectedFile.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/PathText.h"
#include "cleaning/OsVersion.h"
#include "cleaning/ProcessImage.h"
#include "cleaning/ProcessKill.h"
#include "cleaning/RestartDeletion.h"
#include "cleaning/WidePath.h"
#include "cleaning/files/Files.h"
#include "engine/FileReader.h"
#include "engine/RegistryCleaning.h"
#include "engine/VariantCheck.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

namespace {

constexpr DWORD kProcessReleaseWaitMs = 1000;

BeforeRemovalHook beforeRemoval = nullptr;
HolderKiller holderKiller = KillProcessByPath;

void ReportRemoved(const char* name, const char* path) {
  ReportLogLine("%s     %s removed", path, name);
}

void ReportUnableToRemove(const char* name, const char* path) {
  ReportLogLine("%s     %s Unable to remove", path, name);
}

// Neither removed nor scheduled: the file stays, and is counted so.
void LeaveFile(const char* name, const char* path) {
  ReportUnableToRemove(name, path);
  ++scanState.filesLeft;
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

// Closes the handles of one pass over the names before the next is opened:
// the judged handle shares no deletion, so no other name of the same file
// opens for DELETE while it is open.
template <typename Text>
bool DeleteProvenName(const Text* path, const FileIdentity& identity, DWORD& error) {
  FileHandle file = OpenProvenFile(path, identity, DELETE | SYNCHRONIZE, error);
  return file.IsValid() && MarkForDeletionThrough(file.Get(), error);
}

// What a step of the NT line opens by: the walk's UTF-16 path, else the
// 8-bit one widened.
std::wstring NtPath(const char* path, const wchar_t* widePath) {
  return widePath ? std::wstring(widePath) : WideFromFileText(path);
}

// The system's own case rules, never a best-fit conversion.
bool SameName(const char* a, const char* b) { return SamePathText(a, b); }

// A file with more than one name is gone only when every name is: each name
// the system lists is re-opened, proven to be the judged file, and deleted.
// Where the names cannot be listed, nothing is touched and the file counts
// as left; so does a file that kept a name.
void RemoveEveryName(const char* name, const char* path, FileReader* judged, const FileIdentity& identity,
                     const wchar_t* widePath) {
  std::vector<std::string> names;
  // The names come back as 8-bit text: a file whose own name has no exact
  // 8-bit form cannot have them listed and proven here.
  if ((widePath && !ShowsExactly(path, widePath)) || !ListFileNames(path, names)) {
    if (judged) judged->Close();
    LeaveFile(name, path);
    return;
  }
  // The walked name first: should it stay, no other name is touched.
  DWORD error = NO_ERROR;
  bool everyName =
      judged ? judged->MarkForDeletion(error) : DeleteProvenName(NtPath(path, widePath).c_str(), identity, error);
  if (judged) judged->Close();
  for (size_t i = 0; everyName && i < names.size(); ++i) {
    if (SameName(names[i].c_str(), path)) continue;
    // A name that is not there any more (the walked one under another
    // spelling, say) is gone, which is what counts.
    if (!DeleteProvenName(names[i].c_str(), identity, error) && error != ERROR_FILE_NOT_FOUND &&
        error != ERROR_PATH_NOT_FOUND)
      everyName = false;
  }
  if (everyName) {
    CountRemoved(name, path);
    return;
  }
  LeaveFile(name, path);
}

// A removal's last steps once the file's attributes are reset: each of its
// names where it has several; else `deleteName` (the judged handle's, or by
// the proven path), again once its holder is ended; else the restart.
template <typename DeleteName>
void FinishRemoval(const char* name, const char* path, FileReader* file, const FileIdentity& identity,
                   const wchar_t* widePath, DeleteName deleteName) {
  if (identity.links > 1) {
    RemoveEveryName(name, path, file, identity, widePath);
    return;
  }
  DWORD error = NO_ERROR;
  bool deleted = deleteName(error);
  if (!deleted && HolderMayExplain(error) && holderKiller(path) == 1) deleted = deleteName(error);
  if (deleted) {
    if (file) file->Close();  // the deletion takes place here
    CountRemoved(name, path);
    return;
  }
  ReportUnableToRemove(name, path);
  ScheduleRemovalAtRestart(name, path, file ? file->Get() : INVALID_HANDLE_VALUE, identity, widePath);
}

// The judged file, through its own handle. The handle stays open until the
// file is gone or scheduled, so its path keeps naming it meanwhile: a folder
// that holds an open file cannot be renamed.
void RemoveThroughHandle(const char* name, const char* path, FileReader& file, const FileIdentity& identity,
                         const wchar_t* widePath) {
  DWORD error = NO_ERROR;
  if (!file.ResetAttributes(error)) {
    ReportAttributesRefused();
    return;
  }
  FinishRemoval(name, path, &file, identity, widePath, [&](DWORD& why) { return file.MarkForDeletion(why); });
}

// The NT line without the rights to remove through the judged handle (a
// holder that shares no deletion, an access list that denies it): every
// step re-opens the path without following a link at its end and acts only
// on the file of the judged identity, the retry after a termination too.
void RemoveByProvenPath(const char* name, const char* path, FileIdentity identity, const wchar_t* widePath) {
  if (!identity.known) {
    ReportAttributesRefused();
    return;
  }
  const std::wstring ntPath = NtPath(path, widePath);
  if (ntPath.empty() || PathHasReparsePoint(ntPath.c_str())) {
    LeaveFile(name, path);
    return;
  }
  DWORD error = NO_ERROR;
  {
    // Read-only, hidden and system would each make the deletion fail.
    FileHandle attributes = OpenProvenFile(ntPath.c_str(), identity, FILE_WRITE_ATTRIBUTES, error);
    if (!attributes.IsValid() && error == ERROR_NOT_SAME_DEVICE) {
      LeaveFile(name, path);
      return;
    }
    if (!attributes.IsValid() || !ResetAttributesThrough(attributes.Get(), error)) {
      ReportAttributesRefused();
      return;
    }
    IdentifyHandle(attributes.Get(), identity);  // its names as they are now
  }
  FinishRemoval(name, path, nullptr, identity, widePath,
                [&](DWORD& why) { return DeleteProvenName(ntPath.c_str(), identity, why); });
}

// The 9x line: no links, no access lists, no second user; the path is the file.
void RemoveByPath9x(const char* name, const char* path) {
  if (!SetAttributesByName(path, FILE_ATTRIBUTE_ARCHIVE)) {
    ReportAttributesRefused();
    return;
  }
  FinishRemoval(name, path, nullptr, FileIdentity(), nullptr, [&](DWORD& why) {
    if (DeleteByName(path)) return true;
    why = GetLastError();
    return false;
  });
}

// Without a judged file (a caller that vouches for the path itself), the
// identity is what the path names now.
FileIdentity IdentityOfPath(const char* path, const wchar_t* widePath) {
  FileIdentity identity;
  const std::wstring ntPath = NtPath(path, widePath);
  FileHandle file(OpenPath(ntPath.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
  if (file.IsValid()) IdentifyHandle(file.Get(), identity);
  return identity;
}

void RemoveInfectedFile(const char* name, const char* path, FileReader* judged, const wchar_t* widePath) {
  if (beforeRemoval) beforeRemoval(path);
  if (GetOsFamily() != OS_WINNT) {
    if (judged) judged->Close();
    RemoveByPath9x(name, path);
    return;
  }
  FileIdentity identity;
  if (judged && judged->Removable() && judged->Identify(identity)) {
    RemoveThroughHandle(name, path, *judged, identity, widePath);
    return;
  }
  if (judged) {
    judged->Identify(identity);
    judged->Close();  // its read-only handle would block the deletion
  } else {
    identity = IdentityOfPath(path, widePath);
  }
  RemoveByProvenPath(name, path, identity, widePath);
}

}  // namespace

void ScheduleRemovalAtRestart(const char* name, const char* path, HANDLE file, const FileIdentity& identity,
                              const wchar_t* widePath) {
  const char* reason = nullptr;
  if (ScheduleDeleteAtRestart(path, file, identity, &reason, widePath)) {
    scanState.restartNeeded = 1;
    ++scanState.filesScheduled;
    return;
  }
  ++scanState.filesLeft;
  if (reason) ReportLogLine("%s     %s %s", path, name, reason);
}

HolderKiller UseHolderKiller(HolderKiller killer) {
  return std::exchange(holderKiller, killer ? killer : KillProcessByPath);
}

BeforeRemovalHook UseBeforeRemovalHook(BeforeRemovalHook hook) {
  return std::exchange(beforeRemoval, hook);
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
  const bool moved = changed && RenameByName(path, renamed);
  if (moved) {
    ++scanState.filesRenamed;
    ReportLogLine("%s     %s renamed", path, name);
  } else {
    ReportLogLine("%s     %s Rename failed", path, name);
    ++scanState.filesLeft;
  }
}

void HandleInfectedFile(const char* detectionName, const char* path, FileReader* judged, const wchar_t* widePath) {
  switch (scanState.infectedAction) {
    case kActionRemove:
    case kActionRemoveToo:
      RemoveInfectedFile(detectionName, path, judged, widePath);
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
  // On the NT line only a file opened and judged again is acted on; the
  // 9x line, which has no links, may still go by the path.
  const bool judged = file.IsOpen() && MatchVariantRecord(file);
  if (!judged && (file.IsOpen() || GetOsFamily() == OS_WINNT)) {
    file.Close();
    // Reported like any removal that did not happen; nothing is touched.
    if (scanState.infectedAction == kActionRemove || scanState.infectedAction == kActionRemoveToo) {
      LeaveFile(familyName, path);
    } else if (scanState.infectedAction == kActionRename) {
      ReportLogLine("%s     %s Rename failed", path, familyName);
      ++scanState.filesLeft;
    }
    return;
  }
  HandleInfectedFile(familyName, path, judged ? &file : nullptr);
}
