#include "cleaning/PerfData.h"

#include <cstring>

namespace {

// The fixed layouts of winperf.h that are read; they are the same for 32-
// and 64-bit Windows.
constexpr size_t kDataBlockHeaderLength = 24;     // PERF_DATA_BLOCK.HeaderLength
constexpr size_t kObjectDefinitionLength = 4;     // PERF_OBJECT_TYPE fields
constexpr size_t kObjectHeaderLength = 8;
constexpr size_t kObjectNumCounters = 32;
constexpr size_t kObjectNumInstances = 40;
constexpr size_t kCounterDefinitionSize = 40;     // PERF_COUNTER_DEFINITION, stepped by this
constexpr size_t kCounterNameTitleIndex = 4;
constexpr size_t kCounterOffset = 36;
constexpr size_t kInstanceByteLength = 0;         // PERF_INSTANCE_DEFINITION fields
constexpr size_t kInstanceNameOffset = 16;
constexpr size_t kBlockByteLength = 0;            // PERF_COUNTER_BLOCK.ByteLength
constexpr size_t kConvertedNameLength = kPerfTaskNameLength;

class ByteView {
 public:
  ByteView(const uint8_t* data, size_t length) : data_(data), length_(length) {}

  bool Contains(uint64_t offset, uint64_t count) const {
    return offset <= length_ && count <= length_ - offset;
  }
  bool ReadU32(uint64_t offset, uint32_t& value) const {
    if (!Contains(offset, 4)) return false;
    const uint8_t* p = data_ + offset;
    value = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    return true;
  }
  bool ReadU16(uint64_t offset, uint16_t& value) const {
    if (!Contains(offset, 2)) return false;
    value = static_cast<uint16_t>(data_[offset] | data_[offset + 1] << 8);
    return true;
  }

 private:
  const uint8_t* data_;
  size_t length_;
};

bool EqualsIgnoringCase(const char* text, size_t length, const char* word) {
  return strlen(word) == length && CompareIgnoringCase(text, word, length) == 0;
}

// The digits that end the string just before `nameStart` (whose terminator
// sits at nameStart - 1).
void DigitsBefore(const char* strings, size_t nameStart, const char*& digits, size_t& count) {
  size_t end = nameStart == 0 ? 0 : nameStart - 1;
  size_t begin = end;
  while (begin > 0 && strings[begin - 1] >= '0' && strings[begin - 1] <= '9') --begin;
  digits = strings + begin;
  count = end - begin;
}

// The name's UTF-16 units up to its terminator; false when the terminator
// is not inside the buffer.
bool ConvertName(const ByteView& view, uint64_t offset, InstanceNameConverter convert, char* output) {
  uint16_t units[kConvertedNameLength];
  size_t count = 0;
  for (;;) {
    uint16_t unit;
    if (!view.ReadU16(offset + 2 * count, unit)) return false;
    if (unit == 0) break;
    // A name that cannot fit the 260-byte result fails, as the system's
    // conversion would into that buffer.
    if (count == kConvertedNameLength - 1) return false;
    units[count++] = unit;
  }
  return convert(units, count, output, kConvertedNameLength);
}

}  // namespace

bool FindProcessCounterKeys(const uint8_t* counters, size_t length, ProcessCounterKeys& keys) {
  keys = ProcessCounterKeys{};
  const char* strings = reinterpret_cast<const char*>(counters);
  size_t start = 0;
  while (start < length) {
    const void* terminator = memchr(strings + start, '\0', length - start);
    if (!terminator) break;  // an unterminated last string is no name
    size_t end = static_cast<size_t>(static_cast<const char*>(terminator) - strings);
    if (end == start) break;  // the empty string ends the list
    const char* digits;
    size_t count;
    if (EqualsIgnoringCase(strings + start, end - start, "process")) {
      DigitsBefore(strings, start, digits, count);
      if (count < sizeof keys.objectKey) {
        memcpy(keys.objectKey, digits, count);
        keys.objectKey[count] = '\0';
      }
    } else if (EqualsIgnoringCase(strings + start, end - start, "id process")) {
      DigitsBefore(strings, start, digits, count);
      uint32_t index = 0;
      for (size_t i = 0; i < count; ++i) index = index * 10 + static_cast<uint32_t>(digits[i] - '0');
      keys.idProcessIndex = index;
    }
    start = end + 1;
  }
  return keys.objectKey[0] != '\0';
}

bool ConvertAsciiInstanceName(const uint16_t* units, size_t count, char* output,
                              size_t outputLength) {
  if (count >= outputLength) return false;
  for (size_t i = 0; i < count; ++i) {
    if (units[i] >= 0x80) return false;
    output[i] = static_cast<char>(units[i]);
  }
  output[count] = '\0';
  return true;
}

int ReadProcessInstances(const uint8_t* data, size_t length, uint32_t idProcessIndex,
                         InstanceNameConverter convert, std::vector<PerfTask>& tasks) {
  tasks.clear();
  ByteView view(data, length);
  static const uint8_t kSignature[8] = {'P', 0, 'E', 0, 'R', 0, 'F', 0};
  if (!view.Contains(0, sizeof kSignature) || memcmp(data, kSignature, sizeof kSignature) != 0)
    return 0;

  uint32_t blockHeader, definitionLength, objectHeader, numCounters, numInstances;
  if (!view.ReadU32(kDataBlockHeaderLength, blockHeader)) return 0;
  const uint64_t object = blockHeader;
  if (!view.ReadU32(object + kObjectDefinitionLength, definitionLength) ||
      !view.ReadU32(object + kObjectHeaderLength, objectHeader) ||
      !view.ReadU32(object + kObjectNumCounters, numCounters) ||
      !view.ReadU32(object + kObjectNumInstances, numInstances))
    return 0;

  uint32_t counterOffset = 0;
  uint64_t definition = object + objectHeader;
  for (uint32_t i = 0; i < numCounters; ++i, definition += kCounterDefinitionSize) {
    uint32_t titleIndex, offset;
    if (!view.ReadU32(definition + kCounterNameTitleIndex, titleIndex) ||
        !view.ReadU32(definition + kCounterOffset, offset))
      break;  // the definitions run out of the buffer: no further one to find
    if (titleIndex == idProcessIndex) {
      counterOffset = offset;
      break;
    }
  }

  // NumInstances is signed: PERF_NO_INSTANCES (-1) and other negatives mean none.
  const uint32_t count = static_cast<int32_t>(numInstances) < 0 ? 0 : numInstances;
  uint64_t instance = object + definitionLength;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t instanceLength, nameOffset, blockLength, processId;
    if (!view.ReadU32(instance + kInstanceByteLength, instanceLength) ||
        !view.ReadU32(instance + kInstanceNameOffset, nameOffset))
      break;
    const uint64_t block = instance + instanceLength;
    if (!view.ReadU32(block + kBlockByteLength, blockLength) ||
        !view.ReadU32(block + counterOffset, processId))
      break;

    PerfTask task;
    if (!ConvertName(view, instance + nameOffset, convert, task.name)) strcpy(task.name, "unknown");
    task.processId = processId == 0 ? kIdleProcessStandIn : processId;
    tasks.push_back(task);
    // Each instance lies past the one before, so that a count from the block
    // cannot make the list longer than the block holds instances.
    const uint64_t next = block + blockLength;
    if (next <= instance) break;
    instance = next;
  }
  return static_cast<int>(tasks.size());
}
