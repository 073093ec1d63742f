#pragma once
// Reading a file as a PE image the way the variant check does: the DOS
// header's e_lfanew, the "PE\0\0" signature, the 20-byte file header, the
// first 96 bytes of the optional header and up to 20 section headers from
// new-header offset + 248 (where a PE32 file keeps them; the optional header's
// own size is not consulted). Portable: no file system, only a reader.
#include <cstdint>

#include "engine/ByteReader.h"
#include "engine/VariantRecord.h"

constexpr int kMaxSections = 20;
constexpr uint32_t kSectionTableOffset = 248;  // from the new header: 4 + 20 + 224

// The per-file header state, overwritten for each file.
struct PeHeaderState {
  uint32_t newHeaderOffset;
  uint8_t fileHeader[20];
  uint8_t optionalHeader[96];
  uint8_t sectionTable[kMaxSections * 40];
  int32_t fileLength;

  uint16_t NumberOfSections() const;
  uint32_t EntryPoint() const;     // AddressOfEntryPoint
  uint32_t SizeOfHeaders() const;
  uint32_t SectionVirtualSize(int index) const;
  uint32_t SectionVirtualAddress(int index) const;
  uint32_t SectionPointerToRawData(int index) const;
};

// Fills `state` from the reader. False when the file is not a PE file that
// the check accepts (short, no signature, more than 20 sections).
// state.fileLength must already hold the file's length.
bool ReadPeHeaders(ByteReader& reader, PeHeaderState& state);

// Maps an image address to a file offset through the section table: the first
// section whose end lies above the address (else the last one; with no
// sections the address itself). An offset at or past the end of the file
// falls back to the address; an offset of 0 becomes SizeOfHeaders.
uint32_t RvaToFileOffset(uint32_t rva, const PeHeaderState& state);

// The size rule of a record against a file length.
bool SizeRulePasses(const VariantRecord& record, int32_t fileLength);

// Size rule and both probes of one record.
bool RecordMatches(const VariantRecord& record, const PeHeaderState& state, ByteReader& reader);

// The first record of a table (ended by a record whose name starts with 0)
// that matches, or null.
const VariantRecord* FindMatchingRecord(const VariantRecord* table, const PeHeaderState& state,
                                        ByteReader& reader);
