#include "app/RunLog.h"

#include <windows.h>

#include <cstdio>

#include "state/ScanState.h"

namespace {

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
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return "(unknown)";
  const bool nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  char text[200];
  // The 9x line keeps the version in the build number's high word.
  snprintf(text, sizeof text, "%s %lu.%lu build %lu%s%s", nt ? "Windows NT" : "Windows",
           static_cast<unsigned long>(version.dwMajorVersion),
           static_cast<unsigned long>(version.dwMinorVersion),
           static_cast<unsigned long>(nt ? version.dwBuildNumber : LOWORD(version.dwBuildNumber)),
           version.szCSDVersion[0] ? ", " : "", version.szCSDVersion);
  return text;
}

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

}  // namespace

bool RunLog::Open(const std::string& path, std::string& error) {
  *file_.Receive() = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!file_.IsValid()) {
    error = SystemMessage(GetLastError());
    return false;
  }
  return true;
}

void RunLog::Write(const std::string& text) {
  if (!file_.IsValid()) return;
  // Appended at the end each time: another run may have written meanwhile
  // only if the instance lock failed, and then nothing is overwritten.
  SetFilePointer(file_.Get(), 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file_.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void RunLog::WriteHeader() {
  Write("[Scourix run]\r\nStarted: " + UtcNow() + "\r\nComputer: " + ComputerName() +
        "\r\nWindows: " + WindowsVersion() + "\r\nProgram: Scourix Ver 1.0\r\nCommand line: " +
        GetCommandLineA() + "\r\n[Log]\r\n");
}

void RunLog::WriteLine(const char* line) { Write(std::string(line) + "\r\n"); }

void RunLog::WriteFooter(ExitCode code) {
  if (footerWritten_) return;
  footerWritten_ = true;
  char text[400];
  snprintf(text, sizeof text,
           "[Result]\r\nFiles scanned: %d\r\nFiles infected: %d\r\nFiles removed: %d\r\n"
           "Files left for the next restart: %d\r\nFiles left in place: %d\r\n"
           "Outcome: %s\r\nExit code: %d\r\nEnded: %s\r\n",
           static_cast<int>(scanState.filesScanned), static_cast<int>(scanState.filesInfected),
           static_cast<int>(scanState.filesRemoved), static_cast<int>(scanState.filesScheduled),
           static_cast<int>(scanState.filesLeft), ExitCodeMeaning(code), static_cast<int>(code),
           UtcNow().c_str());
  Write(text);
  FlushFileBuffers(file_.Get());
}

std::string DefaultLogPath() {
  char folder[MAX_PATH] = {};
  UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return "scourix.log";
  std::string path = folder;
  if (path.back() != '\\') path += '\\';
  return path + "scourix.log";
}

RunTally TallyOfTheScan() {
  RunTally tally;
  tally.reportOnly = scanState.reportOnly != 0;
  tally.stopped = scanState.stopRequested != 0;
  tally.filesInfected = scanState.filesInfected;
  tally.filesLeft = scanState.filesLeft;
  tally.filesScheduled = scanState.filesScheduled;
  return tally;
}
