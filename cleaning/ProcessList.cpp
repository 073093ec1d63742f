#include "cleaning/ProcessList.h"

#include <tlhelp32.h>

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "base/PathText.h"
#include "base/SystemLibrary.h"
#include "cleaning/MachineActions.h"
#include "cleaning/Privileges.h"
#include "state/Prompt.h"

#ifdef _WIN64
static_assert(sizeof(PROCESSENTRY32) == 304, "64-bit ToolHelp record");
#else
static_assert(sizeof(PROCESSENTRY32) == 296, "the 9x line's ToolHelp record is 296 bytes");
#endif

namespace {

using SnapshotFunction = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
using ProcessWalkFunction = BOOL(WINAPI*)(HANDLE snapshot, PROCESSENTRY32* entry);

constexpr DWORD kQueryAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x410
constexpr DWORD kCheckedTerminateAccess = PROCESS_TERMINATE | kQueryAccess;  // 0x411
// PROCESS_QUERY_LIMITED_INFORMATION (Vista on), enough for
// QueryFullProcessImageNameA where a process refuses the full query.
constexpr DWORD kLimitedQueryAccess = 0x1000;
constexpr DWORD kFirstProcessIds = 1024;
// TerminateProcess only begins the end; the image file stays in use until the
// process is gone, which a loaded machine can take seconds over. Bounded, so
// that a process stuck in the kernel never holds up the scan.
constexpr DWORD kProcessEndWaitMs = 5000;
// Far above any real count: a list that keeps filling is cut here.
constexpr DWORD kMaxProcessIds = 1u << 20;
EnumProcessesFunction enumProcessesSeam = nullptr;

const SystemFunction<SnapshotFunction> createToolhelpSnapshot("kernel32.dll", "CreateToolhelp32Snapshot");
const SystemFunction<ProcessWalkFunction> process32First("kernel32.dll", "Process32First");
const SystemFunction<ProcessWalkFunction> process32Next("kernel32.dll", "Process32Next");
const SystemFunction<EnumProcessesFunction> enumProcessIds("psapi.dll", "EnumProcesses");

}  // namespace

ProcessList::ProcessList(ProcessList&& other) noexcept
    : first_(other.first_), last_(other.last_) {
  other.first_ = other.last_ = nullptr;
}

ProcessList& ProcessList::operator=(ProcessList&& other) noexcept {
  if (this != &other) {
    Clear();
    first_ = other.first_;
    last_ = other.last_;
    other.first_ = other.last_ = nullptr;
  }
  return *this;
}

bool ProcessList::Append(DWORD processId, const char* path) {
  ProcessEntry* entry = new (std::nothrow) ProcessEntry{};
  if (!entry) return false;
  entry->processId = processId;
  // ToolHelp's and PSAPI's paths fit 260 bytes; anything longer is cut, never overrun.
  CopyTruncated(entry->path, path);
  (last_ ? last_->next : first_) = entry;
  last_ = entry;
  return true;
}

void ProcessList::Clear() {
  while (first_) {
    ProcessEntry* next = first_->next;
    delete first_;
    first_ = next;
  }
  last_ = nullptr;
}

ProcessList ListProcesses9x() {
  ProcessList list;
  auto createSnapshot = createToolhelpSnapshot.Get();
  auto first = process32First.Get();
  if (!createSnapshot || !first) return list;
  SnapshotHandle snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return list;

  PROCESSENTRY32 entry;
  memset(&entry, 0, sizeof entry);
  entry.dwSize = sizeof entry;
  if (!first(snapshot.Get(), &entry)) return list;
  if (!list.Append(entry.th32ProcessID, entry.szExeFile)) return ProcessList();
  for (;;) {
    auto next = process32Next.Get();
    if (!next) return ProcessList();
    if (!next(snapshot.Get(), &entry)) return list;
    if (!list.Append(entry.th32ProcessID, entry.szExeFile)) return ProcessList();
  }
}

ProcessList ListProcessesNT(bool withDebugPrivilege, NtListResult* result) {
  NtListResult ignored;
  NtListResult& outcome = result ? *result : ignored;
  outcome = NtListResult::Unavailable;
  ProcessList list;
  auto enumProcesses = enumProcessesSeam ? enumProcessesSeam : enumProcessIds.Get();
  if (!enumProcesses) return list;

  // EnumProcesses says neither how many there are nor that the buffer was too
  // small: a buffer that came back full is doubled and asked again.
  std::vector<DWORD> ids;
  DWORD length = 0;
  for (DWORD capacity = kFirstProcessIds; capacity <= kMaxProcessIds; capacity *= 2) {
    ids.assign(capacity, 0);
    length = 0;
    enumProcesses(ids.data(), capacity * sizeof(DWORD), &length);
    if (length < capacity * sizeof(DWORD)) break;
  }
  DWORD count = length / sizeof(DWORD);
  if (count > ids.size()) count = static_cast<DWORD>(ids.size());
  if (count == 0 || !CanReadProcessImagePaths()) return list;

  for (DWORD i = 0; i < count; ++i) {
    KernelHandle process(OpenProcess(kQueryAccess, FALSE, ids[i]));
    if (!process.IsValid() && withDebugPrivilege && GetLastError() == ERROR_ACCESS_DENIED) {
      // Asked again for every process that refuses, not once per list.
      if (!EnablePrivilege("SeDebugPrivilege")) ShowNotice("false", "TEMP");
      process = KernelHandle(OpenProcess(kQueryAccess, FALSE, ids[i]));
    }
    if (!process.IsValid()) continue;
    char path[kProcessPathLength] = {};
    if (!ReadProcessImagePath(process.Get(), ids[i], path, sizeof path)) continue;
    if (!list.Append(ids[i], path)) {
      outcome = NtListResult::OutOfMemory;
      return ProcessList();
    }
  }
  outcome = NtListResult::Listed;
  return list;
}

KernelHandle OpenProcessOfImage(DWORD processId, const ImageIdentity& image) {
  if (processId == GetCurrentProcessId()) return KernelHandle();
  // SYNCHRONIZE lets the caller wait for the end that TerminateProcess only begins.
  KernelHandle process(OpenProcess(kCheckedTerminateAccess | SYNCHRONIZE, FALSE, processId));
  if (!process.IsValid())
    process = KernelHandle(
        OpenProcess(PROCESS_TERMINATE | kLimitedQueryAccess | SYNCHRONIZE, FALSE, processId));
  if (!process.IsValid()) return KernelHandle();
  char path[kProcessPathLength];
  if (!ReadProcessImagePath(process.Get(), processId, path, sizeof path) || !image.Matches(path) ||
      !image.MappedInto(process.Get()))
    return KernelHandle();
  return process;
}

bool TerminateOpenProcess(HANDLE process) { return Machine().terminateProcess(process, 0) != FALSE; }

bool WaitForProcessEnd(HANDLE process) {
  return WaitForSingleObject(process, kProcessEndWaitMs) == WAIT_OBJECT_0;
}

bool TerminateProcessOfImage(DWORD processId, const ImageIdentity& image) {
  KernelHandle process = OpenProcessOfImage(processId, image);
  if (!process.IsValid() || !TerminateOpenProcess(process.Get())) return false;
  WaitForProcessEnd(process.Get());
  return true;
}

TerminateProcessFunction UseTerminateProcess(TerminateProcessFunction function) {
  TerminateProcessFunction previous = RealMachineActions().terminateProcess;
  RealMachineActions().terminateProcess = function ? function : TerminateProcess;
  return previous;
}

EnumProcessesFunction UseEnumProcesses(EnumProcessesFunction function) {
  return std::exchange(enumProcessesSeam, function);
}
