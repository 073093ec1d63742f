// The pictures as the program carries them: every bitmap resource has the
// size and colour depth that its control and the skin region are built for.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <set>
#include <string>
#include <tuple>

#include "res/resource.h"

namespace {

struct Picture {
  const BITMAPINFOHEADER* header = nullptr;
  const RGBQUAD* palette = nullptr;
  DWORD paletteEntries = 0;
};

Picture Find(LPCSTR name) {
  Picture picture;
  HRSRC found = FindResourceA(nullptr, name, MAKEINTRESOURCEA(2) /* RT_BITMAP */);
  if (!found) return picture;
  picture.header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, found)));
  if (picture.header->biBitCount <= 8) {
    picture.paletteEntries = picture.header->biClrUsed ? picture.header->biClrUsed : 1u << picture.header->biBitCount;
    picture.palette = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const char*>(picture.header) +
                                                       picture.header->biSize);
  }
  return picture;
}

bool PaletteHolds(const Picture& picture, BYTE red, BYTE green, BYTE blue) {
  for (DWORD i = 0; i < picture.paletteEntries; ++i) {
    const RGBQUAD& entry = picture.palette[i];
    if (entry.rgbRed == red && entry.rgbGreen == green && entry.rgbBlue == blue) return true;
  }
  return false;
}

void ExpectPicture(LPCSTR name, LONG width, LONG height, WORD bits, const std::string& what) {
  SCOPED_TRACE(what);
  Picture picture = Find(name);
  ASSERT_NE(picture.header, nullptr) << "missing";
  EXPECT_EQ(picture.header->biWidth, width);
  EXPECT_EQ(std::abs(picture.header->biHeight), height);
  EXPECT_EQ(picture.header->biBitCount, bits);
  // The key colour of the window's shape never appears, and neither do the
  // three greys that loading with LR_LOADMAP3DCOLORS swaps for the user's
  // own system colours.
  EXPECT_FALSE(PaletteHolds(picture, 255, 0, 255));
  EXPECT_FALSE(PaletteHolds(picture, 128, 128, 128));
  EXPECT_FALSE(PaletteHolds(picture, 192, 192, 192));
  EXPECT_FALSE(PaletteHolds(picture, 223, 223, 223));
}

struct ButtonArt {
  const char* stem;
  LONG width, height;
  WORD bits;          // of FOCUS and NOTFOCUS
  WORD disabledBits;  // 0: the button has no DISABLE picture
};

TEST(Art, EveryButtonPictureHasItsSizeAndDepth) {
  const ButtonArt buttons[] = {
      {"SCAN", 180, 33, 8, 4},  {"DOWNLOAD", 180, 33, 8, 4}, {"X", 21, 21, 8, 0},
      {"DLINK", 313, 43, 4, 0}, {"ULINK", 244, 28, 8, 0},    {"HALVANELOGO", 38, 36, 8, 0},
      {"OK", 92, 24, 8, 0},     {"CANCEL", 92, 24, 8, 0},    {"YES", 92, 24, 8, 0},
      {"NO", 92, 24, 8, 0},
  };
  for (const ButtonArt& button : buttons) {
    for (const char* state : {"_FOCUS", "_NOTFOCUS"}) {
      std::string name = std::string(button.stem) + state;
      ExpectPicture(name.c_str(), button.width, button.height, button.bits, name);
    }
    std::string disabled = std::string(button.stem) + "_DISABLE";
    if (button.disabledBits)
      ExpectPicture(disabled.c_str(), button.width, button.height, button.disabledBits, disabled);
    else
      EXPECT_EQ(Find(disabled.c_str()).header, nullptr) << disabled << " should not exist";
  }
}

TEST(Art, TheSkinAndTheMessageIconsHaveTheirSizeAndDepth) {
  ExpectPicture(MAKEINTRESOURCEA(IDB_SKIN), 527, 338, 8, "skin");
  EXPECT_EQ(Find(MAKEINTRESOURCEA(IDB_SKIN)).paletteEntries, 255u);
  for (int id : {IDB_ICON_INFORMATION, IDB_ICON_QUESTION, IDB_ICON_WARNING, IDB_ICON_ERROR})
    ExpectPicture(MAKEINTRESOURCEA(id), 42, 40, 24, "icon " + std::to_string(id));
}

// The shells of Windows 95 and NT 4 show only icons of 8 bits or fewer, so
// the program icon carries 8- and 4-bit pictures besides the 32-bit ones.
TEST(Art, TheProgramIconHasEachSizeInThirtyTwoEightAndFourBits) {
#pragma pack(push, 2)
  struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
  };
#pragma pack(pop)
  HRSRC group = FindResourceA(nullptr, MAKEINTRESOURCEA(IDI_SCOURIX), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
  ASSERT_NE(group, nullptr);
  const auto* directory = static_cast<const WORD*>(LockResource(LoadResource(nullptr, group)));
  const auto* entries = reinterpret_cast<const GroupEntry*>(directory + 3);
  std::set<std::tuple<int, int, int>> images;
  for (WORD i = 0; i < directory[2]; ++i) {
    const GroupEntry& entry = entries[i];
    images.insert({entry.width, entry.height, entry.bits});
    HRSRC image = FindResourceA(nullptr, MAKEINTRESOURCEA(entry.id), MAKEINTRESOURCEA(3) /* RT_ICON */);
    ASSERT_NE(image, nullptr) << "image " << entry.id;
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, image)));
    EXPECT_EQ(header->biBitCount, entry.bits) << "image " << entry.id;
    EXPECT_EQ(header->biWidth, entry.width) << "image " << entry.id;
  }
  const std::set<std::tuple<int, int, int>> wanted = {{32, 32, 32}, {16, 16, 32}, {32, 32, 8},
                                                      {16, 16, 8},  {32, 32, 4},  {16, 16, 4}};
  EXPECT_EQ(images, wanted);
}

}  // namespace
