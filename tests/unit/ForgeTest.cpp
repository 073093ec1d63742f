#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/PeHeaders.h"
#include "tools/forge/Forge.h"

namespace {

using forge::Bitness;
using forge::NearMiss;

constexpr uint32_t kNewHeader = 0x40;  // where the forge puts the PE header
constexpr uint32_t kOptionalHeader = kNewHeader + 24;

uint32_t Read16(const std::vector<uint8_t>& file, uint32_t at) {
  return static_cast<uint32_t>(file.at(at) | file.at(at + 1) << 8);
}
uint32_t Read32(const std::vector<uint8_t>& file, uint32_t at) {
  return Read16(file, at) | Read16(file, at + 2) << 16;
}

// The check's view of a sample: its headers, read as the scanner reads them.
struct Examined {
  explicit Examined(const std::vector<uint8_t>& bytes)
      : file(bytes), reader(file.data(), static_cast<uint32_t>(file.size())) {
    state.fileLength = static_cast<int32_t>(file.size());
    headersRead = ReadPeHeaders(reader, state);
  }
  const VariantRecord* Match() {
    return headersRead ? FindMatchingRecord(VariantTable, state, reader) : nullptr;
  }
  // A file offset of an image address, through the sections as the check maps it.
  uint32_t At(uint32_t address) const { return RvaToFileOffset(address, state); }
  std::string StringAt(uint32_t address) const {
    return std::string(reinterpret_cast<const char*>(&file.at(At(address))));
  }

