#include "engine/SizeFilter.h"

#include <algorithm>

namespace {
constexpr uint64_t kLargestCheckedLength = 0x7FFFFFFF;
}  // namespace

void SizeFilter::Build(const VariantRecord* table) {
  built_ = true;
  acceptsAll_ = false;
  windowCount_ = 0;
  int records[4] = {};  // per rule, to keep within the capacity
  for (const VariantRecord* record = table; record->name[0] != '\0'; ++record) {
    const int64_t size = record->fileSize;
    switch (record->sizeRule) {
      case kSizeExact:
        if (++records[kSizeExact] > kCapacity) { acceptsAll_ = true; return; }
        windows_[windowCount_++] = {size, size};
        break;
      case kSizeNear:
        // Passes when -4096 < size - length < 4096.
        if (++records[kSizeNear] > kCapacity) { acceptsAll_ = true; return; }
        windows_[windowCount_++] = {size - kSizeTolerance + 1, size + kSizeTolerance - 1};
        break;
      case kSizeAny:
        acceptsAll_ = true;
        return;
      default:
        break;  // such a record never matches
    }
  }
  std::sort(windows_, windows_ + windowCount_,
            [](const Window& a, const Window& b) { return a.low < b.low; });
  // Merge overlapping and adjacent windows, so that one search decides.
  int merged = 0;
  for (int i = 0; i < windowCount_; ++i) {
    if (merged > 0 && windows_[i].low <= windows_[merged - 1].high + 1) {
      windows_[merged - 1].high = std::max(windows_[merged - 1].high, windows_[i].high);
    } else {
      windows_[merged++] = windows_[i];
    }
  }
  windowCount_ = merged;
}

bool SizeFilter::Accepts(uint64_t length) const {
  if (!built_) return true;
  if (length > kLargestCheckedLength) return false;
  if (acceptsAll_) return true;
  const int64_t value = static_cast<int64_t>(length);
  // The last window that starts at or below the length is the only candidate.
  const Window* end = windows_ + windowCount_;
  const Window* after = std::upper_bound(windows_, end, value,
                                         [](int64_t v, const Window& w) { return v < w.low; });
  return after != windows_ && value <= (after - 1)->high;
}
