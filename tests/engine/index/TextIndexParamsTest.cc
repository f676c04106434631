#include <gtest/gtest.h>

#include <cctype>

#include "cairn/engine/index/TextIndexParams.h"

namespace cairn {
namespace {

TEST(TextIndexParamsTest, DefaultStopWords) {
  const TTextIndexParams params = GetDefaultTextIndexParams();
  const std::vector<std::string> expected = {
      "A",  "AN",   "AND", "BE",   "FOR", "HOW", "IN",   "IS",   "IT",    "OF",  "ON",
      "OR", "THAT", "THE", "THIS", "TO",  "WAS", "WHAT", "WHEN", "WHICH", "WHY", "WILL"};
  EXPECT_EQ(params.StopWords, expected);
  EXPECT_EQ(params.SpaceChars, GetDefaultTextIndexSpaceChars());
  EXPECT_EQ(params.IncludeChars, GetDefaultTextIndexIncludeChars());
}

TEST(TextIndexParamsTest, DefaultCharacterSetsHoldExactlyTheirCodes) {
  const TCharSet space = GetDefaultTextIndexSpaceChars();
  const TCharSet include = GetDefaultTextIndexIncludeChars();
  for (int c = 0; c < 256; ++c) {
    const bool isSpace =
        (c >= 1 && c <= 32) || (c >= 42 && c <= 47) || (c >= 58 && c <= 62) || c == 92 || c == 96;
    const bool isWord = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                        (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
    EXPECT_EQ(space.test(c), isSpace) << c;
    EXPECT_EQ(include.test(c), isWord) << c;
  }
  EXPECT_EQ(space.count(), 32u + 6 + 5 + 2);
  EXPECT_FALSE(space.test(0));
  EXPECT_FALSE(space.test(33));
  EXPECT_TRUE(include.test(254));
  EXPECT_FALSE(include.test(255));
}

}  // namespace
}  // namespace cairn
