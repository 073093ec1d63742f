// Any bytes as the "Counters" list and as a performance-data block: neither
// may be read outside the buffer, and every task that comes back must hold a
// terminated name within its field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cleaning/PerfData.h"

namespace {

void CheckTasks(const uint8_t* data, size_t size, uint32_t idIndex) {
  std::vector<PerfTask> tasks;
  int count = ReadProcessInstances(data, size, idIndex, ConvertAsciiInstanceName, tasks);
  if (count < 0 || static_cast<size_t>(count) != tasks.size() || static_cast<size_t>(count) > size) abort();
  for (int i = 0; i < count; ++i) {
    if (memchr(tasks[i].name, '\0', sizeof tasks[i].name) == nullptr) abort();
    if (tasks[i].processId == 0) abort();  // the idle process is never id 0
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ProcessCounterKeys keys;
  memset(&keys, 0xAB, sizeof keys);
  if (FindProcessCounterKeys(data, size, keys)) {
    if (memchr(keys.objectKey, '\0', sizeof keys.objectKey) == nullptr) abort();
    if (keys.objectKey[0] == '\0') abort();
  }
  CheckTasks(data, size, 784);
  // The id counter's index as the input's own first word, so that the
  // search for it meets every title index the input carries.
  uint32_t idIndex = 0;
  if (size >= 4) memcpy(&idIndex, data, 4);
  CheckTasks(data, size, idIndex);
  return 0;
}
