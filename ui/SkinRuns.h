#pragma once
// The runs of a 32-bit picture that make up a skin region: for each row, the
// horizontal stretches of pixels that are not (includeNonKey) or that are
// (!includeNonKey) of the key colour. Portable: pixels in, runs out.
#include <cstddef>
#include <cstdint>

class RunSink {
 public:
  // One run: pixels x0 to x1 - 1 of row y.
  virtual void AddRun(int x0, int y, int x1) = 0;

 protected:
  ~RunSink() = default;
};

// topRow points at the picture's row 0 (the top); rowStep is the distance in
// bytes from one row to the next one down (negative for a bottom-up bitmap).
// Pixels are blue, green, red, unused; the key reads as 0x00RRGGBB.
void BuildSkinRuns(const uint8_t* topRow, ptrdiff_t rowStep, int width, int height, uint32_t key,
                   bool includeNonKey, RunSink& sink);
