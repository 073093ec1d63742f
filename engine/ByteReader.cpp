#include "engine/ByteReader.h"

#include <cstring>

bool MemoryByteReader::ReadExact(int32_t position, void* destination, uint32_t length) {
  if (position < 0) return false;
  uint32_t start = static_cast<uint32_t>(position);
  if (start > size_ || length > size_ - start) return false;
  memcpy(destination, data_ + start, length);
  return true;
}
