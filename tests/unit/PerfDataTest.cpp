// The performance-data walk over synthetic counter lists and data blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cleaning/PerfData.h"

namespace {

std::vector<uint8_t> Strings(std::initializer_list<std::string> strings) {
  std::vector<uint8_t> bytes;
  for (const std::string& text : strings) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
  }
  return bytes;
}

TEST(CounterKeys, TakeTheIndexesBeforeProcessAndIdProcess) {
  auto counters = Strings({"1", "1847", "2", "System", "230", "Process", "784", "ID Process", ""});
  ProcessCounterKeys keys;
  ASSERT_TRUE(FindProcessCounterKeys(counters.data(), counters.size(), keys));
  EXPECT_STREQ(keys.objectKey, "230");
  EXPECT_EQ(keys.idProcessIndex, 784u);
}

TEST(CounterKeys, NamesCompareWithoutCase) {
  auto counters = Strings({"12", "PROCESS", "9", "id PROCESS", ""});
  ProcessCounterKeys keys;
  ASSERT_TRUE(FindProcessCounterKeys(counters.data(), counters.size(), keys));
  EXPECT_STREQ(keys.objectKey, "12");
  EXPECT_EQ(keys.idProcessIndex, 9u);
}

TEST(CounterKeys, OtherNamesThatOnlyContainTheWordsDoNotCount) {
  auto counters = Strings({"230", "Processor", "784", "ID Process Extra", "5", "process ", ""});
  ProcessCounterKeys keys;
  EXPECT_FALSE(FindProcessCounterKeys(counters.data(), counters.size(), keys));
  EXPECT_EQ(keys.idProcessIndex, 0u);
}

TEST(CounterKeys, TheIndexIsTheRunOfDigitsBeforeTheName) {
  auto counters = Strings({"x42", "Process", ""});
  ProcessCounterKeys keys;
  ASSERT_TRUE(FindProcessCounterKeys(counters.data(), counters.size(), keys));
  EXPECT_STREQ(keys.objectKey, "42");
}

TEST(CounterKeys, ProcessAsTheFirstStringHasNoIndex) {
  auto counters = Strings({"Process", "784", "ID Process", ""});
  ProcessCounterKeys keys;
  EXPECT_FALSE(FindProcessCounterKeys(counters.data(), counters.size(), keys));
  EXPECT_EQ(keys.idProcessIndex, 784u);
}

TEST(CounterKeys, TheEmptyStringEndsTheList) {
  auto counters = Strings({"1", "System", "", "230", "Process"});
  ProcessCounterKeys keys;
  EXPECT_FALSE(FindProcessCounterKeys(counters.data(), counters.size(), keys));
}

TEST(CounterKeys, AnUnterminatedBufferIsReadNoFurtherThanItsEnd) {
  std::string text("230\0Process", 11);  // no terminator after the name
  ProcessCounterKeys keys;
  EXPECT_FALSE(FindProcessCounterKeys(reinterpret_cast<const uint8_t*>(text.data()), text.size(), keys));
  EXPECT_FALSE(FindProcessCounterKeys(nullptr, 0, keys));
}

TEST(CounterKeys, AnIndexTooLongForTheKeyIsNotTaken) {
  auto counters = Strings({std::string(40, '7'), "Process", ""});
  ProcessCounterKeys keys;
  EXPECT_FALSE(FindProcessCounterKeys(counters.data(), counters.size(), keys));
}

// A PERF_DATA_BLOCK with one object, laid out as the system lays it out.
struct Instance {
  std::u16string name;
  uint32_t processId;
};

class BlockBuilder {
 public:
  static constexpr uint32_t kBlockHeader = 96;
  static constexpr uint32_t kObjectHeader = 64;

