// PE header reading, address mapping and record tests over synthetic bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/PeHeaders.h"

namespace {

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t pointerToRawData;
};

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}
void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes.at(at) = static_cast<uint8_t>(value);
  bytes.at(at + 1) = static_cast<uint8_t>(value >> 8);
}

constexpr uint32_t kNewHeader = 0x80;
constexpr uint32_t kSizeOfHeaders = 0x400;
// Where a PE32 file keeps its section table, from the new header: "PE\0\0",
// the 20-byte file header and the 224-byte optional header. Written out
// rather than taken from the code under test (PE32+ would put it at 264).
constexpr uint32_t kSectionTable = 4 + 20 + 224;

// A file of `size` bytes with the headers the check reads and nothing else.
std::vector<uint8_t> MakePe(uint32_t size, uint32_t entryPoint, const std::vector<Section>& sections,
                            uint16_t sectionCount = 0xFFFF) {
  std::vector<uint8_t> bytes(size, 0xCC);
  Put32(bytes, 0x3C, kNewHeader);
  memcpy(&bytes[kNewHeader], "PE\0\0", 4);
  Put16(bytes, kNewHeader + 4 + 2, sectionCount == 0xFFFF ? sections.size() : sectionCount);
  Put32(bytes, kNewHeader + 24 + 16, entryPoint);
  Put32(bytes, kNewHeader + 24 + 60, kSizeOfHeaders);
  for (size_t i = 0; i < sections.size(); ++i) {
    size_t at = kNewHeader + kSectionTable + i * 40;
    Put32(bytes, at + 8, sections[i].virtualSize);
    Put32(bytes, at + 12, sections[i].virtualAddress);
    Put32(bytes, at + 20, sections[i].pointerToRawData);
  }
  return bytes;
}

bool Read(const std::vector<uint8_t>& bytes, PeHeaderState& state) {
  MemoryByteReader reader(bytes.data(), static_cast<uint32_t>(bytes.size()));
  state.fileLength = static_cast<int32_t>(bytes.size());
  return ReadPeHeaders(reader, state);
}

TEST(ReadPeHeaders, AcceptsAMinimalPeAndReadsItsFields) {
  auto bytes = MakePe(0x2000, 0x1234, {{0x1000, 0x800, 0x400}});
  PeHeaderState state;
  ASSERT_TRUE(Read(bytes, state));
  EXPECT_EQ(state.newHeaderOffset, kNewHeader);
  EXPECT_EQ(state.NumberOfSections(), 1);
  EXPECT_EQ(state.EntryPoint(), 0x1234u);
  EXPECT_EQ(state.SizeOfHeaders(), kSizeOfHeaders);
  EXPECT_EQ(state.SectionVirtualAddress(0), 0x1000u);
  EXPECT_EQ(state.SectionPointerToRawData(0), 0x400u);
}

TEST(ReadPeHeaders, RefusesFilesThatAreNotAcceptablePe) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  auto base = MakePe(0x1000, 0, {});
  auto withSignature = [&](const char* signature) {
    auto bytes = base;
    memcpy(&bytes[kNewHeader], signature, 4);
    return bytes;
  };
  auto withNewHeader = [&](uint32_t offset) {
    auto bytes = base;
    Put32(bytes, 0x3C, offset);
    return bytes;
  };
  std::vector<Case> cases = {
      {"empty file", {}},
      {"63 bytes", std::vector<uint8_t>(base.begin(), base.begin() + 63)},
      {"signature PE\\0\\1", withSignature("PE\0\1")},
      {"signature pe\\0\\0", withSignature("pe\0\0")},
      {"signature NE", withSignature("NE\0\0")},
      {"e_lfanew past the end", withNewHeader(0x1000)},
      {"e_lfanew of 2^31 and more", withNewHeader(0x80000000u)},
      {"e_lfanew wrapping the file header read", withNewHeader(0xFFFFFFFEu)},
      {"optional header cut short", std::vector<uint8_t>(base.begin(), base.begin() + kNewHeader + 24 + 95)},
      {"21 sections", MakePe(0x2000, 0, std::vector<Section>(21, {0x1000, 0x100, 0x400}))},
      {"section table cut short", MakePe(kNewHeader + kSectionTable + 79, 0, {}, 2)},
  };
  for (const Case& c : cases) {
    PeHeaderState state;
    EXPECT_FALSE(Read(c.bytes, state)) << c.what;
  }
}

TEST(ReadPeHeaders, TakesZeroAndTwentySections) {
  PeHeaderState state;
  EXPECT_TRUE(Read(MakePe(0x1000, 0, {}), state));
  EXPECT_EQ(state.NumberOfSections(), 0);
  EXPECT_TRUE(Read(MakePe(0x2000, 0, std::vector<Section>(20, {0x1000, 0x100, 0x400})), state));
  EXPECT_EQ(state.NumberOfSections(), 20);
}

