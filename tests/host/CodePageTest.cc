#include <string>

#include <gtest/gtest.h>

#include "cairn/host/CodePage.h"

namespace cairn::host {
namespace {

// The five bytes Windows-1252 leaves without a character.
bool IsUndefined(int b) {
  return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

TEST(CodePageTest, EveryByteRoundTrips) {
  int defined = 0;
  for (int b = 0; b < 256; ++b) {
    std::string ansi(1, static_cast<char>(b));
    std::string utf8 = AnsiToUtf8(ansi);
    EXPECT_EQ(Utf8ToAnsi(utf8), ansi) << "byte " << b;
    if (!IsUndefined(b)) ++defined;
  }
  EXPECT_EQ(defined, 251);
}

TEST(CodePageTest, Conversions) {
  struct Case {
    std::string ansi;
    std::string utf8;
  };
  const Case cases[] = {
      {"plain ASCII", "plain ASCII"},
      {"\x80", "\xE2\x82\xAC"},                  // euro sign
      {"\x9F", "\xC5\xB8"},                      // Y with diaeresis
      {"R\xE9sum\xE9", "R\xC3\xA9sum\xC3\xA9"},  // e acute
      {"\xFF", "\xC3\xBF"},
      {"\x81", "\xC2\x81"},  // a byte without a character keeps its value
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      // Long ASCII runs before, between and after other characters (read eight bytes at a time).
      {"abcdefg\xE9", "abcdefg\xC3\xA9"},
      {"abcdefgh\xE9", "abcdefgh\xC3\xA9"},
      {"0123456789abcdef\x80xyz", "0123456789abcdef\xE2\x82\xACxyz"},
      {"\xE9" + std::string(20, 'q') + "\xE9", "\xC3\xA9" + std::string(20, 'q') + "\xC3\xA9"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
  }
}

TEST(CodePageTest, CharactersTheCodePageCannotHoldBecomeQuestionMarks) {
  struct Case {
    std::string utf8;
    std::string ansi;
  };
  const Case cases[] = {
      {"\xE6\x97\xA5\xE6\x9C\xAC", "??"},  // two CJK characters
      {"x\xF0\x9F\x98\x80y", "x?y"},       // a character beyond the BMP
      {"\xCE\xA9", "?"},                   // Greek capital omega
      {"a\xC3", "a?"},                     // a cut sequence
      {"\xFF", "?"},                       // not UTF-8 at all
      {"0123456789abcdef\xC3", "0123456789abcdef?"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
  EXPECT_EQ(UnicodeToAnsiChar(0x110000), '?');
  EXPECT_EQ(UnicodeToAnsiChar(U'?'), '?');
}

TEST(CodePageTest, CaseMapping) {
  struct Case {
    char lower;
    char upper;
  };
  const Case pairs[] = {{'a', 'A'},       {'z', 'Z'},       {'\xE0', '\xC0'},
                        {'\xE9', '\xC9'}, {'\xFE', '\xDE'}, {'\x9A', '\x8A'},
                        {'\x9C', '\x8C'}, {'\x9E', '\x8E'}, {'\xFF', '\x9F'}};
  for (const Case& c : pairs) {
    SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(c.lower)));
    EXPECT_EQ(AnsiUpperChar(c.lower), c.upper);
    EXPECT_EQ(AnsiLowerChar(c.upper), c.lower);
    EXPECT_EQ(AnsiUpperChar(c.upper), c.upper);
    EXPECT_EQ(AnsiLowerChar(c.lower), c.lower);
  }
  // Without a partner: sharp s, micro, the multiplication and division signs, digits, symbols.
  for (char c : {'\xDF', '\xB5', '\xD7', '\xF7', '1', '@', '[', '\x80'}) {
    EXPECT_EQ(AnsiUpperChar(c), c) << static_cast<int>(static_cast<unsigned char>(c));
    EXPECT_EQ(AnsiLowerChar(c), c) << static_cast<int>(static_cast<unsigned char>(c));
  }
  EXPECT_EQ(AnsiUpperCase("Stra\xDF"
                          "e \xE9t\xE9"),
            "STRA\xDF"
            "E \xC9T\xC9");
  EXPECT_EQ(AnsiLowerCase("\x8A\x8C\x8E\x9F"), "\x9A\x9C\x9E\xFF");
}

TEST(CodePageTest, TextComparisonIgnoresCase) {
  EXPECT_EQ(AnsiCompareText("events.DAT", "EVENTS.dat"), 0);
  EXPECT_TRUE(AnsiSameText("\xC4rger", "\xE4RGER"));
  EXPECT_FALSE(AnsiSameText("abc", "abcd"));
  EXPECT_LT(AnsiCompareText("abc", "abcd"), 0);
  EXPECT_LT(AnsiCompareText("a", "B"), 0);
  EXPECT_GT(AnsiCompareText("\xE9", "z"), 0);  // unsigned bytes: 0xC9 after 'Z'
  EXPECT_TRUE(IsAsciiLetter('q'));
  EXPECT_FALSE(IsAsciiLetter('\xE9'));
  EXPECT_FALSE(IsAsciiLetter('_'));
}

}  // namespace
}  // namespace cairn::host
