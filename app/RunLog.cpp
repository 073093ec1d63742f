#include "app/RunLog.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "app/AdministratorsOnly.h"
#include "app/ConsoleOutput.h"
#include "base/PathText.h"
#include "cleaning/OsVersion.h"
#include "cleaning/files/Files.h"
#include "state/ScanState.h"

namespace {

LogWriteFunction logWrite = WriteFile;

std::string UtcNow() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  char text[40];
  snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", now.wYear, now.wMonth, now.wDay,
           now.wHour, now.wMinute, now.wSecond);
  return text;
}

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = sizeof name;
  return GetComputerNameA(name, &length) ? name : "(unknown)";
}

std::string WindowsVersion() {
  const RunningWindows& windows = ThisWindows();
  if (windows.family == OS_UNKNOWN) return "(unknown)";
  char text[200];
  snprintf(text, sizeof text, "%s %lu.%lu build %lu%s%s", windows.family == OS_WINNT ? "Windows NT" : "Windows",
           windows.major, windows.minor, windows.build, windows.servicePack[0] ? ", " : "",
           windows.servicePack);
  return text;
}

// The folders on the log's path, from the first below the drive or share
// down to the log's own, each opened without following a link and held,
// shared for neither deletion nor renaming, until the log is open: a folder
// that a user swapped for a junction could aim the log at any file, and a
// held folder cannot be swapped meanwhile. Empty `error` when the path may
// be used; a folder that does not exist is left to the log's own open.
class HeldFolders {
 public:
  bool Hold(const std::string& path, std::string& error) {
    char full[MAX_PATH];
    char* name = nullptr;
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, &name);
    if (length == 0 || length >= MAX_PATH) return true;  // the open says what is wrong
    // \\?\ and \\.\ name devices and the object namespace, where links
    // cannot be told.
    if (full[0] == '\\' && full[1] == '\\' && (full[2] == '?' || full[2] == '.')) {
      error = "it is not a path on a drive or a share";
      return false;
    }
    for (size_t at = PathRootLength(full); full[at]; ++at) {
      if (full[at] != '\\') continue;
      full[at] = '\0';
      FileHandle folder;
      // Another program holding the folder open for deletion keeps it from
      // being held that way; it is then still checked, and held as it can be.
      for (DWORD share : {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE},
                          DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
        *folder.Receive() = OpenPath(full, FILE_READ_ATTRIBUTES, share, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
        if (folder.IsValid() || GetLastError() != ERROR_SHARING_VIOLATION) break;
      }
      const DWORD openError = folder.IsValid() ? 0 : GetLastError();
      BY_HANDLE_FILE_INFORMATION information;
      if (folder.IsValid() && !GetFileInformationByHandle(folder.Get(), &information))
        information.dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT;  // cannot tell: taken for one
      // Wine opens a link's target even when told not to follow it, so the
      // name is asked as well; with the folder held, it names what was held.
      const DWORD byName = folder.IsValid() ? PathAttributes(full) : INVALID_FILE_ATTRIBUTES;
      if (byName != INVALID_FILE_ATTRIBUTES) information.dwFileAttributes |= byName & FILE_ATTRIBUTE_REPARSE_POINT;
      if (openError == ERROR_FILE_NOT_FOUND || openError == ERROR_PATH_NOT_FOUND) return true;
      if (openError)
        error = std::string("its folder ") + full + " cannot be checked: " + SystemMessage(openError);
      else if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        error = std::string("its folder ") + full + " is a link (a reparse point), which could lead anywhere";
      full[at] = '\\';
      if (!error.empty()) return false;
      held_.push_back(std::move(folder));
    }
    return true;
  }

 private:
  std::vector<FileHandle> held_;
};

}  // namespace

std::string SystemMessage(DWORD error) {
  char text[256] = {};
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                      text, sizeof text, nullptr))
    snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
  std::string message = text;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  return message;
}

