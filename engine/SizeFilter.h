#pragma once
// Which file lengths a variant table can match at all, judged by the size
// rules alone: the exact sizes of rule 1, the windows of rule 2 (within 4096
// bytes) and rule 3, which takes any length. Built once from a table, then
// asked for every file, so that a file whose directory entry already rules
// out every record is never opened. Portable: no file system.
#include <cstdint>

#include "engine/VariantRecord.h"

class SizeFilter {
 public:
  // Room for this many records of each rule; a larger table makes a filter
  // that accepts every length, which costs speed but never a detection.
  static constexpr int kCapacity = 128;

  // Reads the table up to its terminator. A filter that was never built
  // accepts every length.
  void Build(const VariantRecord* table);

  // False only when no record's size rule passes for this length, or when the
  // length is 2 GiB or more, which the check cannot hold in its signed 32-bit
  // file length and so never matches.
  bool Accepts(uint64_t length) const;

  bool Built() const { return built_; }

 private:
  struct Window {
    int64_t low;   // lowest length that passes
    int64_t high;  // highest length that passes
  };

  bool built_ = false;
  bool acceptsAll_ = false;
  int windowCount_ = 0;
  Window windows_[2 * kCapacity];  // sorted by low, disjoint, not touching
};
