// Pages open through the logged-on desktop's shell, so that the browser gets
// the user's token and not ours. Wine has one token for everything, so what
// can be seen here is who starts the program: the desktop's shell (explorer)
// or this process. A stand-in program plays the browser.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <exdisp.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"
#include "tests/windows/support/WaitUntil.h"
#include "ui/UserShell.h"

namespace {

struct ProcessEntry {
  DWORD id = 0;
  DWORD parent = 0;
};

ProcessEntry ProcessNamed(const char* name) {
  ProcessEntry found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    const char* base = strrchr(entry.szExeFile, '\\');
    if (_stricmp(base ? base + 1 : entry.szExeFile, name) != 0) continue;
    found = {entry.th32ProcessID, entry.th32ParentProcessID};
    break;
  }
  CloseHandle(snapshot);
  return found;
}

// A running process by its file's base name; waits up to five seconds for it.
ProcessEntry FindProcess(const char* name) {
  ProcessEntry found;
  WaitUntil([&] { return (found = ProcessNamed(name)).id != 0; }, 5000, 50);
  return found;
}

// The stand-in browser that the test made start, ended with the object.
class StartedBrowser {
 public:
  explicit StartedBrowser(const char* name) : entry_(FindProcess(name)) {}
  ~StartedBrowser() {
    HANDLE process = entry_.id ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry_.id) : nullptr;
    if (!process) return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
  StartedBrowser(const StartedBrowser&) = delete;
  StartedBrowser& operator=(const StartedBrowser&) = delete;

  DWORD Id() const { return entry_.id; }
  DWORD Parent() const { return entry_.parent; }

 private:
  ProcessEntry entry_;
};

// Wine starts its desktop shell (explorer.exe /desktop) with the first
// window of a fresh server. The program has had its window open for a while
// when a page is opened; the test opens one and waits until the shell
// serves its windows (the test may use COM directly).
class OpenWindow {
 public:
  OpenWindow() : window_(CreateWindowExA(0, "STATIC", "user shell", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr)) {}
  ~OpenWindow() { DestroyWindow(window_); }
  static bool ShellServes() {
    CoInitialize(nullptr);
    const bool serves = WaitUntil(
        [] {
          IShellWindows* windows = nullptr;
          if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                      reinterpret_cast<void**>(&windows))))
            return false;
          windows->Release();
          return true;
        },
        10000, 50);
    CoUninitialize();
    return serves;
  }
  OpenWindow(const OpenWindow&) = delete;
  OpenWindow& operator=(const OpenWindow&) = delete;

 private:
  HWND window_;
};

std::string WriteBrowser(ScratchFolder& folder, const char* name) {
  std::string path = folder.Join(name);
  EXPECT_TRUE(WriteStandIn(path));
  return path;
}

// user-shell.sh runs these in a fresh prefix posing as Windows 7.
TEST(UserShell, FromVistaOnTheDesktopsShellStartsThePage) {
  OpenWindow window;
  ASSERT_TRUE(OpenWindow::ShellServes()) << "Wine's desktop shell did not start";
  ScratchFolder folder("user-shell");
  const std::string browser = WriteBrowser(folder, "shell-browser.exe");
  OpenForUser(browser.c_str());
  StartedBrowser started("shell-browser.exe");
  ASSERT_NE(started.Id(), 0u) << "nothing was started";
  EXPECT_NE(started.Parent(), GetCurrentProcessId()) << "started by this process, with its token";
  EXPECT_EQ(started.Parent(), FindProcess("explorer.exe").id) << "not started by the desktop's shell";
}

TEST(UserShell, TheDesktopsShellSaysWhetherItTookTheRequest) {
  OpenWindow window;
  ASSERT_TRUE(OpenWindow::ShellServes()) << "Wine's desktop shell did not start";
  ScratchFolder folder("user-shell-alone");
  const std::string browser = WriteBrowser(folder, "shell-alone.exe");
  EXPECT_TRUE(OpenThroughDesktopShell(browser.c_str()));
  StartedBrowser started("shell-alone.exe");
  EXPECT_NE(started.Id(), 0u);
}

// Run again by user-shell.sh with the prefix posing as Windows XP.
TEST(UserShellBeforeVista, TheProgramStartsThePageItself) {
  const char* personality = getenv("SCOURIX_PERSONALITY");
  if (!personality || strcmp(personality, "winxp") != 0) GTEST_SKIP() << "runs in a prefix posing as winxp";
  OpenWindow window;
  ScratchFolder folder("user-shell-xp");
  const std::string browser = WriteBrowser(folder, "xp-browser.exe");
  OpenForUser(browser.c_str());
  StartedBrowser started("xp-browser.exe");
  ASSERT_NE(started.Id(), 0u) << "nothing was started";
  EXPECT_EQ(started.Parent(), GetCurrentProcessId());
}

}  // namespace