bool RunLog::Open(const std::string& path, std::string& error) {
  path_ = path;
  AdministratorsOnly security(FILE_GENERIC_READ);
  // The 9x line has no links, and its CreateFile may not take the flag.
  const DWORD noLink = GetOsFamily() == OS_WINNT ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
  HeldFolders folders;
  if (noLink && !folders.Hold(path, error)) return false;
  auto open = [&](SECURITY_ATTRIBUTES* attributes) {
    return OpenPath(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | noLink,
                    attributes);
  };
  *file_.Receive() = open(security.Attributes());
  // Only an administrator may name Administrators as the owner.
  if (!file_.IsValid() && GetLastError() == ERROR_INVALID_OWNER)
    *file_.Receive() = open(security.AttributesWithoutOwner());
  if (!file_.IsValid()) {
    error = SystemMessage(GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (noLink && GetFileInformationByHandle(file_.Get(), &information)) {
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      error = "it is a link (a reparse point), which could lead anywhere";
    } else if (information.nNumberOfLinks > 1) {
      error = "it has more than one name (hard links), which could be any file";
    }
    if (!error.empty()) {
      file_.Close();
      return false;
    }
  }
  return true;
}

void RunLog::MarkFailed(const std::string& reason) {
  if (failed_) return;
  failed_ = true;
  file_.Close();
  WriteToConsole(("scourix: the log file " + EscapeControlCharacters(path_.c_str()) +
                  " cannot be used: " + reason + "; the run goes on without it\r\n")
                     .c_str());
}

void RunLog::Write(const std::string& text) {
  if (!file_.IsValid()) return;
  // Appended at the end each time: another run may have written meanwhile
  // only if the instance lock failed, and then nothing is overwritten.
  // A write refused (a byte-range lock, a full disk) ends the log there.
  DWORD written = 0;
  if (SetFilePointer(file_.Get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    MarkFailed(SystemMessage(GetLastError()));
    return;
  }
  if (!logWrite(file_.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
    MarkFailed(SystemMessage(GetLastError()));
  } else if (written != text.size()) {
    MarkFailed("only part of a line was written");
  }
}

void RunLog::WriteHeader() {
  Write("[Scourix run]\r\nStarted: " + UtcNow() + "\r\nComputer: " + ComputerName() +
        "\r\nWindows: " + WindowsVersion() + "\r\nProgram: Scourix Ver 1.0\r\nCommand line: " +
        EscapeControlCharacters(GetCommandLineA()) + "\r\n[Log]\r\n");
}

void RunLog::WriteLine(const char* line) { Write(std::string(line) + "\r\n"); }

void RunLog::WriteFooter(ExitCode code) {
  if (footerWritten_) return;
  footerWritten_ = true;
  char text[700];
  char incomplete[100] = "";
  if (scanState.filesNotExamined > 0)
    snprintf(incomplete, sizeof incomplete, "scan incomplete: %d files could not be examined\r\n",
             static_cast<int>(scanState.filesNotExamined));
  snprintf(text, sizeof text,
           "[Result]\r\nFiles scanned: %d\r\nFiles infected: %d\r\nFiles removed: %d\r\n"
           "Files left for the next restart: %d\r\nFiles left in place: %d\r\n"
           "Files not examined: %d\r\nRegistry values left in place: %d\r\n%s"
           "Outcome: %s\r\nExit code: %d\r\nEnded: %s\r\n",
           static_cast<int>(scanState.filesScanned), static_cast<int>(scanState.filesInfected),
           static_cast<int>(scanState.filesRemoved), static_cast<int>(scanState.filesScheduled),
           static_cast<int>(scanState.filesLeft), static_cast<int>(scanState.filesNotExamined),
           static_cast<int>(scanState.registryValuesLeft), incomplete, ExitCodeMeaning(code),
           static_cast<int>(code), UtcNow().c_str());
  Write(text);
  if (file_.IsValid() && !FlushFileBuffers(file_.Get())) MarkFailed(SystemMessage(GetLastError()));
}

LogWriteFunction UseLogWrite(LogWriteFunction function) {
  return std::exchange(logWrite, function ? function : WriteFile);
}

std::string DefaultLogPath() {
  char folder[MAX_PATH] = {};
  UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return "scourix.log";
  std::string path = folder;
  if (path.back() != '\\') path += '\\';
  return path + "scourix.log";
}

RunTally TallyOfTheScan(const RunLog& log) {
  RunTally tally;
  tally.logFailed = log.Failed();
  tally.filesNotExamined = scanState.filesNotExamined;
  tally.registryValuesLeft = scanState.registryValuesLeft;
  tally.reportOnly = scanState.infectedAction == kActionReportOnly;
  tally.stopped = scanState.stopRequested != 0;
  tally.filesInfected = scanState.filesInfected;
  tally.filesLeft = scanState.filesLeft;
  tally.filesScheduled = scanState.filesScheduled;
  return tally;
}
