#include "engine/RegistryCleaning.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "base/PathText.h"
#include "cleaning/files/Files.h"
#include "cleaning/MachineActions.h"
#include "cleaning/OsVersion.h"
#include "cleaning/RegistryValues.h"
#include "cleaning/RegistryViews.h"
#include "cleaning/RunValueJudge.h"
#include "engine/TextSignatureCheck.h"
#include "engine/VariantCheck.h"
#include "state/ReportChannel.h"
#include "state/ScanState.h"

char wormValueName[kWormValueNameLength];

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServicesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kWormUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v";
const char kFixedUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v";
const char kFixedRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kFamilyName[] = "W32/Morvo.Worm";

constexpr DWORD kValueNameLength = 16383;
constexpr size_t kValueTextLength = 264;
constexpr size_t kExpandedLength = 261;
constexpr size_t kUninstallTextLength = 100;

void ReportRegistryRemoval(const char* entry) {
  if (LogLinesAreRead()) ReportLogLine("System Registry     %s removed", entry);
}

void LowerCase(char* text) {
  for (; *text; ++text)
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
}

// The file whose start-up value gave wormValueName its content: a later
// detection judges the remembered value against it as well as against its
// own file.
char wormValueFile[kCurrentFilePathLength];

// A name that does not fit is not remembered: a cut name could later delete
// some other program's value.
void RememberWormValue(const char* name, const char* file) {
  if (strlen(name) < sizeof wormValueName && CopyText(wormValueName, name))
    CopyTruncated(wormValueFile, file);
}

void CheckHostsFile() {
  char hosts[MAX_PATH];
  UINT length;
  const char* suffix;
  switch (GetOsFamily()) {
    case OS_WINNT:
      length = GetSystemDirectoryA(hosts, sizeof hosts);
      suffix = "\\drivers\\etc\\hosts";
      break;
    case OS_WIN9X:
      length = GetWindowsDirectoryA(hosts, sizeof hosts);
      suffix = "\\hosts";
      break;
    default:
      return;
  }
  if (length == 0 || length >= sizeof hosts || !AppendText(hosts, suffix)) return;
  CheckTextSignatures("W32/Morvo.Worm ", hosts);
}

// The folders from which a bare command starts a file: the system folder
// and the Windows folder's "system". Empty where a folder cannot be read.
struct SystemFolders {
  char system[MAX_PATH] = {};
  char windowsSystem[MAX_PATH] = {};

  SystemFolders() {
    UINT length = GetSystemDirectoryA(system, sizeof system);
    if (length == 0 || length >= sizeof system) system[0] = '\0';
    length = GetWindowsDirectoryA(windowsSystem, sizeof windowsSystem);
    if (length == 0 || length >= sizeof windowsSystem || !AppendText(windowsSystem, "\\system"))
      windowsSystem[0] = '\0';
  }
};

// Whether Windows would find a program for a candidate of a command: the
// file, or a name without an extension with ".exe", in the native view of
// the file system (a 64-bit Explorer starts the values of both views).
bool ProgramExists(const char* candidate, size_t length) {
  char path[MAX_PATH];
  if (length + 4 >= sizeof path) return false;
  memcpy(path, candidate, length);
  path[length] = '\0';
  if (!ProgramHasExtension(path, length)) AppendText(path, ".exe");
  return IsExistingFile(path);
}

// Judges a value's text (lower-cased in place) against `file`, in lower
// case: the text as written and its expansion. An expansion that did not
// fit is never compared, cut or whole; the text as written is still judged
// (a command with long arguments, say).
RunValueVerdict JudgeValueText(char* text, const char* file, const SystemFolders& folders) {
  if (!strrchr(file, '\\')) return RunValueVerdict::NotTheWorms;
  LowerCase(text);
  char expanded[kExpandedLength];
  DWORD expandedLength = ExpandEnvironmentStringsA(text, expanded, sizeof expanded);
  if (expandedLength == 0) return RunValueVerdict::NotTheWorms;
  if (expandedLength > sizeof expanded) expanded[0] = '\0';
  LowerCase(expanded);
  const char* const systemFolders[] = {folders.system, folders.windowsSystem};
  return JudgeRunValue(text, expanded, file, systemFolders, 2, ProgramExists);
}

void LowerCaseCopy(char (&copy)[kCurrentFilePathLength], const char* file) {
  CopyTruncated(copy, file);
  LowerCase(copy);
}

