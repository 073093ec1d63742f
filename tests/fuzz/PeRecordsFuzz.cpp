// Reads any bytes as a PE file and tests every variant record against it,
// once as the table stands and once with every record's size rule relaxed,
// so that the probes run on every input and not only on exact sizes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "engine/PeHeaders.h"

namespace {

VariantRecord relaxed[kVariantCount + 1];

bool MakeRelaxedTable() {
  memcpy(relaxed, VariantTable, sizeof relaxed);
  for (int i = 0; i < kVariantCount; ++i) relaxed[i].sizeRule = i % 2 ? kSizeAny : kSizeNear;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = MakeRelaxedTable();
  (void)ready;
  if (size > 0x7FFFFFFF) return 0;
  MemoryByteReader reader(data, static_cast<uint32_t>(size));
  PeHeaderState state;
  state.fileLength = static_cast<int32_t>(size);
  if (!ReadPeHeaders(reader, state)) return 0;
  FindMatchingRecord(VariantTable, state, reader);
  FindMatchingRecord(relaxed, state, reader);
  // Every address maps without fault, wherever it points.
  for (uint32_t rva : {0u, state.EntryPoint(), 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
    RvaToFileOffset(rva, state);
  return 0;
}
