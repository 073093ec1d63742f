// What the message box makes of its style and its text.
#include <gtest/gtest.h>

#include "ui/MessageLayout.h"

namespace {

TEST(MessageLayout, ButtonsByStyleWithOkCancelTestedFirst) {
  EXPECT_EQ(MessageModeOfStyle(36), MessageMode::YesNo);
  EXPECT_EQ(MessageModeOfStyle(65), MessageMode::OkCancel);
  EXPECT_EQ(MessageModeOfStyle(0), MessageMode::SingleOk);
  EXPECT_EQ(MessageModeOfStyle(2), MessageMode::SingleOk);   // abort, retry, ignore
  EXPECT_EQ(MessageModeOfStyle(3), MessageMode::OkCancel);   // yes, no, cancel
  EXPECT_EQ(MessageModeOfStyle(5), MessageMode::OkCancel);   // retry, cancel
}

TEST(MessageLayout, IconsByStyleFirstMatchWins) {
  EXPECT_EQ(MessageIconOfStyle(36), 153);
  EXPECT_EQ(MessageIconOfStyle(65), 152);
  EXPECT_EQ(MessageIconOfStyle(0), 154);
  EXPECT_EQ(MessageIconOfStyle(0x10), 155);
  EXPECT_EQ(MessageIconOfStyle(0x30), 154);
  EXPECT_EQ(MessageIconOfStyle(0x70), 154);
  EXPECT_EQ(MessageIconOfStyle(0x50), 152);
  EXPECT_EQ(MessageIconOfStyle(0x60), 152);
}

TEST(MessageLayout, GrowsInStepsOfThirtyBytes) {
  struct Case {
    size_t length;
    int grow, widen, lift, shift;
  };
  const Case cases[] = {
      {0, 10, 12, 3, 6},    {23, 10, 12, 3, 6},   {29, 10, 12, 3, 6},   {30, 20, 25, 6, 12},
      {89, 30, 37, 9, 18},  {90, 40, 50, 12, 25}, {95, 40, 50, 12, 25}, {120, 50, 62, 15, 31},
  };
  for (const Case& c : cases) {
    MessageGrowth growth = MessageGrowthFor(c.length);
    EXPECT_EQ(growth.grow, c.grow) << c.length;
    EXPECT_EQ(growth.widen, c.widen) << c.length;
    EXPECT_EQ(growth.lift, c.lift) << c.length;
    EXPECT_EQ(growth.shift, c.shift) << c.length;
  }
}

}  // namespace