  // Counters by title index; the process id sits at the offset of idIndex's.
  std::vector<uint8_t> Build(const std::vector<Instance>& instances,
                             const std::vector<uint32_t>& counterTitles = {6, 784},
                             uint32_t idIndex = 784, int32_t declaredInstances = -2) {
    bytes_.assign(kBlockHeader, 0);
    const char16_t signature[] = u"PERF";
    memcpy(bytes_.data(), signature, 8);
    Put(24, kBlockHeader);
    const uint32_t object = kBlockHeader;
    const uint32_t definitionLength = kObjectHeader + 40 * static_cast<uint32_t>(counterTitles.size());
    bytes_.resize(object + definitionLength, 0);
    Put(object + 4, definitionLength);
    Put(object + 8, kObjectHeader);
    Put(object + 32, static_cast<uint32_t>(counterTitles.size()));
    Put(object + 40, static_cast<uint32_t>(declaredInstances == -2 ? static_cast<int32_t>(instances.size())
                                                                   : declaredInstances));
    // Every counter is 4 bytes, after the block's own ByteLength; the id
    // counter's is its place within the block.
    uint32_t idOffset = 0;
    for (size_t i = 0; i < counterTitles.size(); ++i) {
      uint32_t definition = object + kObjectHeader + 40 * static_cast<uint32_t>(i);
      Put(definition, 40);
      Put(definition + 4, counterTitles[i]);
      Put(definition + 36, 4 + 4 * static_cast<uint32_t>(i));
      if (counterTitles[i] == idIndex) idOffset = 4 + 4 * static_cast<uint32_t>(i);
    }
    const uint32_t blockLength = 4 + 4 * static_cast<uint32_t>(counterTitles.size());
    for (const Instance& instance : instances) {
      uint32_t start = static_cast<uint32_t>(bytes_.size());
      uint32_t nameBytes = static_cast<uint32_t>((instance.name.size() + 1) * 2);
      uint32_t instanceLength = 24 + ((nameBytes + 7) & ~7u);
      bytes_.resize(start + instanceLength + blockLength, 0);
      Put(start, instanceLength);
      Put(start + 16, 24);
      Put(start + 20, nameBytes);
      memcpy(&bytes_[start + 24], instance.name.c_str(), nameBytes);
      uint32_t block = start + instanceLength;
      Put(block, blockLength);
      for (size_t i = 0; i < counterTitles.size(); ++i) Put(block + 4 + 4 * static_cast<uint32_t>(i), 0xC0DE0000u + static_cast<uint32_t>(i));
      if (idOffset) Put(block + idOffset, instance.processId);
    }
    return bytes_;
  }