TEST(ReadPeHeaders, ClearsSectionsLeftFromTheFileBefore) {
  PeHeaderState state;
  ASSERT_TRUE(Read(MakePe(0x2000, 0, std::vector<Section>(20, {0x1000, 0x100, 0x400})), state));
  ASSERT_TRUE(Read(MakePe(0x2000, 0, {}), state));
  EXPECT_EQ(state.SectionVirtualAddress(0), 0u);
  EXPECT_EQ(state.SectionPointerToRawData(19), 0u);
}

struct MappingCase {
  const char* what;
  std::vector<Section> sections;
  uint32_t fileLength;
  uint32_t rva;
  uint32_t expected;
};

TEST(RvaToFileOffset, FollowsTheMappingRules) {
  const std::vector<Section> two = {{0x1000, 0x2000, 0x400}, {0x3000, 0x1000, 0x2400}};
  const std::vector<MappingCase> cases = {
      {"inside the first section", two, 0x10000, 0x1500, 0x900},
      {"inside the second section", two, 0x10000, 0x3500, 0x2900},
      {"below the first section: first section's delta", {{0x1000, 0x1000, 0x1800}}, 0x10000, 0x800, 0x1000},
      {"past the last section: last section's delta", two, 0x10000, 0x5000, 0x4400},
      {"first section whose end exceeds, not the one containing",
       {{0x2000, 0x1000, 0x3000}, {0x1000, 0x1000, 0x8000}}, 0x10000, 0x1800, 0x2800},
      {"offset at the end of the file falls back to the address", two, 0x3300, 0x3F00, 0x3F00},
      {"offset just inside the file is kept", two, 0x3301, 0x3F00, 0x3300},
      {"offset 0 becomes SizeOfHeaders", {{0x1000, 0x1000, 0x400}}, 0x10000, 0xC00, kSizeOfHeaders},
      {"no sections: the address itself", {}, 0x10000, 0x2345, 0x2345},
      {"no sections, address 0: SizeOfHeaders", {}, 0x10000, 0, kSizeOfHeaders},
      {"no sections, address past the end: itself", {}, 0x1000, 0x2345, 0x2345},
      {"wrapped address maps through the last section, then falls back", two, 0x10000, 0xFFFFFF00u,
       0xFFFFFF00u},
  };
  for (const MappingCase& c : cases) {
    auto bytes = MakePe(0x1000, 0, c.sections);
    PeHeaderState state;
    ASSERT_TRUE(Read(bytes, state)) << c.what;
    state.fileLength = static_cast<int32_t>(c.fileLength);
    EXPECT_EQ(RvaToFileOffset(c.rva, state), c.expected) << c.what;
  }
}

VariantRecord MakeRecord(const char* name, int32_t first, int32_t second, uint32_t size,
                         uint32_t rule = kSizeExact, uint8_t seed = 1) {
  VariantRecord record = {};
  strncpy(record.name, name, sizeof record.name - 1);
  record.first.displacement = first;
  record.second.displacement = second;
  for (int i = 0; i < 20; ++i) {
    record.first.bytes[i] = static_cast<uint8_t>(seed * 7 + i);
    record.second.bytes[i] = static_cast<uint8_t>(seed * 13 + 3 * i);
  }
  record.fileSize = size;
  record.sizeRule = rule;
  return record;
}

// A file of `size` bytes, one section at 0x1000 from 0x400, entry 0x1100,
// holding `record`'s patterns where its probes land.
std::vector<uint8_t> MakeMatchingFile(const VariantRecord& record, uint32_t size) {
  auto bytes = MakePe(size, 0x1100, {{0x1000, 0x10000, 0x400}});
  auto place = [&](const VariantPattern& pattern) {
    uint32_t offset = 0x1100 + pattern.displacement - 0x1000 + 0x400;
    memcpy(&bytes.at(offset), pattern.bytes, sizeof pattern.bytes);
  };
  place(record.first);
  place(record.second);
  return bytes;
}

