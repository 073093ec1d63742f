// The text signature over synthetic files.
#include <gtest/gtest.h>

#include <string>

#include "engine/TextSignature.h"
#include "tools/forge/InfectedHosts.h"

namespace {

class TextSignature : public ::testing::Test {
 protected:
  void SetUp() override {
    UnscrambleTextSignatures();
    const TextSignatureRecord& record = TextSignatureTable[0];
    pattern.assign(reinterpret_cast<const char*>(record.pattern), record.patternLength);
  }
  static bool Matches(const std::string& text) {
    MemoryByteReader reader(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    return FindTextSignature(reader, static_cast<int32_t>(text.size())) != nullptr;
  }
  std::string pattern;
};

TEST_F(TextSignature, TheRecordIsTheOneNyxemRecordWithAPatternWithoutWhitespace) {
  const TextSignatureRecord& record = TextSignatureTable[0];
  EXPECT_STREQ(record.name, "W32/Nyxem.Worm");
  EXPECT_EQ(+record.size, 0x20B9A);
  EXPECT_EQ(+record.position, 0x0760);
  EXPECT_EQ(+record.patternLength, 100);
  EXPECT_EQ(+record.window, 0);
  EXPECT_EQ(+record.searchMode, 1);
  EXPECT_EQ(+record.sizeCondition, 0x12);
  for (char c : pattern) EXPECT_FALSE(IsTextWhitespace(static_cast<uint8_t>(c)));
}

TEST_F(TextSignature, UnscramblingHappensOnce) {
  std::string before = pattern;
  UnscrambleTextSignatures();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(TextSignatureTable[0].pattern), 100), before);
}

TEST_F(TextSignature, StripsExactlyTheSixWhitespaceBytes) {
  const uint8_t text[] = {'a', 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 'b', 0x08, 0x0E, 0xA0, 0x85, 0x00};
  uint8_t out[sizeof text];
  size_t kept = StripWhitespace(text, sizeof text, out);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), kept), std::string("ab\x08\x0E\xA0\x85", 6) + '\0');
}

TEST_F(TextSignature, TheForgedHostsFileMatchesWhateverCaseItsBeginIsIn) {
  std::string hosts = forge::MakeInfectedHostsFile();
  EXPECT_TRUE(Matches(hosts));
  EXPECT_TRUE(Matches("BEGIN" + hosts.substr(5)));
  EXPECT_TRUE(Matches("Begin" + hosts.substr(5)));
  EXPECT_FALSE(Matches(" " + hosts));       // must start with it
  EXPECT_FALSE(Matches("bigin" + hosts.substr(5)));
  EXPECT_FALSE(Matches(forge::MakeNearMissHostsFile()));
}

TEST_F(TextSignature, AnOrdinaryHostsFileNeverMatches) {
  EXPECT_FALSE(Matches("127.0.0.1       localhost\r\n::1 localhost\r\n" + pattern));
  EXPECT_FALSE(Matches(""));
  EXPECT_FALSE(Matches("begi"));
}

TEST_F(TextSignature, WhitespaceInsideThePatternDoesNotPreventAMatch) {
  std::string spread;
  for (size_t i = 0; i < pattern.size(); ++i) spread += std::string(1, pattern[i]) + (i % 7 ? " " : "\r\n\t");
  EXPECT_TRUE(Matches("begin\n" + spread));
}

TEST_F(TextSignature, OnlyTheHeadWindowIsSearchedInLongFiles) {
  // The head window is the first 4096 bytes; a pattern that starts in it but
  // runs past its end is cut off there.
  std::string head = "begin" + std::string(4096 - 5 - 100, 'x');
  EXPECT_TRUE(Matches(head + pattern + std::string(5000, 'y')));
  std::string late = "begin" + std::string(4096 - 5 - 99, 'x');
  EXPECT_FALSE(Matches(late + pattern + std::string(5000, 'y')));
  EXPECT_FALSE(Matches("begin" + std::string(5000, 'x') + pattern));
}

TEST_F(TextSignature, StrippedBytesFreeRoomInTheWindow) {
  // 200 blanks ahead of the pattern leave it well inside the stripped window.
  std::string text = "begin" + std::string(200, ' ') + std::string(4096 - 5 - 200 - 100, 'x') + pattern;
  ASSERT_EQ(text.size(), 4096u);
  EXPECT_TRUE(Matches(text));
}

TEST_F(TextSignature, FilesOf4095And4096BytesAreBothSearchedWhole) {
  for (size_t length : {4095u, 4096u}) {
    std::string text = "begin" + std::string(length - 5 - 100, 'x') + pattern;
    ASSERT_EQ(text.size(), length);
    EXPECT_TRUE(Matches(text)) << length;
  }
}

TEST_F(TextSignature, APatternRunningIntoTheZeroFillMatchesOnlyZeros) {
  // Stripping shortens the data; the window is then filled with zeros up to W.
  std::string shortPattern = pattern;
  shortPattern.resize(99);
  std::string text = "begin" + shortPattern + std::string(50, ' ');
  EXPECT_FALSE(Matches(text));  // the last pattern byte meets a zero

  TextSignatureRecord& record = TextSignatureTable[0];
  uint8_t saved = record.pattern[99];
  record.pattern[99] = 0;
  EXPECT_TRUE(Matches(text));
  record.pattern[99] = saved;
}

TEST_F(TextSignature, SizeConditionsAndExactPositions) {
  TextSignatureRecord& record = TextSignatureTable[0];
  const TextSignatureRecord saved = record;
  std::string text = "begin" + std::string(300, 'x') + pattern + std::string(300, 'z');
  const int32_t length = static_cast<int32_t>(text.size());

  record.sizeCondition = kSizeEquals;
  record.size = length;
  EXPECT_TRUE(Matches(text));
  record.size = length + 1;
  EXPECT_FALSE(Matches(text));
  record.sizeCondition = kSizeWithin4096;
  record.size = length + 4096;
  EXPECT_TRUE(Matches(text));
  record.size = length + 4097;
  EXPECT_FALSE(Matches(text));

  record.sizeCondition = 0x12;
  record.searchMode = 2;
  record.position = 305;
  EXPECT_TRUE(Matches(text));
  record.position = 304;
  EXPECT_FALSE(Matches(text));
  record.window = 1;
  record.position = 400;  // from the end of the stripped tail
  EXPECT_TRUE(Matches(text));
  record.position = -1;
  EXPECT_FALSE(Matches(text));
  record = saved;
}

}  // namespace
