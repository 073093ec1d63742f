// The runs that make up a skin region, over pixel buffers.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "ui/SkinRuns.h"

namespace {

struct SkinRun {
  int x0, y, x1;
  bool operator==(const SkinRun& other) const { return x0 == other.x0 && y == other.y && x1 == other.x1; }
};

class CollectRuns final : public RunSink {
 public:
  std::vector<SkinRun> runs;
  void AddRun(int x0, int y, int x1) override { runs.push_back({x0, y, x1}); }
};

using Pixel = std::array<uint8_t, 4>;  // blue, green, red, unused
constexpr Pixel kMagenta = {0xFF, 0x00, 0xFF, 0};
constexpr Pixel kOther = {0x10, 0x20, 0x30, 0};

// Rows given top first; stored bottom-up as a bitmap section keeps them.
std::vector<SkinRun> Runs(const std::vector<std::vector<Pixel>>& rows, uint32_t key, bool includeNonKey) {
  const int height = static_cast<int>(rows.size());
  const int width = static_cast<int>(rows[0].size());
  std::vector<uint8_t> memory(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 4; ++c) memory[((height - 1 - y) * width + x) * 4 + c] = rows[y][x][c];
  CollectRuns sink;
  BuildSkinRuns(memory.data() + static_cast<ptrdiff_t>(height - 1) * width * 4, -width * 4, width, height,
                key, includeNonKey, sink);
  return sink.runs;
}

TEST(BuildSkinRuns, SplitsARowAtKeyPixels) {
  auto runs = Runs({{kMagenta, kOther, kOther, kMagenta, kOther}}, 0xFF00FF, true);
  EXPECT_EQ(runs, (std::vector<SkinRun>{{1, 0, 3}, {4, 0, 5}}));
}

TEST(BuildSkinRuns, WithTheFlagClearTakesTheKeyPixelsInstead) {
  auto runs = Runs({{kMagenta, kOther, kOther, kMagenta, kMagenta}}, 0xFF00FF, false);
  EXPECT_EQ(runs, (std::vector<SkinRun>{{0, 0, 1}, {3, 0, 5}}));
}

TEST(BuildSkinRuns, AllKeyGivesEverythingOrNothing) {
  std::vector<std::vector<Pixel>> allKey(3, std::vector<Pixel>(4, kMagenta));
  EXPECT_TRUE(Runs(allKey, 0xFF00FF, true).empty());
  EXPECT_EQ(Runs(allKey, 0xFF00FF, false), (std::vector<SkinRun>{{0, 0, 4}, {0, 1, 4}, {0, 2, 4}}));
}

TEST(BuildSkinRuns, RowsComeTopFirstFromABottomUpBuffer) {
  auto runs = Runs({{kOther, kMagenta}, {kMagenta, kOther}}, 0xFF00FF, true);
  EXPECT_EQ(runs, (std::vector<SkinRun>{{0, 0, 1}, {1, 1, 2}}));
}

TEST(BuildSkinRuns, TheKeyReadsAsRedGreenBlueInMemoryOrder) {
  const Pixel blue = {0xFF, 0x00, 0x00, 0x7F};
  const Pixel red = {0x00, 0x00, 0xFF, 0x00};
  // Key 0x0000FF: pure blue is the key colour, red is not; the fourth byte never counts.
  auto runs = Runs({{blue, red, blue}}, 0x0000FF, true);
  EXPECT_EQ(runs, (std::vector<SkinRun>{{1, 0, 2}}));
}

TEST(BuildSkinRuns, AFullSkinGivesOneRunPerRow) {
  std::vector<std::vector<Pixel>> skin(338, std::vector<Pixel>(527, kOther));
  auto runs = Runs(skin, 0xFF00FF, true);
  ASSERT_EQ(runs.size(), 338u);
  EXPECT_EQ(runs.front(), (SkinRun{0, 0, 527}));
  EXPECT_EQ(runs.back(), (SkinRun{0, 337, 527}));
}

}  // namespace