bool Matches(const VariantRecord& record, const std::vector<uint8_t>& bytes) {
  PeHeaderState state;
  if (!Read(bytes, state)) return false;
  MemoryByteReader reader(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return RecordMatches(record, state, reader);
}

TEST(RecordMatches, NeedsTheSizeRuleAndBothPatterns) {
  VariantRecord record = MakeRecord("W32/Morvo.Test.Worm", 0x200, -0x80, 0x3000);
  auto bytes = MakeMatchingFile(record, 0x3000);
  EXPECT_TRUE(Matches(record, bytes));

  auto firstOff = bytes;
  firstOff[0x1100 + 0x200 - 0x1000 + 0x400 + 19] ^= 1;
  EXPECT_FALSE(Matches(record, firstOff));
  auto secondOff = bytes;
  secondOff[0x1100 - 0x80 - 0x1000 + 0x400] ^= 0x80;
  EXPECT_FALSE(Matches(record, secondOff));
  EXPECT_FALSE(Matches(record, MakeMatchingFile(record, 0x3001)));
}

TEST(RecordMatches, APatternRunningPastTheEndFails) {
  VariantRecord record = MakeRecord("W32/Morvo.Test.Worm", 0x200, 0, 0x1000, kSizeAny);
  auto bytes = MakeMatchingFile(record, 0x1000);
  EXPECT_TRUE(Matches(record, bytes));
  record.second.displacement = 0x1000 - 0x1100 + 0x1000 - 0x400 - 19;  // 19 bytes left in the file
  EXPECT_FALSE(Matches(record, bytes));
}

TEST(RecordMatches, AWrappedDisplacementFailsTheRead) {
  // Entry 0x1100 minus 0x2000 wraps to 0xFFFFF100; it maps through the last
  // section to an offset past the file, falls back to the address, and a
  // position of 2^31 or more cannot be read.
  VariantRecord record = MakeRecord("W32/Morvo.Test.Worm", -0x2000, 0, 0x3000);
  auto bytes = MakeMatchingFile(MakeRecord("x", 0, 0, 0), 0x3000);
  EXPECT_FALSE(Matches(record, bytes));
}

TEST(SizeRulePasses, ComparesByRule) {
  struct Case {
    uint32_t rule;
    uint32_t size;
    int32_t length;
    bool passes;
  };
  const Case cases[] = {
      {kSizeExact, 0x13000, 0x13000, true},  {kSizeExact, 0x13000, 0x13001, false},
      {kSizeExact, 0x13000, 0x12FFF, false}, {kSizeNear, 0x13000, 0x13000 + 4095, true},
      {kSizeNear, 0x13000, 0x13000 - 4095, true}, {kSizeNear, 0x13000, 0x13000 + 4096, false},
      {kSizeNear, 0x13000, 0x13000 - 4096, false}, {kSizeAny, 0x13000, 7, true},
      {kSizeAny, 0, 0x7FFFFFFF, true},       {0, 0x13000, 0x13000, false},
      {4, 0x13000, 0x13000, false},          {0xFFFFFFFFu, 0x13000, 0x13000, false},
      {kSizeNear, 0xFFFFFFFFu, 0x7FFFFFFF, false},
  };
  for (const Case& c : cases) {
    VariantRecord record = MakeRecord("x", 0, 0, c.size, c.rule);
    EXPECT_EQ(SizeRulePasses(record, c.length), c.passes)
        << "rule " << c.rule << " size " << c.size << " length " << c.length;
  }
}

TEST(FindMatchingRecord, TheFirstMatchingRecordWinsAndTheTerminatorEndsTheSearch) {
  // Two records of one name with different sizes: the file's size picks one.
  VariantRecord table[] = {
      MakeRecord("W32/Morvo.Lda.Worm", 0x100, 0x300, 0x5000, kSizeExact, 1),
      MakeRecord("W32/Morvo.Kzg.Worm", 0x100, 0x300, 0x6000, kSizeAny, 2),
      MakeRecord("W32/Morvo.Lda.Worm", 0x100, 0x300, 0x6000, kSizeExact, 2),
      {},
      MakeRecord("W32/Morvo.After.Worm", 0x100, 0x300, 0x6000, kSizeAny, 3),
  };
  PeHeaderState state;
  auto second = MakeMatchingFile(table[2], 0x6000);
  ASSERT_TRUE(Read(second, state));
  MemoryByteReader reader(second.data(), static_cast<uint32_t>(second.size()));
  EXPECT_EQ(FindMatchingRecord(table, state, reader), &table[1]);  // same patterns, earlier

  table[1].sizeRule = 0;
  EXPECT_EQ(FindMatchingRecord(table, state, reader), &table[2]);

  auto first = MakeMatchingFile(table[0], 0x5000);
  ASSERT_TRUE(Read(first, state));
  MemoryByteReader firstReader(first.data(), static_cast<uint32_t>(first.size()));
  EXPECT_EQ(FindMatchingRecord(table, state, firstReader), &table[0]);

  auto after = MakeMatchingFile(table[4], 0x6000);
  ASSERT_TRUE(Read(after, state));
  MemoryByteReader afterReader(after.data(), static_cast<uint32_t>(after.size()));
  EXPECT_EQ(FindMatchingRecord(table, state, afterReader), nullptr);
}

}  // namespace
