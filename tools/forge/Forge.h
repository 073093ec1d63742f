#pragma once
// Sample files made to fit one variant record, for tests: the record's exact
// size, and both of its patterns where the check's probes (entry point plus
// displacement, mapped through the section table) land. Portable: the bytes
// are built in memory and never touch the file system.
//
// Every image reserves room for its section table at new-header offset + 248,
// where the check reads it, whatever kind of optional header it carries.
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "engine/VariantRecord.h"

namespace forge {

// Thrown when a record's displacements cannot be laid out in a file of its
// size (the probes overlap each other or the entry code, or need more room).
class LayoutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A PE32 file that cannot do anything: a DLL image for no known machine whose
// entry point holds only breakpoint bytes.
std::vector<uint8_t> MakeInertSample(const VariantRecord& record);

enum class Bitness { Pe32Plus, Pe32 };

// The width of the program that forges: a test that starts a stand-in in its
// own prefix makes it runnable there (a 32-bit prefix runs PE32 only).
inline constexpr Bitness kOwnBitness = sizeof(void*) == 8 ? Bitness::Pe32Plus : Bitness::Pe32;

// A console program that sleeps for ever (Sleep in a loop, imported from
// KERNEL32.dll together with ExitProcess) and whose own file matches the
// record while it runs. The PE32+ one carries a 224-byte optional header with
// 14 data directories, so that its section table sits where the check looks.
std::vector<uint8_t> MakeStandIn(const VariantRecord& record, Bitness bitness);

// The inert sample spoiled in one way only.
enum class NearMiss {
  FirstPatternByte,   // one byte of the first pattern flipped
  SecondPatternByte,  // one byte of the second pattern flipped
  SizePlusOne,        // one byte appended
  SizeMinusOne,       // the last byte, which belongs to no pattern, removed
  TwentyOneSections,  // 21 section headers, the first ones still placing both patterns
};
std::vector<uint8_t> MakeNearMiss(const VariantRecord& record, NearMiss kind);

}  // namespace forge
