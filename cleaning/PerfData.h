#pragma once
// Reading the system's performance data for the running processes: the
// Perflib "Counters" list of index/name pairs, and a PERF_DATA_BLOCK holding
// the process object with one instance per process. Portable: both are parsed
// from byte buffers that may hold anything; every field is read through a
// bounds check and no offset or count in them is trusted.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cleaning/ProcessNames.h"

// The indexes that name the process object and its "ID Process" counter.
struct ProcessCounterKeys {
  char objectKey[16];       // the object's index as decimal text; empty when absent
  uint32_t idProcessIndex;  // 0 when absent
};

// Walks "Counters" (NUL-terminated strings, index and name in turn, ended by
// an empty string). For "process" and "id process" (any case) the index is
// the run of digits just before the name's own string. A later entry of the
// same name overrides an earlier one. Returns false when no "process" entry
// with digits was found.
bool FindProcessCounterKeys(const uint8_t* counters, size_t length, ProcessCounterKeys& keys);

// One running process as the performance data names it.
constexpr int kPerfTaskNameLength = 260;
struct PerfTask {
  uint32_t processId;
  char name[kPerfTaskNameLength];  // the instance name, terminated
};

constexpr uint32_t kIdleProcessStandIn = 0xFFFFFFFEu;  // no open succeeds on it

// Converts an instance name (count UTF-16 units, no terminator) into the
// system's 8-bit code page, NUL-terminated within outputLength bytes.
// Returns false when it cannot.
using InstanceNameConverter = bool (*)(const uint16_t* units, size_t count, char* output,
                                       size_t outputLength);

// Converts names of 7-bit characters only; anything else fails. The host's
// stand-in for the system's conversion.
bool ConvertAsciiInstanceName(const uint16_t* units, size_t count, char* output,
                              size_t outputLength);

// Reads the first object of a performance-data block as the process object:
// every instance (the list grows as needed), each with its name and the
// process id found at the offset of the counter whose title index is
// idProcessIndex (offset 0 when no counter has it). A name that does not
// convert or fit is "unknown"; a process id of 0 becomes kIdleProcessStandIn.
// Replaces the list's content; returns the number of tasks, 0 when the block
// lacks the "PERF" signature. An instance that does not lie wholly inside the
// buffer, or does not lie past the one before, ends the list there.
int ReadProcessInstances(const uint8_t* data, size_t length, uint32_t idProcessIndex,
                         InstanceNameConverter convert, std::vector<PerfTask>& tasks);