  std::vector<uint8_t> file;
  MemoryByteReader reader;
  PeHeaderState state{};
  bool headersRead = false;
};

const NearMiss kNearMisses[] = {NearMiss::FirstPatternByte, NearMiss::SecondPatternByte,
                                NearMiss::SizePlusOne, NearMiss::SizeMinusOne,
                                NearMiss::TwentyOneSections};

TEST(Forge, InertSampleOfEveryRecordIsNamedByThatRecordAlone) {
  for (int i = 0; i < kVariantCount; ++i) {
    SCOPED_TRACE(i + 1);
    const VariantRecord& record = VariantTable[i];
    Examined sample(forge::MakeInertSample(record));
    ASSERT_EQ(sample.file.size(), record.fileSize);
    ASSERT_TRUE(sample.headersRead);
    EXPECT_EQ(sample.Match(), &record);
    EXPECT_GE(sample.state.NumberOfSections(), 1);
  }
}

TEST(Forge, InertSampleCannotRun) {
  for (int i = 0; i < kVariantCount; ++i) {
    SCOPED_TRACE(i + 1);
    Examined sample(forge::MakeInertSample(VariantTable[i]));
    EXPECT_EQ(Read16(sample.file, kNewHeader + 4), 0u) << "a machine that a loader would accept";
    EXPECT_NE(Read16(sample.file, kNewHeader + 22) & 0x2000, 0u) << "not a DLL";
    const uint32_t entry = sample.At(sample.state.EntryPoint());
    for (uint32_t at = entry; at < entry + 16; ++at) EXPECT_EQ(sample.file.at(at), 0xCC);
  }
}

TEST(Forge, LdaSecondRecordSampleIsNamedByTheSecondRecord) {
  Examined ninth(forge::MakeInertSample(VariantTable[8]));
  EXPECT_EQ(ninth.Match(), &VariantTable[8]);
  Examined third(forge::MakeInertSample(VariantTable[2]));
  EXPECT_EQ(third.Match(), &VariantTable[2]);
  EXPECT_STREQ(ninth.Match()->name, "W32/Morvo.Lda.Worm");
}

TEST(Forge, FarReachingRecordSamplesPutTheEntryPointAboveTheReach) {
  Examined mae(forge::MakeInertSample(VariantTable[9]));
  EXPECT_GT(mae.state.EntryPoint(), 461266u);
  EXPECT_GE(mae.state.NumberOfSections(), 2) << "one section cannot hold both probes in this size";
  EXPECT_EQ(mae.Match(), &VariantTable[9]);
}

TEST(Forge, StandInOfEveryRecordIsNamedByThatRecord) {
  for (Bitness bitness : {Bitness::Pe32Plus, Bitness::Pe32}) {
    for (int i = 0; i < kVariantCount; ++i) {
      SCOPED_TRACE(testing::Message()
                   << "record " << i + 1 << (bitness == Bitness::Pe32 ? " PE32" : ""));
      const VariantRecord& record = VariantTable[i];
      Examined program(forge::MakeStandIn(record, bitness));
      ASSERT_EQ(program.file.size(), record.fileSize);
      ASSERT_TRUE(program.headersRead);
      EXPECT_EQ(program.Match(), &record);
    }
  }
}

TEST(Forge, StandInHeadersDescribeAFixedConsoleProgram) {
  for (Bitness bitness : {Bitness::Pe32Plus, Bitness::Pe32}) {
    const bool wide = bitness == Bitness::Pe32Plus;
    SCOPED_TRACE(wide ? "PE32+" : "PE32");
    Examined program(forge::MakeStandIn(VariantTable[0], bitness));
    const std::vector<uint8_t>& file = program.file;
    EXPECT_EQ(Read16(file, 0), 0x5A4Du);
    EXPECT_EQ(Read16(file, kNewHeader + 4), wide ? 0x8664u : 0x014Cu);
    EXPECT_EQ(Read16(file, kNewHeader + 20), 224u);
    const uint32_t characteristics = Read16(file, kNewHeader + 22);
    EXPECT_NE(characteristics & 0x0001, 0u) << "relocations not stripped";
    EXPECT_NE(characteristics & 0x0002, 0u) << "not executable";
    EXPECT_EQ(characteristics & 0x2000, 0u) << "a DLL";
    EXPECT_EQ(Read16(file, kOptionalHeader), wide ? 0x20Bu : 0x10Bu);
    EXPECT_EQ(Read16(file, kOptionalHeader + 68), 3u);
    if (wide) {
      EXPECT_EQ(Read32(file, kOptionalHeader + 24), 0x40000000u);
      EXPECT_EQ(Read32(file, kOptionalHeader + 28), 0x1u);
      EXPECT_EQ(Read32(file, kOptionalHeader + 108), 14u);
    } else {
      EXPECT_EQ(Read32(file, kOptionalHeader + 28), 0x400000u);
      EXPECT_EQ(Read32(file, kOptionalHeader + 92), 16u);
    }
    // The image reaches exactly to the end of its last section.
    const int last = program.state.NumberOfSections() - 1;
    EXPECT_EQ(Read32(file, kOptionalHeader + 56),
              program.state.SectionVirtualAddress(last) + program.state.SectionVirtualSize(last));
  }
}

// Follows the import directory the way a loader does.
TEST(Forge, StandInImportsSleepAndExitProcessFromKernel32) {
  for (Bitness bitness : {Bitness::Pe32Plus, Bitness::Pe32}) {
    const bool wide = bitness == Bitness::Pe32Plus;
    SCOPED_TRACE(wide ? "PE32+" : "PE32");
    for (int record : {0, 2, 9, 97}) {
      SCOPED_TRACE(record + 1);
      Examined program(forge::MakeStandIn(VariantTable[record], bitness));
      const uint32_t directories = kOptionalHeader + (wide ? 112 : 96);
      const uint32_t imports = Read32(program.file, directories + 8);
      ASSERT_NE(imports, 0u);
      const uint32_t descriptor = program.At(imports);
      EXPECT_EQ(program.StringAt(Read32(program.file, descriptor + 12)), "KERNEL32.dll");
      const uint32_t slotWidth = wide ? 8 : 4;
      std::vector<std::string> names;
      for (uint32_t table :
           {Read32(program.file, descriptor), Read32(program.file, descriptor + 16)}) {
        for (uint32_t slot = 0;; slot += slotWidth) {
          const uint32_t name = Read32(program.file, program.At(table + slot));
          if (name == 0) break;
          names.push_back(program.StringAt(name + 2));
        }
      }
      EXPECT_EQ(names, (std::vector<std::string>{"Sleep", "ExitProcess", "Sleep", "ExitProcess"}));
      // The second descriptor ends the list.
      for (uint32_t at = descriptor + 20; at < descriptor + 40; ++at)
        EXPECT_EQ(program.file.at(at), 0);
      EXPECT_EQ(Read32(program.file, directories + 12 * 8), Read32(program.file, descriptor + 16));
    }
  }
}

// The entry code: a loop that calls through Sleep's address-table slot and
// jumps back, intact where the patterns were placed around it.
TEST(Forge, StandInEntryCodeLoopsOnSleep) {
  for (int i = 0; i < kVariantCount; ++i) {
    SCOPED_TRACE(i + 1);
    Examined wide(forge::MakeStandIn(VariantTable[i], Bitness::Pe32Plus));
    const uint32_t entry = wide.state.EntryPoint();
    const uint32_t sleepSlot = Read32(wide.file, kOptionalHeader + 112 + 12 * 8);
    const uint32_t code = wide.At(entry);
    const std::vector<uint8_t> start(wide.file.begin() + code, wide.file.begin() + code + 11);
    EXPECT_EQ(start, (std::vector<uint8_t>{0x48, 0x83, 0xEC, 0x28, 0xB9, 0xE8, 0x03, 0x00, 0x00,
                                           0xFF, 0x15}));
    EXPECT_EQ(entry + 15 + Read32(wide.file, code + 11), sleepSlot);
    EXPECT_EQ(wide.file.at(code + 15), 0xEB);
    EXPECT_EQ(static_cast<int8_t>(wide.file.at(code + 16)), 4 - 17);

    Examined narrow(forge::MakeStandIn(VariantTable[i], Bitness::Pe32));
    const uint32_t narrowCode = narrow.At(narrow.state.EntryPoint());
    const uint32_t narrowSlot = Read32(narrow.file, kOptionalHeader + 96 + 12 * 8);
    EXPECT_EQ(narrow.file.at(narrowCode), 0x68);
    EXPECT_EQ(Read32(narrow.file, narrowCode + 1), 1000u);
    EXPECT_EQ(Read16(narrow.file, narrowCode + 5), 0x15FFu);
    EXPECT_EQ(Read32(narrow.file, narrowCode + 7), 0x400000u + narrowSlot);
    EXPECT_EQ(static_cast<int8_t>(narrow.file.at(narrowCode + 12)), 0 - 13);
  }
}

TEST(Forge, EveryNearMissOfEveryRecordIsClean) {
  for (int i = 0; i < kVariantCount; ++i) {
    for (NearMiss kind : kNearMisses) {
      SCOPED_TRACE(testing::Message() << "record " << i + 1 << " kind " << static_cast<int>(kind));
      Examined sample(forge::MakeNearMiss(VariantTable[i], kind));
      EXPECT_EQ(sample.headersRead, kind != NearMiss::TwentyOneSections);
      EXPECT_EQ(sample.Match(), nullptr);
    }
  }
}

TEST(Forge, NearMissesDifferFromTheInertSampleOnlyAsNamed) {
  for (int i = 0; i < kVariantCount; ++i) {
    SCOPED_TRACE(i + 1);
    const std::vector<uint8_t> inert = forge::MakeInertSample(VariantTable[i]);
    for (NearMiss flipped : {NearMiss::FirstPatternByte, NearMiss::SecondPatternByte}) {
      const std::vector<uint8_t> spoiled = forge::MakeNearMiss(VariantTable[i], flipped);
      ASSERT_EQ(spoiled.size(), inert.size());
      size_t differences = 0;
      for (size_t at = 0; at < inert.size(); ++at) differences += spoiled[at] != inert[at];
      EXPECT_EQ(differences, 1u);
    }
    std::vector<uint8_t> longer = forge::MakeNearMiss(VariantTable[i], NearMiss::SizePlusOne);
    ASSERT_EQ(longer.size(), inert.size() + 1);
    longer.pop_back();
    EXPECT_EQ(longer, inert);
    const std::vector<uint8_t> shorter =
        forge::MakeNearMiss(VariantTable[i], NearMiss::SizeMinusOne);
    ASSERT_EQ(shorter.size(), inert.size() - 1);
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), inert.begin()));
  }
}

