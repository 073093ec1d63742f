#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/VariantRecord.h"

namespace {

const char* const kSuffixes[kVariantCount] = {
    "Lax",  "Kzg",  "Lda",  "Lhs",  "Kqy",  "Knr",  "Kmq",  "Jre",  "Lda",  "Mae",  "Kiu",
    "Pzb",  "Ngt",  "Obk",  "Qas",  "Miz",  "Oxu",  "Uvy",  "Urc",  "Uvo",  "Twk",  "Uri",
    "Shi",  "Txy",  "Rvi",  "Qzj",  "Urv",  "Uwb",  "Urg",  "Rys",  "Rva",  "Tgc",  "Uwt",
    "Ucy",  "Uwa",  "Yoj",  "Umt",  "Zts",  "Ztq",  "Wys",  "Szz",  "Uxt",  "Usx",  "Wtl",
    "Uoe",  "Hsa",  "Abvm", "Aecs", "Axpl", "Axmw", "Aolo", "Axui", "Avfr", "Awdg", "Awrl",
    "Axod", "Axvi", "Aphq", "Awrs", "Aehf", "Axms", "Azyz", "Azsr", "Bcfx", "Axwu", "Axyl",
    "Bcli", "Bcme", "Aykl", "Bcmf", "Ayka", "Bduq", "Aywv", "Bclj", "Bghn", "Bcic", "Bctv",
    "Bcqh", "Bcnm", "Bcvl", "Bdte", "Bcwk", "Bcow", "Bchm", "Bcom", "Bcqg", "Bcwj", "Bcve",
    "Bdpi", "Bebo", "Bciw", "Bcoz", "Bcke", "Bcnn", "Bcon", "Bcyk", "Bdxe", "Bebb",
};

std::vector<uint8_t> Hex(const std::string& text) {
  std::istringstream in(text);
  std::vector<uint8_t> bytes;
  unsigned value;
  while (in >> std::hex >> value) bytes.push_back(static_cast<uint8_t>(value));
  return bytes;
}

void Append32(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A record's 108 bytes as they must lie in memory, built field by field.
std::vector<uint8_t> RecordBytes(const std::string& name, uint32_t firstDisplacement,
                                 const std::string& firstPattern, uint32_t secondDisplacement,
                                 const std::string& secondPattern, uint32_t size) {
  std::vector<uint8_t> bytes(name.begin(), name.end());
  bytes.resize(50, 0);
  for (auto group : {std::make_pair(firstDisplacement, firstPattern),
                     std::make_pair(secondDisplacement, secondPattern)}) {
    Append32(bytes, group.first);
    std::vector<uint8_t> pattern = Hex(group.second);
    EXPECT_EQ(pattern.size(), 20u);
    bytes.insert(bytes.end(), pattern.begin(), pattern.end());
    bytes.push_back(0);
  }
  Append32(bytes, size);
  Append32(bytes, 1);
  return bytes;
}

std::vector<uint8_t> TableBytes(int index) {
  const auto* start = reinterpret_cast<const uint8_t*>(&VariantTable[index]);
  return std::vector<uint8_t>(start, start + sizeof(VariantRecord));
}

std::string Pattern(const VariantPattern& pattern) {
  return std::string(reinterpret_cast<const char*>(pattern.bytes), sizeof pattern.bytes);
}

// How many patterns occur how often: {occurrences -> number of patterns}.
std::map<int, int> SharingCounts(const VariantPattern VariantRecord::*group) {
  std::map<std::string, int> occurrences;
  for (int i = 0; i < kVariantCount; ++i) ++occurrences[Pattern(VariantTable[i].*group)];
  std::map<int, int> counts;
  for (const auto& entry : occurrences) ++counts[entry.second];
  return counts;
}

TEST(VariantTable, NamesFollowTheFamilyPatternInTableOrder) {
  for (int i = 0; i < kVariantCount; ++i) {
    SCOPED_TRACE(i + 1);
    const VariantRecord& record = VariantTable[i];
    const std::string expected = std::string("W32/Morvo.") + kSuffixes[i] + ".Worm";
    ASSERT_EQ(std::string(record.name), expected);
    for (size_t at = expected.size(); at < sizeof record.name; ++at) EXPECT_EQ(record.name[at], 0);
  }
}

TEST(VariantTable, LdaIsNamedTwiceWithDifferentSizesAndPatterns) {
  const VariantRecord& third = VariantTable[2];
  const VariantRecord& ninth = VariantTable[8];
  EXPECT_STREQ(third.name, ninth.name);
  EXPECT_NE(third.fileSize, ninth.fileSize);
  EXPECT_NE(Pattern(third.first), Pattern(ninth.first));
  EXPECT_NE(Pattern(third.second), Pattern(ninth.second));
}

TEST(VariantTable, KnownRecordsAreExactToTheByte) {
  EXPECT_EQ(TableBytes(0),
            RecordBytes("W32/Morvo.Lax.Worm", 0x000013A0,
                        "23 D1 8A 06 88 07 46 C1 E9 02 47 83 F9 08 72 8C F3 A5 FF 24", 0x000099A0,
                        "7B B5 BD 43 B3 39 21 AF 9A 38 BE 52 52 C7 69 FD 7C C3 58 B4", 0x13000));
  EXPECT_EQ(TableBytes(2),
            RecordBytes("W32/Morvo.Lda.Worm", 0xFFFFFFB8,
                        "8A D8 8A FB 8B D1 57 8B 7C 24 0C C1 E9 02 8B C3 C1 E0 10 66", 0x000114F8,
                        "A3 44 E2 CC EF D0 D6 F5 A3 5C 64 83 EC DE 21 13 75 64 6F C4", 0x24800));
  EXPECT_EQ(TableBytes(9),
            RecordBytes("W32/Morvo.Mae.Worm", 0xFFFFAB0E,
                        "BA CA 11 C5 71 BC B6 E7 A3 9E 75 CE E6 51 09 B4 FA 53 2A 7C", 0xFFF8F62E,
                        "B5 E7 E0 66 DF A5 A6 E3 7E F8 C6 3C 43 47 F1 C6 B5 37 A2 37", 0x2F200));
}

TEST(VariantTable, EveryRecordWantsAnExactSize) {
  for (int i = 0; i < kVariantCount; ++i) EXPECT_EQ(VariantTable[i].sizeRule, kSizeExact) << i + 1;
}

TEST(VariantTable, SizesSpanTheirRangeAndNeverCollide) {
  std::vector<uint32_t> sizes;
  for (int i = 0; i < kVariantCount; ++i) sizes.push_back(VariantTable[i].fileSize);
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes.front(), 0xA3F7u);
  EXPECT_EQ(sizes.back(), 0xF0A69u);
  // Neighbours more than one byte apart: a file one byte longer or shorter
  // than one record's size never takes another record's.
  for (size_t i = 1; i < sizes.size(); ++i) EXPECT_GT(sizes[i] - sizes[i - 1], 1u) << sizes[i];
}

TEST(VariantTable, FirstPatternsRecurOnceFourTimesAndFourTimesTwice) {
  const std::map<int, int> expected = {{1, kVariantCount - 4 - 4 * 2}, {2, 4}, {4, 1}};
  EXPECT_EQ(SharingCounts(&VariantRecord::first), expected);
}

TEST(VariantTable, OneSecondPatternRecursTwice) {
  const std::map<int, int> expected = {{1, kVariantCount - 2}, {2, 1}};
  EXPECT_EQ(SharingCounts(&VariantRecord::second), expected);
}

TEST(VariantTable, NoTwoRecordsShareBothPatterns) {
  std::set<std::string> pairs;
  for (int i = 0; i < kVariantCount; ++i) {
    const VariantRecord& record = VariantTable[i];
    EXPECT_TRUE(pairs.insert(Pattern(record.first) + Pattern(record.second)).second) << i + 1;
  }
}

TEST(VariantTable, PatternEndBytesAreZero) {
  for (int i = 0; i < kVariantCount; ++i) {
    EXPECT_EQ(VariantTable[i].first.end, 0) << i + 1;
    EXPECT_EQ(VariantTable[i].second.end, 0) << i + 1;
  }
}

TEST(VariantTable, EndsWithAnAllZeroRecord) {
  EXPECT_EQ(TableBytes(kVariantCount), std::vector<uint8_t>(sizeof(VariantRecord), 0));
}

}  // namespace
