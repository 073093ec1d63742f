#include "ui/SkinRuns.h"

namespace {
bool MatchesKey(const uint8_t* pixel, uint32_t key) {
  return pixel[0] == (key & 0xFF) && pixel[1] == ((key >> 8) & 0xFF) && pixel[2] == ((key >> 16) & 0xFF);
}
}  // namespace

void BuildSkinRuns(const uint8_t* topRow, ptrdiff_t rowStep, int width, int height, uint32_t key,
                   bool includeNonKey, RunSink& sink) {
  const uint8_t* row = topRow;
  for (int y = 0; y < height; ++y, row += rowStep) {
    for (int x = 0; x < width; ++x) {
      const int x0 = x;
      // With includeNonKey a key pixel ends the run; without, any other pixel does.
      while (x < width && MatchesKey(row + 4 * x, key) != includeNonKey) ++x;
      if (x > x0) sink.AddRun(x0, y, x);
      // The pixel that ended the run belongs to no run.
    }
  }
}
