#pragma once
// Signatures of text files: files that begin with "begin" (as uuencoded ones
// do) are searched, with all whitespace stripped, for a byte pattern in their
// first or last 4096 bytes. Portable: the matching runs over a ByteReader.
#include <cstddef>
#include <cstdint>

#include "engine/ByteReader.h"

#pragma pack(push, 1)
struct TextSignatureRecord {
  char name[25];
  int32_t size;             // for the size condition
  int16_t position;         // for an exact-position search
  uint16_t patternLength;   // at most 100; 0 disables the record
  int16_t window;           // 0 the head window, 1 the tail window
  uint8_t pattern[100];     // stored scrambled until first use
  int16_t searchMode;       // 1 anywhere in the window, else at `position`
  int16_t unused1;
  int16_t sizeCondition;    // 16 size equals length, 17 within 4096, else none
  int16_t unused2;
  uint8_t reserved[27];
};
#pragma pack(pop)
static_assert(sizeof(TextSignatureRecord) == 170, "text signature records are 170 bytes");

enum : int16_t {
  kSearchAnywhere = 1,
  kSizeEquals = 16,
  kSizeWithin4096 = 17,
};
constexpr int kTextWindowLength = 4096;
constexpr int kTextSignatureCount = 1;

// The table; its patterns are plain once UnscrambleTextSignatures has run.
extern TextSignatureRecord TextSignatureTable[kTextSignatureCount];
// Unscrambles the table in place, once per run; later calls do nothing.
void UnscrambleTextSignatures();
// A record's plain pattern, whether or not the table has been unscrambled.
void CopyPlainPattern(const TextSignatureRecord& record, uint8_t* destination);

// The whitespace that stripping removes: tab, LF, VT, FF, CR and blank.
bool IsTextWhitespace(uint8_t byte);
// Copies the non-whitespace bytes of source in order; returns how many.
size_t StripWhitespace(const uint8_t* source, size_t length, uint8_t* destination);

// The first record that matches a file of `fileLength` bytes, or null. The
// table must be unscrambled first.
const TextSignatureRecord* FindTextSignature(ByteReader& reader, int32_t fileLength);
