#include "cleaning/ProcessKill.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "base/Handles.h"
#include "base/SystemLibrary.h"
#include "cleaning/OsVersion.h"
#include "cleaning/PerfData.h"
#include "cleaning/ProcessList.h"
#include "cleaning/ProcessNames.h"
#include "cleaning/RegistryValues.h"
#include "state/Prompt.h"

namespace {

using SnapshotFunction = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
using ProcessWalkFunction = BOOL(WINAPI*)(HANDLE snapshot, PROCESSENTRY32* entry);

constexpr DWORD kAfterTerminationMs = 500;
constexpr DWORD kToolHelpSettleMs = 100;
constexpr DWORD kBeforeTerminationMs = 50;
constexpr DWORD kFirstPerfBufferLength = 51200;
constexpr DWORD kPerfBufferGrowth = 25600;
// The system may keep answering ERROR_MORE_DATA without a useful size; past
// this the table simply stays empty instead of growing for ever.
constexpr DWORD kMaxPerfBufferLength = 64u << 20;

PerformanceQueryFunction performanceQuery = RegQueryValueExA;

const SystemFunction<SnapshotFunction> createToolhelpSnapshot("kernel32.dll", "CreateToolhelp32Snapshot");
const SystemFunction<ProcessWalkFunction> process32First("kernel32.dll", "Process32First");
const SystemFunction<ProcessWalkFunction> process32Next("kernel32.dll", "Process32Next");

bool ConvertWithCodePage(const uint16_t* units, size_t count, char* output, size_t outputLength) {
  static_assert(sizeof(WCHAR) == sizeof(uint16_t), "UTF-16 units");
  int written = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const WCHAR*>(units),
                                    static_cast<int>(count), output,
                                    static_cast<int>(outputLength) - 1, nullptr, nullptr);
  if (written <= 0 && count > 0) return false;
  output[written < 0 ? 0 : written] = '\0';
  return true;
}

// The Perflib names, read twice: once for the size, once into a zeroed buffer.
bool ReadCounterKeys(ProcessCounterKeys& keys) {
  char keyName[80];
  snprintf(keyName, sizeof keyName, "%s\\%03x", "software\\microsoft\\windows nt\\currentversion\\perflib", 9);
  RegistryKey perflib = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyName, KEY_READ);
  if (!perflib.IsValid()) return false;
  DWORD length = 0;
  if (performanceQuery(perflib.Get(), "Counters", nullptr, nullptr, nullptr, &length) !=
          ERROR_SUCCESS ||
      length == 0)
    return false;
  std::unique_ptr<uint8_t[]> counters(new (std::nothrow) uint8_t[length]());
  if (!counters) return false;
  if (performanceQuery(perflib.Get(), "Counters", nullptr, nullptr, counters.get(), &length) !=
      ERROR_SUCCESS)
    return false;
  return FindProcessCounterKeys(counters.get(), length, keys);
}

int ReadPerfTasks(std::vector<PerfTask>& tasks) {
  ProcessCounterKeys keys;
  if (!ReadCounterKeys(keys)) return 0;

  DWORD capacity = kFirstPerfBufferLength;
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[capacity]());
  if (!data) return 0;
  DWORD length = capacity;
  LONG status = performanceQuery(HKEY_PERFORMANCE_DATA, keys.objectKey, nullptr, nullptr,
                                 data.get(), &length);
  while (status == ERROR_MORE_DATA) {
    // The size reported with ERROR_MORE_DATA is not always the size needed
    // (nor even larger than the buffer); growing from the larger of the two
    // guarantees progress.
    DWORD base = length > capacity ? length : capacity;
    if (base > kMaxPerfBufferLength) break;
    capacity = base + kPerfBufferGrowth;
    data.reset(new (std::nothrow) uint8_t[capacity]());
    if (!data) break;
    length = capacity;
    status = performanceQuery(HKEY_PERFORMANCE_DATA, keys.objectKey, nullptr, nullptr,
                              data.get(), &length);
  }
  RegCloseKey(HKEY_PERFORMANCE_DATA);
  if (status != ERROR_SUCCESS || !data || length == 0) return 0;
  if (length > capacity) length = capacity;
  return ReadProcessInstances(data.get(), length, keys.idProcessIndex, ConvertWithCodePage, tasks);
}

}  // namespace

PerformanceQueryFunction UsePerformanceQuery(PerformanceQueryFunction function) {
  return std::exchange(performanceQuery, function ? function : RegQueryValueExA);
}

int KillByExeName(const char* path) {
  Sleep(kToolHelpSettleMs);
  auto createSnapshot = createToolhelpSnapshot.Get();
  auto first = process32First.Get();
  if (!createSnapshot || !first) return 0;
  std::unique_ptr<PROCESSENTRY32> entry(new (std::nothrow) PROCESSENTRY32());
  if (!entry) return 0;
  SnapshotHandle snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
  Sleep(kToolHelpSettleMs);
  if (!snapshot.IsValid()) return 0;

  char target[kProcessPathLength];
  ExeNameTarget(path, target);
  const ImageIdentity image(path);
  entry->dwSize = sizeof *entry;
  if (!first(snapshot.Get(), entry.get())) return 0;
  for (;;) {
    // The name only nominates: a process of that name whose image is
    // another file (the user's shell beside a worm named EXPLORER.EXE) is
    // passed over like any other.
    if (_stricmp(FileNameOfPath(entry->szExeFile), target) == 0) {
      Sleep(kBeforeTerminationMs);
      KernelHandle process = OpenProcessOfImage(entry->th32ProcessID, image);
      if (process.IsValid()) {
        int result = TerminateOpenProcess(process.Get()) ? 1 : 0;
        if (result) WaitForProcessEnd(process.Get());
        Sleep(kAfterTerminationMs);
        return result;
      }
    }
    auto next = process32Next.Get();
    if (!next) return 0;
    Sleep(kToolHelpSettleMs);
    if (!next(snapshot.Get(), entry.get())) return 0;
    Sleep(kToolHelpSettleMs);
  }
}

int KillByPerfInstance(const char* path) {
  char target[kProcessPathLength];
  if (!PerfInstanceTarget(path, target)) return 0;
  std::vector<PerfTask> tasks;
  int count = ReadPerfTasks(tasks);
  const ImageIdentity image(path);
  int result = 0;
  for (int i = 0; i < count; ++i) {
    if (!PerfInstanceMatches(tasks[i].name, target)) continue;
    if (TerminateProcessOfImage(tasks[i].processId, image)) result = 1;
    Sleep(kAfterTerminationMs);
  }
  return result;
}

bool KillByModulePath(const char* path) {
  NtListResult listed;
  ProcessList list = ListProcessesNT(false, &listed);
  if (listed == NtListResult::Unavailable) return false;
  const ImageIdentity image(path);
  for (const ProcessEntry* entry = list.First(); entry; entry = entry->next) {
    if (!image.Matches(entry->path)) continue;
    if (TerminateProcessOfImage(entry->processId, image)) Sleep(kAfterTerminationMs);
  }
  return true;
}

int KillProcessByPath(const char* path) {
  int result;
  switch (GetOsFamily()) {
    case OS_WIN9X:
      result = KillByExeName(path);
      break;
    case OS_WINNT:
      if (GetNtGeneration() == NTGEN_5) return KillByModulePath(path) ? 1 : 0;
      result = KillByPerfInstance(path);
      break;
    default:
      return 1;
  }
  if (result) return 1;
  ShowNotice("Could not kill process", path);
  return 0;
}
