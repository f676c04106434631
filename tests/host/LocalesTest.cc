#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "cairn/host/Locales.h"

namespace cairn::host {
namespace {

int Sign(int value) {
  return (value > 0) - (value < 0);
}

TEST(LocalesTest, InstalledLocales) {
  EXPECT_TRUE(IsInstalledLocale(0));
  EXPECT_TRUE(IsInstalledLocale(1033));
  EXPECT_TRUE(IsInstalledLocale(1031));
  EXPECT_FALSE(IsInstalledLocale(12345));
  EXPECT_EQ(IcuLocaleName(1033), "en_US");
  EXPECT_EQ(IcuLocaleName(12345), "");

  std::vector<TLocaleInfo> locales = SystemLocales();
  auto english = std::find_if(locales.begin(), locales.end(),
                              [](const TLocaleInfo& l) { return l.Id == 1033; });
  ASSERT_NE(english, locales.end());
  EXPECT_EQ(english->Name, "English (United States)");
  EXPECT_EQ(english->ShortName, "ENU");
  for (const TLocaleInfo& l : locales) {
    EXPECT_NE(l.Id, 0u);
    EXPECT_TRUE(IsInstalledLocale(l.Id)) << l.Id;
  }
}

TEST(LocalesTest, ComparisonIgnoresAccentsButNotCase) {
  struct Case {
    uint32_t lcid;
    std::string a;
    std::string b;
    int sign;
  };
  const Case cases[] = {
      {1033, "resume", "r\xE9sum\xE9", 0},  // accents ignored
      {1033, "a", "A", -1},                 // case kept
      {1033, "A", "a", 1},
      {1033, "a-b", "ab", -1},  // punctuation counts
      {1033, "apple", "Banana", -1},
      {1033, "\xE9t\xE9", "ete", 0},
      {1031, "\xC4rger", "Arger", 0},
      {1031, "Zebra", "\xC4pfel", 1},
      {0, "resume", "r\xE9sum\xE9", -1},  // locale 0: bytes
      {0, "a", "A", 1},
      {0, "apple", "Banana", 1},
      {0, "\xE9", "z", 1},  // unsigned bytes
      {0, "same", "same", 0},
      {12345, "b", "a", 1},  // an unknown locale compares bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lcid << ": " << c.a << " / " << c.b);
    EXPECT_EQ(Sign(CompareLocaleStrings(c.lcid, c.a, c.b)), c.sign);
  }
}

TEST(LocalesTest, CaseMappingKeepsTheLength) {
  struct Case {
    uint32_t lcid;
    std::string text;
    std::string upper;
    std::string lower;
  };
  const Case cases[] = {
      {1033, "Caf\xE9 \xFF\x9A", "CAF\xC9 \x9F\x8A", "caf\xE9 \xFF\x9A"},
      // Sharp s has no single upper-case letter in the code page: it stays.
      {1031,
       "Stra\xDF"
       "e",
       "STRA\xDF"
       "E",
       "stra\xDF"
       "e"},
      // Turkish dotted and dotless i do not exist in the code page: plain i and I are kept.
      {1055, "Istanbul i", "ISTANBUL I", "istanbul i"},
      {0, "abc\xE9", "ABC\xC9", "abc\xE9"},
      {12345, "Ab", "AB", "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lcid << ": " << c.text);
    EXPECT_EQ(LocaleUpperCase(c.lcid, c.text), c.upper);
    EXPECT_EQ(LocaleLowerCase(c.lcid, c.text), c.lower);
  }
}

}  // namespace
}  // namespace cairn::host
