#include "engine/PeHeaders.h"

#include <cstring>

namespace {

uint16_t Read16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

uint32_t Read32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr int32_t kNewHeaderField = 0x3C;
constexpr uint32_t kSectionHeaderLength = 40;

// Image offsets past 2^31 are negative positions, which no read accepts.
int32_t AsPosition(uint32_t offset) { return static_cast<int32_t>(offset); }

bool ProbeMatches(const VariantPattern& pattern, const PeHeaderState& state, ByteReader& reader) {
  uint32_t address = state.EntryPoint() + static_cast<uint32_t>(pattern.displacement);
  uint8_t found[sizeof pattern.bytes];
  return reader.ReadExact(AsPosition(RvaToFileOffset(address, state)), found, sizeof found) &&
         memcmp(found, pattern.bytes, sizeof found) == 0;
}

}  // namespace

uint16_t PeHeaderState::NumberOfSections() const { return Read16(fileHeader + 2); }
uint32_t PeHeaderState::EntryPoint() const { return Read32(optionalHeader + 16); }
uint32_t PeHeaderState::SizeOfHeaders() const { return Read32(optionalHeader + 60); }
uint32_t PeHeaderState::SectionVirtualSize(int index) const {
  return Read32(sectionTable + index * kSectionHeaderLength + 8);
}
uint32_t PeHeaderState::SectionVirtualAddress(int index) const {
  return Read32(sectionTable + index * kSectionHeaderLength + 12);
}
uint32_t PeHeaderState::SectionPointerToRawData(int index) const {
  return Read32(sectionTable + index * kSectionHeaderLength + 20);
}

bool ReadPeHeaders(ByteReader& reader, PeHeaderState& state) {
  memset(state.fileHeader, 0, sizeof state.fileHeader);
  state.newHeaderOffset = 0;
  uint8_t field[4];
  if (!reader.ReadExact(kNewHeaderField, field, sizeof field)) return false;
  state.newHeaderOffset = Read32(field);
  const uint32_t base = state.newHeaderOffset;
  // Positions are computed in 32 bits and read as signed, as a seek would.
  if (!reader.ReadExact(AsPosition(base), field, sizeof field) || Read32(field) != kPeSignature)
    return false;
  if (!reader.ReadExact(AsPosition(base + 4), state.fileHeader, sizeof state.fileHeader))
    return false;
  if (!reader.ReadExact(AsPosition(base + 24), state.optionalHeader, sizeof state.optionalHeader))
    return false;
  const uint16_t sections = state.NumberOfSections();
  if (sections > kMaxSections) return false;
  memset(state.sectionTable, 0, sizeof state.sectionTable);
  return sections == 0 || reader.ReadExact(AsPosition(base + kSectionTableOffset),
                                           state.sectionTable, sections * kSectionHeaderLength);
}

uint32_t RvaToFileOffset(uint32_t rva, const PeHeaderState& state) {
  const int sections = state.NumberOfSections();
  int chosen = 0;  // with no sections the zero-filled first entry maps rva to itself
  if (sections > 0) {
    chosen = sections - 1;
    for (int i = 0; i < sections; ++i) {
      if (state.SectionVirtualAddress(i) + state.SectionVirtualSize(i) > rva) {
        chosen = i;
        break;
      }
    }
  }
  uint32_t offset = rva + state.SectionPointerToRawData(chosen) - state.SectionVirtualAddress(chosen);
  if (offset >= static_cast<uint32_t>(state.fileLength)) offset = rva;
  return offset == 0 ? state.SizeOfHeaders() : offset;
}

bool SizeRulePasses(const VariantRecord& record, int32_t fileLength) {
  const int64_t difference = static_cast<int64_t>(record.fileSize) - fileLength;
  switch (record.sizeRule) {
    case kSizeExact: return difference == 0;
    case kSizeNear: return difference > -kSizeTolerance && difference < kSizeTolerance;
    case kSizeAny: return true;
    default: return false;
  }
}

bool RecordMatches(const VariantRecord& record, const PeHeaderState& state, ByteReader& reader) {
  return SizeRulePasses(record, state.fileLength) && ProbeMatches(record.first, state, reader) &&
         ProbeMatches(record.second, state, reader);
}

const VariantRecord* FindMatchingRecord(const VariantRecord* table, const PeHeaderState& state,
                                        ByteReader& reader) {
  for (const VariantRecord* record = table; record->name[0] != '\0'; ++record) {
    if (RecordMatches(*record, state, reader)) return record;
  }
  return nullptr;
}