// Only the section count keeps the 21-section sample clean: read with one
// section fewer, its bytes name the record.
TEST(Forge, TwentyOneSectionSampleMatchesOnceTheCountIsLowered) {
  for (int i = 0; i < kVariantCount; ++i) {
    SCOPED_TRACE(i + 1);
    std::vector<uint8_t> file = forge::MakeNearMiss(VariantTable[i], NearMiss::TwentyOneSections);
    ASSERT_EQ(file.size(), VariantTable[i].fileSize);
    ASSERT_EQ(Read16(file, kNewHeader + 6), 21u);
    file[kNewHeader + 6] = 20;
    Examined lowered(file);
    ASSERT_TRUE(lowered.headersRead);
    EXPECT_EQ(lowered.Match(), &VariantTable[i]);
  }
}

TEST(Forge, RecordsThatCannotBeLaidOutAreRefused) {
  VariantRecord overlapping = VariantTable[0];
  overlapping.second.displacement = overlapping.first.displacement + 10;
  EXPECT_THROW(forge::MakeInertSample(overlapping), forge::LayoutError);
  VariantRecord onTheEntryCode = VariantTable[0];
  onTheEntryCode.first.displacement = 0x10;
  EXPECT_THROW(forge::MakeStandIn(onTheEntryCode, Bitness::Pe32Plus), forge::LayoutError);
  VariantRecord tooSmall = VariantTable[0];
  tooSmall.fileSize = 0x800;
  EXPECT_THROW(forge::MakeInertSample(tooSmall), forge::LayoutError);
}

}  // namespace
