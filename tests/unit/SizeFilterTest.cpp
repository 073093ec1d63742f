// The size prefilter against the size rules themselves: for every length it
// must accept exactly when some record's rule passes (below 2 GiB).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/PeHeaders.h"
#include "engine/SizeFilter.h"

namespace {

VariantRecord Record(uint32_t size, uint32_t rule) {
  VariantRecord record = {};
  strcpy(record.name, "W32/Morvo.Test.Worm");
  record.fileSize = size;
  record.sizeRule = rule;
  return record;
}

// The table with its terminator.
std::vector<VariantRecord> Table(std::vector<VariantRecord> records) {
  records.push_back(VariantRecord{});
  return records;
}

bool AnyRulePasses(const std::vector<VariantRecord>& table, uint64_t length) {
  if (length > 0x7FFFFFFF) return false;
  for (const VariantRecord& record : table)
    if (record.name[0] != '\0' && SizeRulePasses(record, static_cast<int32_t>(length))) return true;
  return false;
}

// Every length within 4097 bytes of a record's size, both ends of the range
// and a spread of others.
std::vector<uint64_t> Lengths(const std::vector<VariantRecord>& table) {
  std::vector<uint64_t> lengths = {0, 1, 4095, 4096, 4097, 0x7FFFFFFE, 0x7FFFFFFF, 0x80000000ull,
                                   0xFFFFFFFFull, 0x100000000ull + 0x13000};
  for (const VariantRecord& record : table) {
    if (record.name[0] == '\0') continue;
    for (int64_t delta = -4097; delta <= 4097; ++delta) {
      int64_t length = static_cast<int64_t>(record.fileSize) + delta;
      if (length >= 0) lengths.push_back(static_cast<uint64_t>(length));
    }
  }
  std::mt19937 random(8);
  for (int i = 0; i < 20000; ++i) lengths.push_back(random() % 0x120000);
  return lengths;
}

void ExpectSameAsRules(const std::vector<VariantRecord>& table, const char* what) {
  SizeFilter filter;
  filter.Build(table.data());
  for (uint64_t length : Lengths(table))
    ASSERT_EQ(filter.Accepts(length), AnyRulePasses(table, length)) << what << ", length " << length;
}

TEST(SizeFilter, AcceptsExactlyTheLengthsThatSomeSizeRulePasses) {
  std::vector<VariantRecord> program(VariantTable, VariantTable + kVariantCount + 1);
  ExpectSameAsRules(program, "the program's table");
  ExpectSameAsRules(Table({Record(0x13000, kSizeNear)}), "one near record");
  // Overlapping and touching windows, an exact size inside a window, sizes
  // below the tolerance, and a rule that never passes.
  ExpectSameAsRules(Table({Record(50000, kSizeNear), Record(54000, kSizeNear), Record(62190, kSizeNear),
                           Record(62190 + 8191, kSizeNear), Record(51000, kSizeExact),
                           Record(100, kSizeNear), Record(0, kSizeExact), Record(70000, 7),
                           Record(90000, kSizeExact)}),
                    "a mixed table");
  ExpectSameAsRules(Table({Record(0xFFFFFFFFu, kSizeNear), Record(0x7FFFFFFF, kSizeExact)}),
                    "sizes at the top of the range");
  ExpectSameAsRules(Table({Record(70000, 0), Record(70000, 4)}), "rules that never pass");
  ExpectSameAsRules(Table({}), "an empty table");
}

TEST(SizeFilter, ARuleThreeRecordAcceptsEveryLengthTheCheckCanHold) {
  std::vector<VariantRecord> table = Table({Record(0x13000, kSizeExact), Record(5, kSizeAny)});
  ExpectSameAsRules(table, "exact and any");
  SizeFilter filter;
  filter.Build(table.data());
  EXPECT_TRUE(filter.Accepts(0));
  EXPECT_TRUE(filter.Accepts(0x7FFFFFFF));
  EXPECT_FALSE(filter.Accepts(0x80000000ull));
}

TEST(SizeFilter, AnUnbuiltOrOverfullFilterRulesNothingOutBelowTwoGiB) {
  SizeFilter unbuilt;
  EXPECT_TRUE(unbuilt.Accepts(12345));
  EXPECT_TRUE(unbuilt.Accepts(0x80000000ull));

  std::vector<VariantRecord> many;
  for (int i = 0; i <= SizeFilter::kCapacity; ++i) many.push_back(Record(1000 + 10 * i, kSizeExact));
  many = Table(many);
  SizeFilter overfull;
  overfull.Build(many.data());
  EXPECT_TRUE(overfull.Accepts(1001));  // matches no record, but the filter cannot tell
  EXPECT_TRUE(overfull.Accepts(1000));
  EXPECT_FALSE(overfull.Accepts(0x80000000ull));

  many.erase(many.begin());  // exactly at the capacity: a real filter again
  SizeFilter full;
  full.Build(many.data());
  EXPECT_FALSE(full.Accepts(1001));
  EXPECT_TRUE(full.Accepts(1010));
}

}  // namespace
