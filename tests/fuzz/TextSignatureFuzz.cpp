// Any bytes as a file for the text signature.
#include <cstddef>
#include <cstdint>

#include "engine/TextSignature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  UnscrambleTextSignatures();
  if (size > 0x7FFFFFFF) return 0;
  MemoryByteReader reader(data, static_cast<uint32_t>(size));
  FindTextSignature(reader, static_cast<int32_t>(size));
  return 0;
}