// The remembered name only nominates: its value goes only when its command
// starts the file under check or the file it was remembered for.
bool RememberedValueStartsWorm(HKEY root, const char* keyPath, REGSAM view,
                               const SystemFolders& folders) {
  char text[kValueTextLength];
  if (!ReadRegValue(root, keyPath, wormValueName, text, sizeof text, view)) return false;
  for (const char* file : {static_cast<const char*>(currentFilePath), static_cast<const char*>(wormValueFile)}) {
    if (file[0] == '\0') continue;
    char lower[kCurrentFilePathLength];
    LowerCaseCopy(lower, file);
    char judged[kValueTextLength];
    CopyText(judged, text);
    if (JudgeValueText(judged, lower, folders) != RunValueVerdict::NotTheWorms) return true;
  }
  return false;
}

}  // namespace

// One view's pass of RemoveRunEntriesForFile.
static void RemoveRunEntriesInView(HKEY root, const char* keyPath, REGSAM view) {
  RegistryKey key = OpenRegistryKey(root, keyPath, KEY_READ | view);
  if (!key.IsValid()) return;
  DWORD valueCount = 0;
  if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    valueCount = 0;

  char file[kCurrentFilePathLength];
  LowerCaseCopy(file, currentFilePath);
  const char* lastSlash = strrchr(file, '\\');
  const SystemFolders folders;
  static char name[kValueNameLength + 1];
  DWORD deleted = 0;
  for (DWORD i = 0; i < valueCount; ++i) {
    DWORD nameLength = sizeof name;
    if (RegEnumValueA(key.Get(), i - deleted, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      continue;
    if (!lastSlash) break;
    char text[kValueTextLength];
    if (!ReadRegValue(root, keyPath, name, text, sizeof text, view)) continue;

    switch (JudgeValueText(text, file, folders)) {
      case RunValueVerdict::BareCommand:
        if (DeleteRegValue(root, keyPath, name, view)) {
          RememberWormValue(name, currentFilePath);
          ReportRegistryRemoval(kFamilyName);
          ++deleted;
        }
        break;
      case RunValueVerdict::CommandWithPath:
        RememberWormValue(name, currentFilePath);  // kept even if the deletion fails: the next detection retries
        if (DeleteRegValue(root, keyPath, name, view)) {
          ReportRegistryRemoval(kFamilyName);
          ++deleted;
        }
        break;
      case RunValueVerdict::NotTheWorms:
        break;
    }
  }
}

void RemoveRunEntriesForFile(HKEY root, const char* keyPath) {
  REGSAM views[kMaxRegistryViews];
  const int viewCount = MachineRegistryViews(views);
  for (int view = 0; view < viewCount; ++view) RemoveRunEntriesInView(root, keyPath, views[view]);
}

int CleanRegistryAndHosts(const char* detectionName) {
  CheckHostsFile();
  REGSAM views[kMaxRegistryViews];
  const int viewCount = MachineRegistryViews(views);
  if (wormValueName[0] != '\0') {
    const SystemFolders folders;
    for (const char* keyPath : {kRunKey, kRunServicesKey, kWormUninstallKey}) {
      for (int view = 0; view < viewCount; ++view) {
        if (RememberedValueStartsWorm(HKEY_LOCAL_MACHINE, keyPath, views[view], folders) &&
            DeleteRegValue(HKEY_LOCAL_MACHINE, keyPath, wormValueName, views[view]))
          ReportRegistryRemoval(detectionName);
      }
    }
  }
  if (currentFilePath[0] != '\0') {
    RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKey);
    RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunServicesKey);
  }
  return 1;
}

namespace {
// Deletes `valueName` of the key when its text contains `marker`
// (case-sensitive). False when the value cannot be read or deleted.
bool CleanFixedValue(const char* keyPath, const char* valueName, const char* marker, REGSAM view) {
  RegistryKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyPath, KEY_READ | view);
  if (!key.IsValid()) return false;
  char text[kUninstallTextLength];
  const bool read = ReadKeyValue(key.Get(), valueName, text, sizeof text) == ValueRead::Read;
  if (!CloseRegistryKey(key) || !read) return false;
  return !strstr(text, marker) ||
         Machine().deleteRegistryValue(HKEY_LOCAL_MACHINE, keyPath, valueName, view) == ERROR_SUCCESS;
}
}  // namespace

int RemoveUninstallEntries() {
  // Each view on its own: without the worm's uninstall key in a view, its Run
  // value in that view is not looked at. The result is 1 when some view was
  // handled to the end: a worm writes into one view only.
  REGSAM views[kMaxRegistryViews];
  const int viewCount = MachineRegistryViews(views);
  int handled = 0;
  for (int view = 0; view < viewCount; ++view) {
    if (CleanFixedValue(kFixedUninstallKey, "UninstallString", "uninstall.exe", views[view]) &&
        CleanFixedValue(kFixedRunKey, "SMrhcjg7j0e38v", "rhcjg7j0e38v.exe", views[view]))
      handled = 1;
  }
  return handled;
}
