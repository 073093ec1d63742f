#include <gtest/gtest.h>

#include <string>

#include "base/PathText.h"

namespace {

TEST(PathText, CopyTextTakesWhatFitsWithItsTerminator) {
  char buffer[8];
  EXPECT_TRUE(CopyText(buffer, "1234567"));
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_FALSE(CopyText(buffer, "12345678"));
  EXPECT_STREQ(buffer, "");
}

TEST(PathText, AppendTextRefusesWhatWouldNotFitAndKeepsTheBuffer) {
  char buffer[8] = "abc";
  EXPECT_TRUE(AppendText(buffer, "defg"));
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_FALSE(AppendText(buffer, "h"));
  EXPECT_STREQ(buffer, "abcdefg");
  char empty[1] = "";
  EXPECT_TRUE(AppendText(empty, ""));
  EXPECT_FALSE(AppendText(empty, "x"));
}

TEST(PathText, AppendTextToAnUnterminatedBufferFails) {
  char buffer[4] = {'a', 'b', 'c', 'd'};
  EXPECT_FALSE(AppendText(buffer, ""));
}

TEST(PathText, CopyTruncatedCutsAndTerminates) {
  char buffer[5];
  CopyTruncated(buffer, "123456789");
  EXPECT_STREQ(buffer, "1234");
  CopyTruncated(buffer, "12");
  EXPECT_STREQ(buffer, "12");
}

}  // namespace
