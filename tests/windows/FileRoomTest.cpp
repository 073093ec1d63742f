// The file room under WoW64: a 32-bit program that names System32 is shown
// SysWOW64 unless it turns the redirection off, and the scan must see the
// real one. (In a 64-bit program, or on 32-bit Windows, both views are one.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "cleaning/OsVersion.h"
#include "cleaning/ProcessImage.h"
#include "cleaning/files/Files.h"

namespace {

using RedirectionFunction = BOOL(WINAPI*)(void** previous);
using RevertFunction = BOOL(WINAPI*)(void* previous);

// Runs `step` with the redirection off, as the system's own 64-bit tools
// would see the disk; the test's way, apart from the room's.
template <typename Step>
void InTheRealView(Step step) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto disable = reinterpret_cast<RedirectionFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
  auto revert = reinterpret_cast<RevertFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
  void* previous = nullptr;
  const bool off = ThisWindows().wow64 && disable && revert && disable(&previous);
  if (ThisWindows().wow64) {
    ASSERT_TRUE(off);
  }
  step();
  if (off) revert(previous);
}

TEST(FileRoom, AFileOnlyTheRealSystem32HoldsIsFoundNamedAndIdentified) {
  char windows[MAX_PATH];
  ASSERT_GT(GetSystemWindowsDirectoryA(windows, sizeof windows), 0u);
  const std::string path = std::string(windows) + "\\System32\\scourix-room-probe.exe";
  InTheRealView([&] {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "MZ", 2, &written, nullptr);
    CloseHandle(file);
  });
  // What the test itself sees by that name: only under WoW64 is it another file.
  EXPECT_EQ(GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES, ThisWindows().wow64);

  EXPECT_TRUE(IsExistingFile(path.c_str()));
  char form[MAX_PATH];
  EXPECT_GT(LongPathOf(path.c_str(), form, sizeof form), 0u);
  EXPECT_GT(ShortPathOf(path.c_str(), form, sizeof form), 0u);
  ImageIdentity image(path.c_str());
  EXPECT_TRUE(image.Matches(path.c_str()));
  FileHandle opened(OpenPath(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, OPEN_EXISTING, 0));
  FileIdentity identity;
  EXPECT_TRUE(opened.IsValid() && IdentifyHandle(opened.Get(), identity) && identity.known);
  opened.Close();

  InTheRealView([&] { EXPECT_TRUE(DeleteFileA(path.c_str())); });
}

}  // namespace
