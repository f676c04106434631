#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cairn/error/EngineErrorCodes.h"
#include "tests/cursor/CursorTestSupport.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn {
namespace {

using test::IndexOn;
using test::NewField;
using test::TableParams;
using test::TRow;

std::string Hex(const std::vector<char>& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  for (char c : bytes) {
    if (!text.empty()) text += ' ';
    text += digits[static_cast<uint8_t>(c) >> 4];
    text += digits[static_cast<uint8_t>(c) & 15];
  }
  return text;
}

class KeyTest : public test::CursorFixture {
 protected:
  std::vector<char> Key(TDataCursor& cursor, const TRow& row) {
    std::vector<char> key(cursor.KeySize());
    cursor.GetKeyValues(row.Data(), key.data());
    return key;
  }
};

TEST_F(KeyTest, ValueFormsCompareAsUnsignedBytes) {
  Create("T",
         TableParams(
             {NewField("I", fld::kInteger), NewField("S", fld::kSmallInt),
              NewField("B", fld::kBoolean), NewField("W", fld::kWord),
              NewField("L", fld::kLargeInt), NewField("F", fld::kFloat), NewField("D", fld::kDate)},
             {IndexOn("ByI", {1}, true), IndexOn("ByS", {2}, true), IndexOn("ByL", {5}, true),
              IndexOn("ByF", {6}, true), IndexOn("ByB", {3}, true)}));
  auto cursor = Open("T");
  TRow row(*cursor);
  row.Init();
  cursor->SetIndexName("byi");  // names ignore case
  EXPECT_EQ(cursor->IndexPos(), 1);
  EXPECT_EQ(cursor->KeySize(), 5u);
  const struct {
    int32_t value;
    const char* key;
  } integers[] = {{-1, "01 7F FF FF FF"}, {0, "01 80 00 00 00"}, {1, "01 80 00 00 01"}};
  for (const auto& c : integers) {
    row.SetInt(1, c.value);
    EXPECT_EQ(Hex(Key(*cursor, row)), c.key) << c.value;
  }
  row.SetNull(1);
  EXPECT_EQ(Hex(Key(*cursor, row)), "00 80 00 00 00");

  cursor->SetIndexName("ByS");
  row.SetInt16(2, -2);
  EXPECT_EQ(Hex(Key(*cursor, row)), "01 7F FE");
  cursor->SetIndexName("ByL");
  char large[8];
  EncodeInt64(large, 1);
  cursor->PutField(5, row.Data(), large);
  EXPECT_EQ(Hex(Key(*cursor, row)), "01 80 00 00 00 00 00 00 01");
  cursor->SetIndexName("ByB");
  char yes[2];
  EncodeFixed16(yes, 1);
  cursor->PutField(3, row.Data(), yes);
  EXPECT_EQ(Hex(Key(*cursor, row)), "01 00 01");

  // Floats order by plain byte comparison of their keys.
  cursor->SetIndexName("ByF");
  std::vector<std::vector<char>> keys;
  for (double value : {-2.0, -0.5, 0.0, 1.5, 1e300}) {
    row.SetDouble(6, value);
    keys.push_back(Key(*cursor, row));
  }
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<uint8_t>(x) < static_cast<uint8_t>(y);
    });
  }));
  for (size_t i = 1; i < keys.size(); ++i) {
    EXPECT_LT(cursor->CompareKeys(keys[i - 1].data(), keys[i].data(), cursor->KeySize()), 0) << i;
  }
}

