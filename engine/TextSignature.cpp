#include "engine/TextSignature.h"

#include <cstring>

namespace {

// The pattern is kept scrambled in the program's file, so that the scanner
// itself never carries the plain text that it looks for.
constexpr uint8_t kScrambleKey = 0x5A;

bool unscrambled = false;

// Stripped windows and the bytes read for them; module state, reused per file.
uint8_t headWindow[kTextWindowLength];
uint8_t tailWindow[kTextWindowLength];
size_t headLength;
size_t tailLength;
uint8_t scratch[kTextWindowLength + 1];

bool StartsWithBegin(ByteReader& reader) {
  char start[5];
  if (!reader.ReadExact(0, start, sizeof start)) return false;
  static const char kBegin[] = "begin";
  for (int i = 0; i < 5; ++i) {
    char c = start[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kBegin[i]) return false;
  }
  return true;
}

bool FillWindows(ByteReader& reader, int32_t fileLength, size_t& windowLength) {
  memset(scratch, 0, sizeof scratch);
  if (fileLength >= kTextWindowLength) {
    if (!reader.ReadExact(0, scratch, kTextWindowLength)) return false;
    headLength = StripWhitespace(scratch, kTextWindowLength, headWindow);
    memset(scratch, 0, sizeof scratch);
    if (!reader.ReadExact(fileLength - kTextWindowLength, scratch, kTextWindowLength)) return false;
    tailLength = StripWhitespace(scratch, kTextWindowLength, tailWindow);
    windowLength = kTextWindowLength;
  } else {
    if (!reader.ReadExact(0, scratch, static_cast<uint32_t>(fileLength))) return false;
    headLength = StripWhitespace(scratch, fileLength, headWindow);
    memcpy(tailWindow, headWindow, headLength);
    tailLength = headLength;
    windowLength = static_cast<size_t>(fileLength);
  }
  return true;
}

bool SizeConditionHolds(const TextSignatureRecord& record, int32_t fileLength) {
  const int64_t size = record.size;
  switch (record.sizeCondition) {
    case kSizeEquals: return size == fileLength;
    case kSizeWithin4096:
      return int64_t{fileLength} - kTextWindowLength <= size && size <= int64_t{fileLength} + kTextWindowLength;
    default: return true;
  }
}

// The stripped bytes followed by zeros up to the window length.
bool FoundAnywhere(const uint8_t* stripped, size_t strippedLength, size_t windowLength,
                   const uint8_t* pattern, size_t patternLength) {
  auto at = [&](size_t i) -> uint8_t { return i < strippedLength ? stripped[i] : 0; };
  if (patternLength > windowLength) return false;
  for (size_t start = 0; start + patternLength <= windowLength; ++start) {
    if (at(start) != pattern[0]) continue;
    size_t i = 1;
    while (i < patternLength && at(start + i) == pattern[i]) ++i;
    if (i == patternLength) return true;
  }
  return false;
}

// Window values other than 1 search the head, as 0 does.
bool FoundAtPosition(const TextSignatureRecord& record) {
  const bool tail = record.window == 1;
  const uint8_t* stripped = tail ? tailWindow : headWindow;
  const int64_t length = static_cast<int64_t>(tail ? tailLength : headLength);
  const int64_t offset = tail ? length - record.position : record.position;
  if (offset < 0 || offset + record.patternLength > length) return false;
  return memcmp(stripped + offset, record.pattern, record.patternLength) == 0;
}

}  // namespace

TextSignatureRecord TextSignatureTable[kTextSignatureCount] = {
    {"W32/Nyxem.Worm",
     0x20B9A,
     0x0760,
     100,
     0,
     {0x1B, 0x7C, 0x12, 0x12, 0x63, 0x6F, 0x79, 0x18, 0x78, 0x7D, 0x0B, 0x64, 0x68, 0x11, 0x69,
      0x1F, 0x0E, 0x1D, 0x7B, 0x7B, 0x62, 0x0F, 0x1B, 0x7E, 0x63, 0x3A, 0x02, 0x64, 0x13, 0x60,
      0x7F, 0x1C, 0x04, 0x1A, 0x17, 0x78, 0x1E, 0x13, 0x67, 0x09, 0x6B, 0x75, 0x71, 0x19, 0x70,
      0x65, 0x6F, 0x63, 0x76, 0x65, 0x62, 0x6E, 0x7B, 0x13, 0x1F, 0x0D, 0x0C, 0x1D, 0x6E, 0x6C,
      0x1C, 0x6B, 0x63, 0x0A, 0x11, 0x00, 0x75, 0x71, 0x61, 0x1B, 0x7E, 0x07, 0x76, 0x64, 0x0A,
      0x05, 0x18, 0x0E, 0x78, 0x02, 0x0C, 0x10, 0x18, 0x18, 0x19, 0x06, 0x0C, 0x00, 0x02, 0x71,
      0x0A, 0x76, 0x7E, 0x6F, 0x7E, 0x71, 0x3A, 0x60, 0x76, 0x0C},
     kSearchAnywhere,
     4,
     0x12,
     0,
     {}},
};

void UnscrambleTextSignatures() {
  if (unscrambled) return;
  for (TextSignatureRecord& record : TextSignatureTable) CopyPlainPattern(record, record.pattern);
  unscrambled = true;
}

void CopyPlainPattern(const TextSignatureRecord& record, uint8_t* destination) {
  const uint8_t key = unscrambled ? 0 : kScrambleKey;
  const size_t length = record.patternLength < sizeof record.pattern ? record.patternLength : sizeof record.pattern;
  for (size_t i = 0; i < length; ++i) destination[i] = static_cast<uint8_t>(record.pattern[i] ^ key);
}

bool IsTextWhitespace(uint8_t byte) { return byte == 0x20 || (byte >= 0x09 && byte <= 0x0D); }

size_t StripWhitespace(const uint8_t* source, size_t length, uint8_t* destination) {
  size_t kept = 0;
  for (size_t i = 0; i < length; ++i)
    if (!IsTextWhitespace(source[i])) destination[kept++] = source[i];
  return kept;
}

const TextSignatureRecord* FindTextSignature(ByteReader& reader, int32_t fileLength) {
  if (fileLength < 0 || !StartsWithBegin(reader)) return nullptr;
  size_t windowLength = 0;
  if (!FillWindows(reader, fileLength, windowLength)) return nullptr;
  for (const TextSignatureRecord& record : TextSignatureTable) {
    if (record.patternLength == 0 || record.patternLength > sizeof record.pattern ||
        fileLength < record.patternLength)
      continue;
    if (!SizeConditionHolds(record, fileLength)) continue;
    bool found;
    if (record.searchMode == kSearchAnywhere) {
      const bool tail = record.window == 1;
      found = FoundAnywhere(tail ? tailWindow : headWindow, tail ? tailLength : headLength,
                            windowLength, record.pattern, record.patternLength);
    } else {
      found = FoundAtPosition(record);
    }
    if (found) return &record;
  }
  return nullptr;
}
