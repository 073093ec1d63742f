#include "engine/TextSignatureCheck.h"

#include <windows.h>

#include <cstring>

#include "cleaning/RegistryCleaning.h"
#include "engine/FileReader.h"
#include "engine/InfectedFile.h"
#include "engine/PathText.h"
#include "engine/ReportChannel.h"
#include "engine/ScanState.h"
#include "engine/TextSignature.h"

int CheckTextSignatures(const char*, const char* path) {
  UnscrambleTextSignatures();
  const TextSignatureRecord* match = nullptr;
  {
    FileReader file(path);
    if (!file.IsOpen()) return 0;
    int32_t length = 0;
    if (file.Length(length)) match = FindTextSignature(file, length);
  }
  if (!match) return 0;
  ++scanState.filesInfected;
  CopyTruncated(scanState.detectionName, match->name);
  CopyTruncated(scanState.statusText, path);

  switch (scanState.infectedAction) {
    case kActionRemove:
    case kActionRemoveToo:
      // A plain deletion: a hosts file that cannot go is reported, nothing more.
      if (DeleteFileA(path)) {
        ++scanState.filesRemoved;
        RemoveUninstallEntries();
        ReportLogLine("%s     %s removed", path, match->name);
      } else {
        ReportLogLine("%s     %s Remove failed", path, match->name);
      }
      break;
    case kActionRename:
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
