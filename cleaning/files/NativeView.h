#pragma once
// A 32-bit process on 64-bit Windows sees SysWOW64 where it names System32,
// unless it turns the file-system redirection off. The scan must see the real
// System32 (and SysWOW64 once, under its own name), so every path-based call
// of the file room (Files.h) runs inside one of these scopes; nothing outside
// the room includes this.
//
// Keep a scope around file-system calls only: while it lives, a DLL that gets
// loaded (a message handler, a prompt, a LoadLibrary) would come from the
// 64-bit System32 and fail. Handle-based calls (ReadFile, SetFileInformation-
// ByHandle) need none.
//
// Does nothing in the x86_64 build, on 32-bit Windows and on systems whose
// kernel32 lacks the functions (looked up at run time, once).
class FileSystemRedirectionOff {
 public:
  FileSystemRedirectionOff();
  ~FileSystemRedirectionOff();
  FileSystemRedirectionOff(const FileSystemRedirectionOff&) = delete;
  FileSystemRedirectionOff& operator=(const FileSystemRedirectionOff&) = delete;

 private:
  void* previous_ = nullptr;
  bool off_ = false;
};
