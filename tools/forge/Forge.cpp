#include "tools/forge/Forge.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "engine/PeHeaders.h"

namespace forge {
namespace {

constexpr uint32_t kNewHeaderOffset = 0x40;
// The optional header of a PE32 file, also for PE32+ (14 data directories
// instead of 16): the check reads the section table where a PE32 file has it.
constexpr uint32_t kOptionalHeaderLength = 224;
constexpr uint32_t kSectionHeaderLength = 40;
// Where the headers written here put the table ("PE\0\0", the file header,
// the optional header), not where the check looks for it: the tests compare the two.
constexpr uint32_t kSectionTableStart = kNewHeaderOffset + 4 + 20 + kOptionalHeaderLength;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kFirstSectionAddress = kSectionAlignment;
constexpr uint32_t kPatternLength = sizeof(VariantPattern::bytes);
constexpr int kPaddedSectionCount = kMaxSections + 1;
// Pieces closer than this share a section; farther apart, a section of their
// own costs less file than the bytes between them would.
constexpr uint32_t kOwnSectionDistance = 0x2000;
// Image addresses stay below 2^31, where the check's positions turn negative.
constexpr uint64_t kHighestAddress = 0x7FFF0000;

uint32_t AlignUp(uint64_t value, uint32_t alignment) {
  return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}
uint32_t AlignDown(uint32_t value, uint32_t alignment) { return value / alignment * alignment; }

void Put16(std::vector<uint8_t>& file, uint32_t at, uint16_t value) {
  file[at] = static_cast<uint8_t>(value);
  file[at + 1] = static_cast<uint8_t>(value >> 8);
}
void Put32(std::vector<uint8_t>& file, uint32_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
void Put64(std::vector<uint8_t>& file, uint32_t at, uint64_t value) {
  for (int i = 0; i < 8; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
void PutBytes(std::vector<uint8_t>& file, uint32_t at, const std::vector<uint8_t>& bytes) {
  std::copy(bytes.begin(), bytes.end(), file.begin() + at);
}

// Bytes wanted at an image address.
struct Piece {
  uint32_t address;
  std::vector<uint8_t> bytes;
  uint32_t End() const { return address + static_cast<uint32_t>(bytes.size()); }
};

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawOffset;
  uint32_t rawSize;
  bool holdsEntry;
};

struct Layout {
  uint32_t sizeOfHeaders;
  uint32_t sizeOfImage;
  std::vector<Section> sections;

  // The file offset of an address inside a section's raw data. The loader
  // and the check agree on it: each section's virtual range reaches up to the
  // next section, so the first section ending above an address contains it.
  uint32_t FileOffset(uint32_t address) const {
    for (const Section& section : sections) {
      if (address - section.virtualAddress < section.rawSize)
        return section.rawOffset + (address - section.virtualAddress);
    }
    throw LayoutError("address outside every section's raw data");
  }
};

// The entry point lies as low as the lowest probe allows: every probe address
// is then at least the first section's address, however far below the entry
// point a displacement reaches.
uint32_t ChooseEntryPoint(const VariantRecord& record) {
  constexpr int64_t kRoomBelowLowest = 0x10;
  constexpr int64_t kRoomAboveEntry = 0x1000;
  const int64_t lowest =
      std::min<int64_t>({0, record.first.displacement, record.second.displacement});
  const int64_t entryPoint = AlignUp(kFirstSectionAddress + kRoomBelowLowest - lowest, 16);
  if (entryPoint + kRoomAboveEntry > static_cast<int64_t>(kHighestAddress))
    throw LayoutError("the entry point lies beyond the highest usable image address");
  return static_cast<uint32_t>(entryPoint);
}

uint32_t ProbeAddress(uint32_t entryPoint, const VariantPattern& pattern) {
  const int64_t address = static_cast<int64_t>(entryPoint) + pattern.displacement;
  if (address + kPatternLength > static_cast<int64_t>(kHighestAddress))
    throw LayoutError("a probe lies beyond the highest usable image address");
  return static_cast<uint32_t>(address);
}

std::vector<uint8_t> PatternBytes(const VariantPattern& pattern) {
  return std::vector<uint8_t>(pattern.bytes, pattern.bytes + kPatternLength);
}

// Sections for the pieces: neighbouring pieces share one, distant ones get
// their own, and the sections are contiguous in the image (as loaders require)
// while their raw data follows the headers back to back.
Layout PlanSections(std::vector<Piece> pieces, uint32_t entryPoint, uint32_t sizeOfHeaders,
                    uint32_t fileSize) {
  std::sort(pieces.begin(), pieces.end(),
            [](const Piece& a, const Piece& b) { return a.address < b.address; });
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (pieces[i].address < pieces[i - 1].End())
      throw LayoutError("the probes overlap each other or the entry code");
  }
  Layout layout{sizeOfHeaders, 0, {}};
  uint32_t clusterEnd = 0;
  for (const Piece& piece : pieces) {
    if (layout.sections.empty() || piece.address >= clusterEnd + kOwnSectionDistance) {
      Section section{};
      section.virtualAddress = layout.sections.empty()
                                   ? kFirstSectionAddress
                                   : AlignDown(piece.address, kSectionAlignment);
      layout.sections.push_back(section);
    }
    clusterEnd = piece.End();
    Section& section = layout.sections.back();
    section.rawSize = AlignUp(clusterEnd - section.virtualAddress, kFileAlignment);
    if (entryPoint - section.virtualAddress < section.rawSize) section.holdsEntry = true;
  }
  uint32_t rawOffset = sizeOfHeaders;
  for (size_t i = 0; i < layout.sections.size(); ++i) {
    Section& section = layout.sections[i];
    section.rawOffset = rawOffset;
    rawOffset += section.rawSize;
    section.virtualSize = i + 1 < layout.sections.size()
                              ? layout.sections[i + 1].virtualAddress - section.virtualAddress
                              : AlignUp(section.rawSize, kSectionAlignment);
  }
  // At least one byte past the sections belongs to no piece, so that a sample
  // one byte shorter still holds everything.
  if (rawOffset >= fileSize) throw LayoutError("the record's size leaves no room for the sections");
  const Section& last = layout.sections.back();
  layout.sizeOfImage = last.virtualAddress + last.virtualSize;
  return layout;
}

struct ImageKind {
  bool pe32Plus;
  uint16_t machine;
  uint16_t characteristics;
  uint64_t imageBase;
  uint16_t subsystem;
  uint16_t subsystemVersion[2];
  uint32_t entrySectionFlags;
  uint32_t otherSectionFlags;
  uint32_t importTable[2];  // address and size; 0 for none
  uint32_t importAddressTable[2];
};

constexpr uint16_t kImageFileExecutable = 0x0002;
constexpr uint16_t kImageFileRelocsStripped = 0x0001;
constexpr uint16_t kImageFileLargeAddressAware = 0x0020;
constexpr uint16_t kImageFile32BitMachine = 0x0100;
constexpr uint16_t kImageFileDll = 0x2000;
constexpr uint32_t kSectionCode = 0x00000020;
constexpr uint32_t kSectionInitializedData = 0x00000040;
constexpr uint32_t kSectionUninitializedData = 0x00000080;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionRead = 0x40000000;
constexpr uint32_t kSectionWrite = 0x80000000;
constexpr uint16_t kConsoleSubsystem = 3;
constexpr int kImportDirectory = 1;
constexpr int kImportAddressDirectory = 12;

void WriteSectionHeader(std::vector<uint8_t>& file, int index, const char* name,
                        const Section& section, uint32_t flags) {
  const uint32_t at = kSectionTableStart + index * kSectionHeaderLength;
  std::memcpy(&file[at], name, std::min<size_t>(std::strlen(name), 8));
  Put32(file, at + 8, section.virtualSize);
  Put32(file, at + 12, section.virtualAddress);
  Put32(file, at + 16, section.rawSize);
  Put32(file, at + 20, section.rawSize ? section.rawOffset : 0);
  Put32(file, at + 36, flags);
}

void WriteOptionalHeader(std::vector<uint8_t>& file, const ImageKind& kind, const Layout& layout,
                         uint32_t entryPoint) {
  const uint32_t at = kNewHeaderOffset + 24;
  uint32_t codeSize = 0;
  uint32_t dataSize = 0;
  uint32_t codeBase = 0;
  for (const Section& section : layout.sections) {
    (section.holdsEntry ? codeSize : dataSize) += section.rawSize;
    if (section.holdsEntry) codeBase = section.virtualAddress;
  }
  Put16(file, at, kind.pe32Plus ? 0x20B : 0x10B);
  Put32(file, at + 4, codeSize);
  Put32(file, at + 8, dataSize);
  Put32(file, at + 16, entryPoint);
  Put32(file, at + 20, codeBase);
  if (kind.pe32Plus) {
    Put64(file, at + 24, kind.imageBase);
  } else {
    Put32(file, at + 24, codeBase);  // BaseOfData: code and data share sections
    Put32(file, at + 28, static_cast<uint32_t>(kind.imageBase));
  }
  Put32(file, at + 32, kSectionAlignment);
  Put32(file, at + 36, kFileAlignment);
  Put16(file, at + 40, 4);  // operating system version
  Put16(file, at + 48, kind.subsystemVersion[0]);
  Put16(file, at + 50, kind.subsystemVersion[1]);
  Put32(file, at + 56, layout.sizeOfImage);
  Put32(file, at + 60, layout.sizeOfHeaders);
  Put16(file, at + 68, kind.subsystem);
  // Stack and heap sizes, then the data directories after the loader flags
  // and their count; PE32+ widens the four sizes to 64 bits.
  const uint32_t sizeWidth = kind.pe32Plus ? 8 : 4;
  const uint32_t sizes[] = {0x100000, 0x1000, 0x100000, 0x1000};
  for (uint32_t i = 0; i < 4; ++i) {
    if (kind.pe32Plus)
      Put64(file, at + 72 + i * sizeWidth, sizes[i]);
    else
      Put32(file, at + 72 + i * sizeWidth, sizes[i]);
  }
  const uint32_t countAt = at + 72 + 4 * sizeWidth + 4;
  const uint32_t directoriesAt = countAt + 4;
  Put32(file, countAt, (at + kOptionalHeaderLength - directoriesAt) / 8);
  Put32(file, directoriesAt + kImportDirectory * 8, kind.importTable[0]);
  Put32(file, directoriesAt + kImportDirectory * 8 + 4, kind.importTable[1]);
  Put32(file, directoriesAt + kImportAddressDirectory * 8, kind.importAddressTable[0]);
  Put32(file, directoriesAt + kImportAddressDirectory * 8 + 4, kind.importAddressTable[1]);
}

// The whole file: headers, every piece at its address's file offset, zeros
// elsewhere. With `sectionCount` above the planned sections, empty sections
// follow them in the image; they change no probe's mapping.
std::vector<uint8_t> WriteImage(const ImageKind& kind, Layout layout, uint32_t entryPoint,
                                const std::vector<Piece>& pieces, uint32_t fileSize,
                                int sectionCount) {
  const int planned = static_cast<int>(layout.sections.size());
  sectionCount = std::max(sectionCount, planned);
  if (kSectionTableStart + sectionCount * kSectionHeaderLength > layout.sizeOfHeaders)
    throw LayoutError("no room for the section table");
  std::vector<uint8_t> file(fileSize, 0);
  file[0] = 'M';
  file[1] = 'Z';
  Put32(file, 0x3C, kNewHeaderOffset);
  Put32(file, kNewHeaderOffset, 0x00004550);  // "PE\0\0"
  Put16(file, kNewHeaderOffset + 4, kind.machine);
  Put16(file, kNewHeaderOffset + 6, static_cast<uint16_t>(sectionCount));
  Put16(file, kNewHeaderOffset + 20, kOptionalHeaderLength);
  Put16(file, kNewHeaderOffset + 22, kind.characteristics);
  for (int i = 0; i < planned; ++i) {
    const Section& section = layout.sections[i];
    WriteSectionHeader(file, i, section.holdsEntry ? ".text" : ".data", section,
                       section.holdsEntry ? kind.entrySectionFlags : kind.otherSectionFlags);
  }
  for (int i = planned; i < sectionCount; ++i) {
    const Section empty{layout.sizeOfImage, kSectionAlignment, 0, 0, false};
    WriteSectionHeader(file, i, ".bss", empty,
                       kSectionUninitializedData | kSectionRead | kSectionWrite);
    layout.sizeOfImage += kSectionAlignment;
  }
  WriteOptionalHeader(file, kind, layout, entryPoint);
  for (const Piece& piece : pieces) PutBytes(file, layout.FileOffset(piece.address), piece.bytes);
  return file;
}

// Room for 21 section headers, so that every near miss keeps the inert
// sample's sections, and with them its probes, where they are.
constexpr uint32_t kInertHeaderSize =
    (kSectionTableStart + kPaddedSectionCount * kSectionHeaderLength + kFileAlignment - 1) /
    kFileAlignment * kFileAlignment;
constexpr uint32_t kStandInHeaderSize = 0x400;

struct Probes {
  uint32_t first;
  uint32_t second;
};

std::vector<uint8_t> BuildInert(const VariantRecord& record, int sectionCount, Probes* probes) {
  // Breakpoints only: whatever ran this entry point would stop at once.
  constexpr uint32_t kEntryLength = 16;
  const uint32_t entryPoint = ChooseEntryPoint(record);
  const std::vector<Piece> pieces = {
      {entryPoint, std::vector<uint8_t>(kEntryLength, 0xCC)},
      {ProbeAddress(entryPoint, record.first), PatternBytes(record.first)},
      {ProbeAddress(entryPoint, record.second), PatternBytes(record.second)},
  };
  const Layout layout = PlanSections(pieces, entryPoint, kInertHeaderSize, record.fileSize);
  if (probes)
    *probes = {layout.FileOffset(pieces[1].address), layout.FileOffset(pieces[2].address)};
  ImageKind kind{};
  kind.machine = 0;  // no machine: no loader accepts the file
  kind.characteristics = kImageFileExecutable | kImageFile32BitMachine | kImageFileDll;
  kind.imageBase = 0x10000000;
  kind.subsystem = 2;
  kind.subsystemVersion[0] = 4;
  kind.entrySectionFlags = kSectionCode | kSectionRead;
  kind.otherSectionFlags = kSectionInitializedData | kSectionRead;
  return WriteImage(kind, layout, entryPoint, pieces, record.fileSize, sectionCount);
}

// The stand-in's code and imports, one block at the entry point:
//   +0x00 code   +0x40 import descriptors (KERNEL32.dll and the end)
//   +0x68 lookup table   +0x80 address table   +0xA0 hint/name entries
//   +0xB8 "KERNEL32.dll"
constexpr uint32_t kImportsAt = 0x40;
constexpr uint32_t kLookupAt = 0x68;
constexpr uint32_t kAddressTableAt = 0x80;
constexpr uint32_t kSleepNameAt = 0xA0;
constexpr uint32_t kExitProcessNameAt = 0xA8;
constexpr uint32_t kDllNameAt = 0xB8;
constexpr uint32_t kEntryBlockLength = 0xC8;

std::vector<uint8_t> EntryBlock(uint32_t entryPoint, Bitness bitness, uint64_t imageBase) {
  std::vector<uint8_t> block(kEntryBlockLength, 0);
  const uint32_t sleepSlot = entryPoint + kAddressTableAt;
  if (bitness == Bitness::Pe32Plus) {
    // sub rsp, 28h (shadow space, stack aligned for the call)
    // again: mov ecx, 1000; call [rip + Sleep slot]; jmp again
    const uint8_t code[] = {0x48, 0x83, 0xEC, 0x28, 0xB9, 0xE8, 0x03, 0x00, 0x00,
                            0xFF, 0x15, 0,    0,    0,    0,    0xEB, 0xF3};
    std::copy(std::begin(code), std::end(code), block.begin());
    Put32(block, 11, sleepSlot - (entryPoint + 15));
  } else {
    // again: push 1000; call [Sleep slot]; jmp again (Sleep pops its argument)
    const uint8_t code[] = {0x68, 0xE8, 0x03, 0x00, 0x00, 0xFF, 0x15, 0, 0, 0, 0, 0xEB, 0xF3};
    std::copy(std::begin(code), std::end(code), block.begin());
    Put32(block, 7, static_cast<uint32_t>(imageBase) + sleepSlot);
  }
  Put32(block, kImportsAt, entryPoint + kLookupAt);
  Put32(block, kImportsAt + 12, entryPoint + kDllNameAt);
  Put32(block, kImportsAt + 16, entryPoint + kAddressTableAt);
  const uint32_t slotWidth = bitness == Bitness::Pe32Plus ? 8 : 4;
  for (uint32_t table : {kLookupAt, kAddressTableAt}) {
    Put32(block, table, entryPoint + kSleepNameAt);
    Put32(block, table + slotWidth, entryPoint + kExitProcessNameAt);
  }
  std::memcpy(&block[kSleepNameAt + 2], "Sleep", 5);
  std::memcpy(&block[kExitProcessNameAt + 2], "ExitProcess", 11);
  std::memcpy(&block[kDllNameAt], "KERNEL32.dll", 12);
  return block;
}

}  // namespace

std::vector<uint8_t> MakeInertSample(const VariantRecord& record) {
  return BuildInert(record, 0, nullptr);
}

std::vector<uint8_t> MakeStandIn(const VariantRecord& record, Bitness bitness) {
  const bool wide = bitness == Bitness::Pe32Plus;
  ImageKind kind{};
  kind.pe32Plus = wide;
  kind.machine = wide ? 0x8664 : 0x014C;
  kind.characteristics = kImageFileExecutable | kImageFileRelocsStripped |
                         (wide ? kImageFileLargeAddressAware : kImageFile32BitMachine);
  kind.imageBase = wide ? 0x140000000ull : 0x400000;
  kind.subsystem = kConsoleSubsystem;
  kind.subsystemVersion[0] = wide ? 5 : 4;
  kind.subsystemVersion[1] = wide ? 2 : 0;
  // The loader fills the address table inside the code section: writable.
  kind.entrySectionFlags = kSectionCode | kSectionExecute | kSectionRead | kSectionWrite;
  kind.otherSectionFlags = kSectionInitializedData | kSectionRead | kSectionWrite;

  const uint32_t entryPoint = ChooseEntryPoint(record);
  const uint32_t slotWidth = wide ? 8 : 4;
  kind.importTable[0] = entryPoint + kImportsAt;
  kind.importTable[1] = 2 * 20;
  kind.importAddressTable[0] = entryPoint + kAddressTableAt;
  kind.importAddressTable[1] = 3 * slotWidth;
  const std::vector<Piece> pieces = {
      {entryPoint, EntryBlock(entryPoint, bitness, kind.imageBase)},
      {ProbeAddress(entryPoint, record.first), PatternBytes(record.first)},
      {ProbeAddress(entryPoint, record.second), PatternBytes(record.second)},
  };
  const Layout layout = PlanSections(pieces, entryPoint, kStandInHeaderSize, record.fileSize);
  return WriteImage(kind, layout, entryPoint, pieces, record.fileSize, 0);
}

std::vector<uint8_t> MakeNearMiss(const VariantRecord& record, NearMiss kind) {
  Probes probes{};
  const int sections = kind == NearMiss::TwentyOneSections ? kPaddedSectionCount : 0;
  std::vector<uint8_t> file = BuildInert(record, sections, &probes);
  switch (kind) {
    case NearMiss::FirstPatternByte:
      file[probes.first + kPatternLength / 2] ^= 0xFF;
      break;
    case NearMiss::SecondPatternByte:
      file[probes.second + kPatternLength / 2] ^= 0xFF;
      break;
    case NearMiss::SizePlusOne:
      file.push_back(0);
      break;
    case NearMiss::SizeMinusOne:
      file.pop_back();
      break;
    case NearMiss::TwentyOneSections:
      break;
  }
  return file;
}

}  // namespace forge
