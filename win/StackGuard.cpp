// The stack protector's canary and its failure handler, so that
// -fstack-protector-strong needs no libssp: libssp seeds the canary through
// CryptGenRandom, an import that Windows 95 and NT 4 without Internet
// Explorer 3.02 lack, and the program must load there.
#include <windows.h>

#include <cstdint>

extern "C" {

// Replaced before WinMain; this value guards only the start-up code.
uintptr_t __stack_chk_guard = static_cast<uintptr_t>(0x2F8B5EC4A1D37E69ull);

__attribute__((noreturn)) void __stack_chk_fail() {
  // The stack is not to be trusted: no unwinding, no handlers, no message.
  TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
  for (;;) {
  }
}

}  // extern "C"

namespace {

// Mixes what differs from run to run, as the MSVC runtime seeds its cookie:
// time, process and thread ids, tick count, performance counter, and where
// the system put the stack. Runs from the start-up code, before any function
// that the canary guards is on the stack; its own frame is left unguarded.
__attribute__((constructor, no_stack_protector)) void SeedStackGuard() {
  FILETIME time;
  GetSystemTimeAsFileTime(&time);
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  uint64_t seed = (static_cast<uint64_t>(time.dwHighDateTime) << 32) ^ time.dwLowDateTime;
  seed ^= static_cast<uint64_t>(GetCurrentProcessId()) << 17;
  seed ^= static_cast<uint64_t>(GetCurrentThreadId()) << 41;
  seed ^= GetTickCount();
  seed ^= static_cast<uint64_t>(counter.QuadPart) * 0x9E3779B97F4A7C15ull;
  seed ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&time)) << 7;
  uintptr_t guard = static_cast<uintptr_t>(seed ^ (seed >> 32));
  // A zero byte first stops string overruns at the canary.
  __stack_chk_guard = guard & ~static_cast<uintptr_t>(0xFF);
}

}  // namespace