 private:
  void Put(uint32_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  std::vector<uint8_t> bytes_;
};

int Read(const std::vector<uint8_t>& block, std::vector<PerfTask>& tasks, uint32_t idIndex = 784) {
  tasks.assign(3, PerfTask{0xABABABABu, "stale"});
  return ReadProcessInstances(block.data(), block.size(), idIndex, ConvertAsciiInstanceName, tasks);
}

TEST(ProcessInstances, GiveEachInstanceItsNameAndProcessId) {
  auto block = BlockBuilder().Build({{u"System", 4}, {u"worm", 1200}, {u"explorer", 88}});
  std::vector<PerfTask> tasks;
  ASSERT_EQ(Read(block, tasks), 3);
  EXPECT_STREQ(tasks[0].name, "System");
  EXPECT_EQ(tasks[0].processId, 4u);
  EXPECT_STREQ(tasks[1].name, "worm");
  EXPECT_EQ(tasks[1].processId, 1200u);
  EXPECT_STREQ(tasks[2].name, "explorer");
  EXPECT_EQ(tasks[2].processId, 88u);
}

TEST(ProcessInstances, LongNamesAreKeptWhole) {
  auto block = BlockBuilder().Build({{u"abcdefghijklmnop", 10}, {u"abcdefghijklmnopq", 11},
                                     {u"a-program-with-a-rather-long-name", 12}});
  std::vector<PerfTask> tasks;
  ASSERT_EQ(Read(block, tasks), 3);
  EXPECT_STREQ(tasks[0].name, "abcdefghijklmnop");
  EXPECT_STREQ(tasks[1].name, "abcdefghijklmnopq");
  EXPECT_EQ(tasks[1].processId, 11u);
  EXPECT_STREQ(tasks[2].name, "a-program-with-a-rather-long-name");
}

TEST(ProcessInstances, TheIdleProcessIdBecomesOneNoOpenSucceedsOn) {
  auto block = BlockBuilder().Build({{u"Idle", 0}, {u"System", 4}});
  std::vector<PerfTask> tasks;
  ASSERT_EQ(Read(block, tasks), 2);
  EXPECT_EQ(tasks[0].processId, 0xFFFFFFFEu);
  EXPECT_EQ(tasks[1].processId, 4u);
}

TEST(ProcessInstances, TheIdCounterIsFoundByItsTitleIndexAmongTheDefinitions) {
  auto block = BlockBuilder().Build({{u"worm", 321}}, {6, 10, 784, 12});
  std::vector<PerfTask> tasks;
  ASSERT_EQ(Read(block, tasks), 1);
  EXPECT_EQ(tasks[0].processId, 321u);
}

TEST(ProcessInstances, WithoutTheIdCounterTheBlocksOwnLengthIsReadAtOffsetZero) {
  auto block = BlockBuilder().Build({{u"worm", 321}}, {6, 10}, 784);
  std::vector<PerfTask> tasks;
  ASSERT_EQ(Read(block, tasks), 1);
  EXPECT_EQ(tasks[0].processId, 12u);  // the counter block's ByteLength: 4 + 2 counters
}

TEST(ProcessInstances, EveryInstanceIsTakenBeyondTheOld254) {
  std::vector<Instance> many;
  for (uint32_t i = 0; i < 1300; ++i) many.push_back({u"p" + std::u16string(1, u'0' + i % 10), 1000 + i});
  auto block = BlockBuilder().Build(many);
  std::vector<PerfTask> tasks;
  ASSERT_EQ(Read(block, tasks), 1300);
  EXPECT_EQ(tasks[253].processId, 1253u);
  EXPECT_EQ(tasks[254].processId, 1254u);
  EXPECT_EQ(tasks[1299].processId, 2299u);
  EXPECT_STREQ(tasks[1299].name, "p9");
}

TEST(ProcessInstances, ANameThatDoesNotConvertIsUnknown) {
  auto block = BlockBuilder().Build({{u"w\u00f6rm", 5}});
  std::vector<PerfTask> tasks;
  ASSERT_EQ(Read(block, tasks), 1);
  EXPECT_STREQ(tasks[0].name, "unknown");
  EXPECT_EQ(tasks[0].processId, 5u);
}

TEST(ProcessInstances, ABlockWithoutTheSignatureGivesNothing) {
  auto block = BlockBuilder().Build({{u"worm", 5}});
  block[6] = 'G';
  std::vector<PerfTask> tasks;
  EXPECT_EQ(Read(block, tasks), 0);
  EXPECT_EQ(ReadProcessInstances(nullptr, 0, 784, ConvertAsciiInstanceName, tasks), 0);
}

TEST(ProcessInstances, NoInstancesOrANegativeCountGiveNothing) {
  std::vector<PerfTask> tasks;
  EXPECT_EQ(Read(BlockBuilder().Build({}), tasks), 0);
  EXPECT_EQ(Read(BlockBuilder().Build({{u"worm", 5}}, {6, 784}, 784, -1), tasks), 0);
}

TEST(ProcessInstances, MoreInstancesDeclaredThanPresentEndAtTheBufferEnd) {
  auto block = BlockBuilder().Build({{u"a", 1}, {u"b", 2}}, {6, 784}, 784, 200);
  std::vector<PerfTask> tasks;
  EXPECT_EQ(Read(block, tasks), 2);
}

TEST(ProcessInstances, EveryTruncationStaysInsideTheBuffer) {
  auto whole = BlockBuilder().Build({{u"System", 4}, {u"worm", 1200}, {u"abcdefghijklmnopq", 7}});
  for (size_t length = 0; length <= whole.size(); ++length) {
    // A copy of exactly `length` bytes, so that the sanitizer sees any read past it.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[length ? length : 1]);
    memcpy(copy.get(), whole.data(), length);
    std::vector<PerfTask> tasks;
    int count = ReadProcessInstances(copy.get(), length, 784, ConvertAsciiInstanceName, tasks);
    EXPECT_LE(count, 3) << length;
    if (length == whole.size()) {
      EXPECT_EQ(count, 3);
    }
  }
}

// Offsets and counts that lead out of the block end the walk there; the
// sanitizers watch every read.
TEST(ProcessInstances, HostileOffsetsNeverReachOutside) {
  const auto block = BlockBuilder().Build({{u"worm", 5}});
  struct Case {
    const char* what;
    uint32_t field;
    std::vector<uint32_t> values;
    int instances;
    uint32_t processId;  // of the one instance found
  };
  const std::vector<uint32_t> outside = {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u};
  const Case cases[] = {
      {"the object past the end", 24, outside, 0, 0},
      {"the object inside the block's header, all zeros", 24, {1}, 0, 0},
      {"the instances past the end", 96 + 4, outside, 0, 0},
      {"the first instance's length read from the definition's", 96 + 4, {1}, 0, 0},
      // Either way the id counter is not found: offset 0 reads the counter
      // block's own length, 4 + 2 counters.
      {"the counter definitions past the end", 96 + 8, outside, 1, 12},
      {"the counter definitions inside the object's header", 96 + 8, {1}, 1, 12},
      {"more counters than the block holds: the id counter comes first", 96 + 32, outside, 1, 5},
      {"one counter, not the id counter", 96 + 32, {1}, 1, 12},
  };
  std::vector<PerfTask> tasks;
  for (const Case& c : cases) {
    for (uint32_t value : c.values) {
      SCOPED_TRACE(testing::Message() << c.what << ", 0x" << std::hex << value);
      auto spoiled = block;
      for (int i = 0; i < 4; ++i) spoiled[c.field + i] = static_cast<uint8_t>(value >> (8 * i));
      ASSERT_EQ(Read(spoiled, tasks), c.instances);
      if (c.instances) {
        EXPECT_STREQ(tasks[0].name, "worm");
        EXPECT_EQ(tasks[0].processId, c.processId);
      }
    }
  }
}

}  // namespace
