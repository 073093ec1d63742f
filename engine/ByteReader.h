#pragma once
// Where a check's bytes come from: a file in the program, memory in tests and
// fuzzing. Portable.
#include <cstdint>

// ReadExact succeeds only when all `length` bytes at `position` exist;
// negative positions (offsets of 2^31 and above seen as signed) always fail.
class ByteReader {
 public:
  virtual bool ReadExact(int32_t position, void* destination, uint32_t length) = 0;

 protected:
  ~ByteReader() = default;
};

class MemoryByteReader final : public ByteReader {
 public:
  MemoryByteReader(const uint8_t* data, uint32_t size) : data_(data), size_(size) {}
  bool ReadExact(int32_t position, void* destination, uint32_t length) override;

 private:
  const uint8_t* data_;
  uint32_t size_;
};
