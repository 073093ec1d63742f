#include "engine/TextSignatureCheck.h"

#include <windows.h>

#include <cstring>

#include "base/PathText.h"
#include "cleaning/files/Files.h"
#include "engine/FileReader.h"
#include "engine/InfectedFile.h"
#include "engine/RegistryCleaning.h"
#include "engine/TextSignature.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

namespace {

// A plain deletion: no termination, no retry, no scheduling. Through the
// judged file's own handle where it has the rights; by the path otherwise,
// which on the NT line must not pass through a reparse point.
bool DeleteJudgedFile(const char* path, FileReader& file) {
  DWORD error = NO_ERROR;
  if (file.Removable()) {
    if (!file.MarkForDeletion(error)) return false;
    file.Close();
    return true;
  }
  file.Close();
  if (PathHasReparsePoint(path)) return false;
  return DeleteByName(path);
}

}  // namespace

int CheckTextSignatures(const char*, const char* path) {
  UnscrambleTextSignatures();
  const TextSignatureRecord* match = nullptr;
  FileReader file(path);
  if (!file.IsOpen()) return 0;
  int32_t length = 0;
  if (file.Length(length)) match = FindTextSignature(file, length);
  if (!match) return 0;
  ++scanState.filesInfected;
  CopyTruncated(scanState.detectionName, match->name);
  CopyTruncated(scanState.statusText, path);

  switch (scanState.infectedAction) {
    case kActionRemove:
    case kActionRemoveToo:
      // A hosts file that cannot go is reported, nothing more.
      if (DeleteJudgedFile(path, file)) {
        ++scanState.filesRemoved;
        RemoveUninstallEntries();
        ReportLogLine("%s     %s removed", path, match->name);
      } else {
        ReportLogLine("%s     %s Remove failed", path, match->name);
        ++scanState.filesLeft;
      }
      break;
    case kActionRename:
      file.Close();
      RenameInfectedFile(match->name, path);
      break;
    case kActionReportOnly:
      ReportLogLine("%s     %s Not Disinfected As Per User's Selection", scanState.statusText,
                    scanState.detectionName);
      break;
    default:
      break;
  }
  return 1;
}
