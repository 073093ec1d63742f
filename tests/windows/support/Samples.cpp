#include "tests/windows/support/Samples.h"

#include <stdexcept>

#include "tests/windows/support/ScratchFolder.h"

namespace {
std::string Bytes(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool WriteImage(const std::string& path, const std::string& image) {
  try {
    WriteFileBytes(path, image);
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}
}  // namespace

std::string InertSample(const VariantRecord& record) { return Bytes(forge::MakeInertSample(record)); }

std::string NearMissSample(const VariantRecord& record, forge::NearMiss kind) {
  return Bytes(forge::MakeNearMiss(record, kind));
}

bool WriteStandIn(const std::string& path, const VariantRecord& record) {
  return WriteImage(path, Bytes(forge::MakeStandIn(record, forge::kOwnBitness)));
}

bool WriteCleanProgram(const std::string& path) {
  // The loader ignores what follows the sections; the check's size test does not.
  return WriteImage(path, Bytes(forge::MakeStandIn(VariantTable[0], forge::kOwnBitness)) + '\0');
}