TEST_F(KeyTest, SizesAndTheRecordIdSuffix) {
  TTableCreateParams params = TableParams(
      {NewField("Guid", fld::kString, 38, fld::kSubGuid), NewField("Name", fld::kString, 10),
       NewField("Money", fld::kBCD)},
      {IndexOn("ByName", {2}), IndexOn("ByNameU", {2}, true), IndexOn("ByMoney", {3}, true)});
  params.PrimaryIndex = IndexOn("", {1}, true);
  Create("T", params);
  auto cursor = Open("T");
  EXPECT_EQ(cursor->KeySize(), 40u) << "a GUID primary key: flag and 39 bytes";
  cursor->SetIndexName("ByNameU");
  EXPECT_EQ(cursor->KeySize(), 12u) << "a string of 10: flag and 11 bytes";
  cursor->SetIndexName("ByName");
  EXPECT_EQ(cursor->KeySize(), 16u) << "non-unique: the RecordID follows";
  cursor->SetIndexName("ByMoney");
  EXPECT_EQ(cursor->KeySize(), 9u) << "a BCD key part is 8 bytes";

  cursor->SetIndexName("ByName");
  TRow row(*cursor);
  row.Init();
  row.SetText(2, "ab");
  EncodeInt32(row.Data() + 5, 3);
  EXPECT_EQ(Hex(Key(*cursor, row)), "01 61 62 00 00 00 00 00 00 00 00 00 80 00 00 03");

  EXPECT_EQ(test::EngineErrorCode([&] { cursor->SetIndexName("Nope"); }), CAIRN_INVALIDINDEXNAME);
  EXPECT_EQ(cursor->IndexName(), "ByName");
  cursor->SetIndexPos(0);
  EXPECT_EQ(cursor->IndexName(), "");
  EXPECT_EQ(test::EngineErrorCode([&] { cursor->SetIndexPos(4); }), CAIRN_INVALIDIDXDESC);
  cursor->SetIndexPos(2);
  EXPECT_EQ(cursor->IndexName(), "ByNameU");
}

TEST_F(KeyTest, DescendingFieldsReverseOnlyTheirPart) {
  Create("T", TableParams({NewField("A", fld::kInteger), NewField("B", fld::kInteger)},
                          {IndexOn("Mixed", {1, 2}, false, false, {false, true})}));
  auto cursor = Open("T");
  cursor->SetIndexName("Mixed");
  TRow low(*cursor), high(*cursor);
  low.Init();
  high.Init();
  low.SetInt(1, 1);
  high.SetInt(1, 1);
  low.SetInt(2, 5);
  high.SetInt(2, 6);
  EncodeInt32(low.Data() + 5, 2);
  EncodeInt32(high.Data() + 5, 1);
  const size_t n = cursor->KeySize();
  EXPECT_GT(cursor->CompareKeys(Key(*cursor, low).data(), Key(*cursor, high).data(), n), 0)
      << "larger B first";
  high.SetInt(2, 5);
  // Equal values: the RecordID decides, ascending, whatever the field's direction.
  EXPECT_GT(cursor->CompareKeys(Key(*cursor, low).data(), Key(*cursor, high).data(), n), 0);
  high.SetInt(1, 0);
  EXPECT_GT(cursor->CompareKeys(Key(*cursor, low).data(), Key(*cursor, high).data(), n), 0)
      << "A ascending";
}

TEST_F(KeyTest, CaseAndAccentsUnderEachLocale) {
  for (int32_t locale : {0, 1033}) {
    SCOPED_TRACE(locale);
    const std::string name = "T" + std::to_string(locale);
    Create(name,
           TableParams({NewField("S", fld::kString, 10)},
                       {IndexOn("Exact", {1}, true), IndexOn("NoCase", {1}, true, true)}, locale));
    auto cursor = Open(name);
    TRow a(*cursor), b(*cursor);
    a.Init();
    b.Init();
    cursor->SetIndexName("NoCase");
    a.SetText(1, "abc");
    b.SetText(1, "ABC");
    EXPECT_EQ(Key(*cursor, a), Key(*cursor, b)) << "upper-cased key parts";
    cursor->SetIndexName("Exact");
    const size_t n = cursor->KeySize();
    EXPECT_NE(cursor->CompareKeys(Key(*cursor, a).data(), Key(*cursor, b).data(), n), 0);
    a.SetText(1, "r\xE9sum\xE9");  // résumé in the 8-bit code page
    b.SetText(1, "resume");
    const int accents = cursor->CompareKeys(Key(*cursor, a).data(), Key(*cursor, b).data(), n);
    if (locale == 0) {
      EXPECT_GT(accents, 0) << "byte order";
    } else {
      EXPECT_EQ(accents, 0) << "accents ignored";
    }
  }
}

}  // namespace
}  // namespace cairn
