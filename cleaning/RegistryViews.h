#pragma once
// The views of the machine's registry that the cleaning examines. On 64-bit
// Windows HKLM\Software has two: a 64-bit program sees the 64-bit one unless
// it asks for KEY_WOW64_32KEY, a 32-bit program sees the 32-bit one
// (Software\Wow6432Node) unless it asks for KEY_WOW64_64KEY. A 32-bit worm's
// values lie in the 32-bit view, so either build looks into both.
#include <windows.h>

constexpr int kMaxRegistryViews = 2;

// Fills views with the access flag of each view, in the order they are
// examined, and returns their count: on 64-bit Windows KEY_WOW64_64KEY, then
// KEY_WOW64_32KEY; on 32-bit Windows one view, 0, as the older systems
// reject the flags.
int MachineRegistryViews(REGSAM (&views)[kMaxRegistryViews]);

// Whether this is 64-bit Windows: always for the x86_64 build; for the i686
// build when IsWow64Process (XP SP2 and later, looked up at run time) says
// that this process runs under WoW64.
bool IsWindows64Bit();
