#include <gtest/gtest.h>

#include <string>

#include "engine/StatusPath.h"

namespace {

std::string Shorten(const std::string& source, int width) {
  char destination[512];
  memset(destination, '#', sizeof destination);
  ShortenPathForStatus(source.c_str(), destination, width);
  return destination;
}

std::string PathOfLength(size_t length) {
  std::string path = "C:\\";
  for (size_t i = 0; path.size() < length; ++i) path += static_cast<char>('a' + i % 26);
  return path;
}

TEST(ShortenPathForStatus, KeepsAPathOfSixtyCharactersWhole) {
  std::string path = PathOfLength(60);
  EXPECT_EQ(Shorten(path, 60), path);
}

TEST(ShortenPathForStatus, CutsSixtyOneCharactersToHeadDotsTail) {
  std::string path = PathOfLength(61);
  std::string result = Shorten(path, 60);
  EXPECT_EQ(result, path.substr(0, 29) + ".." + path.substr(61 - 29));
  EXPECT_EQ(result.size(), 60u);
}

TEST(ShortenPathForStatus, AnOddWidthGetsThreeDots) {
  std::string path = PathOfLength(100);
  std::string result = Shorten(path, 61);
  EXPECT_EQ(result, path.substr(0, 29) + "..." + path.substr(100 - 29));
}

TEST(ShortenPathForStatus, WidthsTooSmallToShortenCopyUnchanged) {
  std::string path = PathOfLength(80);
  EXPECT_EQ(Shorten(path, 3), path);  // half width - 1 is 0
  EXPECT_EQ(Shorten(path, 0), path);
  EXPECT_EQ(Shorten(path, 4), path.substr(0, 1) + ".." + path.substr(79));
}

TEST(ShortenPathForStatus, WidthsAbove99AreTakenAs99) {
  std::string path = PathOfLength(259);
  EXPECT_EQ(Shorten(path, 200).size(), 99u);
}

TEST(ShortenPathForStatus, NeverWritesPastASmallDestination) {
  char destination[8];
  ShortenPathForStatus("C:\\a-path-much-longer-than-eight", destination, 60);
  EXPECT_EQ(std::string(destination), "C:\\a-pa");
  ShortenPathForStatus(PathOfLength(100).c_str(), destination, 7);
  EXPECT_EQ(std::string(destination).size(), 7u);
}

}  // namespace
