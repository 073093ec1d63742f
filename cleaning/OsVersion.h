#pragma once
// Which Windows this is: read once, at the program's start (or at the first
// question), and kept for the run; a process never changes its system.
// Whether it has a given function is asked of that function's SystemFunction
// (base/SystemLibrary.h), which also looks once.

enum OsFamily : int {
  OS_UNKNOWN = 0,  // the version could not be read
  OS_OTHER = 1,    // neither line (Win32s)
  OS_WIN9X = 4,    // Windows 95, 98, ME
  OS_WINNT = 5,    // every NT version
};

enum NtGeneration : int {
  NTGEN_OTHER = 0,  // not NT, unreadable, or NT 6 and later (Vista on)
  NTGEN_4 = 5,      // NT 4 and older
  NTGEN_5 = 6,      // Windows 2000, XP, Server 2003
};

struct RunningWindows {
  int family;  // an OsFamily, from the platform that GetVersionExA names
  // The true version: from Windows 8.1 on, GetVersionExA tells a program
  // that its manifest does not declare for that version 6.2 (build 9200),
  // and declaring one today does not declare the next, so where ntdll has
  // RtlGetVersion the numbers come from there.
  unsigned long major;
  unsigned long minor;
  unsigned long build;  // on the 9x line the low word only: the high word repeats the version
  // The major version as GetVersionExA gives it, which the generation is
  // decided from, as it always was.
  unsigned long reportedMajor;
  char servicePack[128];  // "Service Pack 3", or empty
  bool wow64;             // a 32-bit process on 64-bit Windows

  bool IsNtAtLeast(unsigned long ntMajor) const { return family == OS_WINNT && major >= ntMajor; }
};

const RunningWindows& ThisWindows();

// The family and the generation that every part of the scan chooses its way
// by; both read ThisWindows().
int GetOsFamily();
int GetNtGeneration();
