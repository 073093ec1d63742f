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

// A read ahead that never completes (here a pipe nobody writes to, as a
// hung file system would leave it) is given up after its bound, and one
// that completes is read.
TEST(FileRoom, AReadAheadIsGivenUpAfterItsBound) {
  const char* name = "\\\\.\\pipe\\scourix-read-ahead";
  FileHandle server(CreateNamedPipeA(name, PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1, 64, 64,
                                     0, nullptr));
  ASSERT_TRUE(server.IsValid());
  FileHandle reader(CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  ASSERT_TRUE(reader.IsValid());
  char bytes[8] = {};
  DWORD got = 99;
  const DWORD started = GetTickCount();
  EXPECT_FALSE(ReadWithin(reader.Get(), 0, bytes, sizeof bytes, 300, got));
  const DWORD waited = GetTickCount() - started;
  EXPECT_GE(waited, 250u);
  EXPECT_LT(waited, 10000u);
  EXPECT_EQ(got, 0u);

  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD written = 0;
  if (!WriteFile(server.Get(), "abc", 3, nullptr, &overlapped)) {
    ASSERT_EQ(GetLastError(), DWORD{ERROR_IO_PENDING});
  }
  ASSERT_TRUE(GetOverlappedResult(server.Get(), &overlapped, &written, TRUE));
  CloseHandle(overlapped.hEvent);
  EXPECT_TRUE(ReadWithin(reader.Get(), 0, bytes, sizeof bytes, 5000, got));
  EXPECT_EQ(std::string(bytes, got), "abc");
}

}  // namespace
