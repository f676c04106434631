#include <gtest/gtest.h>

#include <string>

#include "cairn/engine/DataEngine.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/Locales.h"

namespace cairn {
namespace {

class DataLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override { FEngine.Initialize(); }
  TDataEngine FEngine;
};

constexpr uint32_t kUnknownLocale = 12345;

TEST_F(DataLocaleTest, BuiltInLocaleLeadsTheSortedList) {
  const std::vector<std::string> names = FEngine.GetLocaleNames();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names[0], "ANSI Standard");
  for (size_t i = 2; i < names.size(); ++i)
    EXPECT_LE(host::AnsiCompareText(names[i - 1], names[i]), 0) << names[i];
  // Every listed locale is one the engine accepts for a table, and the names lead back to it.
  for (const std::string& name : names) {
    std::optional<uint32_t> id = FEngine.ConvertLocaleConstantToID(name);
    ASSERT_TRUE(id.has_value()) << name;
    EXPECT_TRUE(FEngine.IsValidLocale(*id)) << name;
    EXPECT_EQ(FEngine.ConvertIDToLocaleConstant(*id), name);
  }
  EXPECT_EQ(names.size(), host::SystemLocales().size() + 1);
}

TEST_F(DataLocaleTest, ValidityAndNameConversion) {
  EXPECT_TRUE(FEngine.IsValidLocale(0));
  EXPECT_FALSE(FEngine.IsValidLocale(kUnknownLocale));
  EXPECT_EQ(FEngine.ConvertLocaleConstantToID("ansi standard"), 0u);
  EXPECT_EQ(FEngine.ConvertLocaleConstantToID("ANSI"), 0u);
  EXPECT_EQ(FEngine.ConvertLocaleConstantToID("Klingon (Qo'noS)"), std::nullopt);
  EXPECT_EQ(FEngine.ConvertIDToLocaleConstant(0), "ANSI Standard");
  EXPECT_EQ(FEngine.ConvertIDToLocaleConstant(kUnknownLocale), "");
}

TEST_F(DataLocaleTest, BuiltInLocaleComparesBytesAndMapsWindows1252Case) {
  EXPECT_GT(FEngine.CompareStrings(0, "a", "B"), 0);
  EXPECT_LT(FEngine.CompareStrings(0, "B", "a"), 0);
  EXPECT_EQ(FEngine.CompareStrings(0, "Same", "Same"), 0);
  EXPECT_EQ(FEngine.UpperCase(0, "caf\xe9 \x9a"), "CAF\xc9 \x8a");
  EXPECT_EQ(FEngine.LowerCase(0, "CAF\xc9 \x8a"), "caf\xe9 \x9a");
}

}  // namespace
}  // namespace cairn
