#pragma once
// One signature of the worm: a name, two 20-byte patterns at fixed distances
// from the entry point, and a size rule. 108 bytes, packed, little-endian;
// the table is searched in order and the first record that matches wins.
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct VariantPattern {
  int32_t displacement;  // added to the entry point's image address (wraps)
  uint8_t bytes[20];     // expected at that address, in file order
  uint8_t end;           // always 0, never compared
};

struct VariantRecord {
  char name[50];  // NUL-filled; a first byte of 0 ends the table
  VariantPattern first;
  VariantPattern second;
  uint32_t fileSize;
  uint32_t sizeRule;  // 1 exact, 2 within 4096 bytes, 3 any size, else never
};
#pragma pack(pop)

static_assert(sizeof(VariantPattern) == 25, "pattern groups are 25 bytes");
static_assert(sizeof(VariantRecord) == 108, "records are 108 bytes");
static_assert(offsetof(VariantRecord, first) == 50, "first displacement at 50");
static_assert(offsetof(VariantRecord, second) == 75, "second displacement at 75");
static_assert(offsetof(VariantRecord, fileSize) == 100, "file size at 100");
static_assert(offsetof(VariantRecord, sizeRule) == 104, "size rule at 104");

enum SizeRule : uint32_t {
  kSizeExact = 1,
  kSizeNear = 2,  // |size - length| < kSizeTolerance
  kSizeAny = 3,
};
constexpr int64_t kSizeTolerance = 4096;

constexpr int kVariantCount = 98;
// The 98 records in their fixed order, then the all-zero terminator.
extern const VariantRecord VariantTable[kVariantCount + 1];
