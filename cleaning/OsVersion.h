#pragma once
// Which line of Windows this is, asked afresh on every call.

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

int GetOsFamily();
int GetNtGeneration();
