#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "cairn/cursor/FieldValue.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/DateTime.h"
#include "tests/cursor/CursorTestSupport.h"

namespace cairn {
namespace {

using test::NewField;
using test::TableParams;
using test::TRow;

constexpr double kMSecsPerDay = 86400000.0;

TFieldDefinition WithDefault(TFieldDefinition field, const std::string& text) {
  field.Default = text;
  return field;
}

class RecordTest : public test::CursorFixture {};

TEST_F(RecordTest, LiteralDefaultsStartEveryNewRecord) {
  TFieldDefinition upper = WithDefault(NewField("Upper", fld::kString, 10), "abc");
  upper.CharCase = 2;
  TFieldDefinition bcd = WithDefault(NewField("Money", fld::kBCD), "12.3456");
  bcd.Decimals = 4;
  Create("T", TableParams({
                  WithDefault(NewField("Flag", fld::kBoolean), "false"),                // 1
                  WithDefault(NewField("Zero", fld::kInteger), "0"),                    // 2
                  WithDefault(NewField("Blank", fld::kString, 10), "   "),              // 3
                  upper,                                                                // 4
                  WithDefault(NewField("Day", fld::kDate), "2014-11-03"),               // 5
                  WithDefault(NewField("Small", fld::kSmallInt), "-7"),                 // 6
                  WithDefault(NewField("Word", fld::kWord), "65535"),                   // 7
                  WithDefault(NewField("Float", fld::kFloat), "1.5"),                   // 8
                  WithDefault(NewField("Big", fld::kLargeInt), "-9000000000"),          // 9
                  WithDefault(NewField("Stamp", fld::kTimeStamp), "2014-11-03 13:05"),  // 10
                  WithDefault(NewField("Yes", fld::kBoolean), "TRUE"),                  // 11
                  bcd,                                                                  // 12
                  NewField("Plain", fld::kInteger),                                     // 13
              }));
  auto cursor = Open("T");
  EXPECT_TRUE(cursor->HasDefaultValues());
  TRow row(*cursor);
  std::memset(row.Data(), 0x5A, cursor->RecordSize());
  row.Init();
  EXPECT_FALSE(row.IsNull(1));
  EXPECT_EQ(row.Word(1), 0);
  EXPECT_FALSE(row.IsNull(2));
  EXPECT_EQ(row.Int(2), 0);
  EXPECT_TRUE(row.IsNull(3)) << "a default of spaces only is null";
  EXPECT_EQ(row.Text(4), "ABC");
  EXPECT_EQ(row.Int(5), host::DateToDayNumber(2014, 11, 3));
  EXPECT_EQ(row.Int16(6), -7);
  EXPECT_EQ(row.Word(7), 65535);
  EXPECT_EQ(row.Double(8), 1.5);
  EXPECT_EQ(row.Int64(9), -9000000000LL);
  EXPECT_EQ(row.Double(10),
            host::DateToDayNumber(2014, 11, 3) * kMSecsPerDay + (13 * 60 + 5) * 60000.0);
  EXPECT_EQ(row.Word(11), 1);
  char money[34];
  bool isNull = true;
  cursor->GetField(12, row.Data(), money, isNull);
  EXPECT_FALSE(isNull);
  EXPECT_EQ(DecodeBCDToMoney(money), 123456);
  EXPECT_EQ(money[0], 32) << "precision";
  EXPECT_EQ(money[1], 4) << "scale";
  EXPECT_TRUE(row.IsNull(13));
  // The system area and every byte not written by a default are zero.
  for (size_t i = 0; i < 25; ++i) EXPECT_EQ(row.Data()[i], 0) << i;
  EXPECT_EQ(row.Data()[cursor->FieldDefinition(13)->Offset + 1], 0);
}

TEST_F(RecordTest, TimeDefaultsReadTheTwelveHourClock) {
  const struct {
    const char* text;
    int32_t msecs;
  } cases[] = {
      {"12:30 AM", 30 * 60000},
      {"12:30 PM", 12 * 3600000 + 30 * 60000},
      {"1:05:07.250 PM", 13 * 3600000 + 5 * 60000 + 7250},
      {"am 12:00", 0},
      {"23:59:59.999", 86399999},
  };
  std::vector<TFieldDefinition> fields;
  for (const auto& c : cases) {
    fields.push_back(
        WithDefault(NewField("T" + std::to_string(fields.size()), fld::kTime), c.text));
  }
  Create("T", TableParams(fields));
  auto cursor = Open("T");
  TRow row(*cursor);
  row.Init();
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(row.Int(static_cast<int32_t>(i + 1)), cases[i].msecs) << cases[i].text;
  }
}

TEST_F(RecordTest, KeywordDefaultsAreEvaluatedForEachRecord) {
  Create("T", TableParams({
                  WithDefault(NewField("Guid", fld::kString, 38, fld::kSubGuid), "CURRENT_GUID"),
                  WithDefault(NewField("Short", fld::kString, 20), "current_guid"),
                  WithDefault(NewField("TimeOnly", fld::kTimeStamp), "CURRENT_TIME"),
                  WithDefault(NewField("Today", fld::kTimeStamp), "CURRENT_DATE"),
                  WithDefault(NewField("Now", fld::kTimeStamp), "CURRENT_TIMESTAMP"),
                  WithDefault(NewField("Date", fld::kDate), "CURRENT_DATE"),
              }));
  auto cursor = Open("T");
  TRow row(*cursor);
  std::set<std::string> guids;
  const int32_t today = host::DateToDayNumber(host::GetLocalTime().Year, host::GetLocalTime().Month,
                                              host::GetLocalTime().Day);
  for (int i = 0; i < 3; ++i) {
    row.Init();
    const std::string guid = row.Text(1);
    ASSERT_EQ(guid.size(), 38u);
    EXPECT_EQ(guid.front(), '{');
    EXPECT_EQ(guid.back(), '}');
    EXPECT_EQ(guid, host::AnsiUpperCase(guid)) << "hex digits upper case";
    guids.insert(guid);
    EXPECT_EQ(row.Text(2).size(), 20u);
    EXPECT_EQ(row.Text(2).front(), '{');
    const double timeOnly = row.Double(3);
    EXPECT_EQ(static_cast<int64_t>(timeOnly / kMSecsPerDay), 693594) << "a time on 1899-12-30";
    EXPECT_NEAR(row.Double(4), today * kMSecsPerDay, kMSecsPerDay);
    EXPECT_EQ(std::fmod(row.Double(4), kMSecsPerDay), 0.0) << "today at midnight";
    EXPECT_NEAR(row.Double(5), today * kMSecsPerDay + (timeOnly - 693594 * kMSecsPerDay),
                2 * kMSecsPerDay);
    EXPECT_NEAR(row.Int(6), today, 1);
  }
  EXPECT_EQ(guids.size(), 3u) << "a new GUID for every record";
}

TEST_F(RecordTest, StringPutRules) {
  TFieldDefinition lower = NewField("Lower", fld::kString, 10);
  lower.CharCase = 1;
  TFieldDefinition upper = NewField("Upper", fld::kString, 10);
  upper.CharCase = 2;
  for (int32_t locale : {0, 1033}) {
    SCOPED_TRACE(locale);
    const std::string name = "S" + std::to_string(locale);
    Create(name, TableParams({NewField("Text", fld::kString, 5),
                              NewField("Fixed", fld::kString, 5, fld::kSubFixed), lower, upper},
                             {}, locale));
    auto cursor = Open(name);
    TRow row(*cursor);
    row.Init();
    const struct {
      int32_t field;
      std::string given, stored;
      bool isNull;
    } cases[] = {
        {1, "abcdefgh", "abcde", false},  // cut to Length characters
        {1, "ab   ", "ab", false},        // trailing spaces removed
        {1, "  a", "  a", false},         // leading spaces kept
        {1, "     ", "", true},           // all spaces: null
        {1, "", "", true},                // empty: null
        {2, "ab   ", "ab   ", false},     // fixed length keeps them
        {3,
         "\xC0"
         "BC Def",
         "\xE0"
         "bc def",
         false},
        {4,
         "\xE0"
         "bc def",
         "\xC0"
         "BC DEF",
         false},
    };
    for (const auto& c : cases) {
      row.SetInt(1, 0);  // garbage from a previous case must not survive
      row.SetText(c.field, c.given);
      EXPECT_EQ(row.IsNull(c.field), c.isNull) << c.given;
      EXPECT_EQ(row.Text(c.field), c.stored) << c.given;
      const TFieldDefinition& field = *cursor->FieldDefinition(c.field);
      for (size_t i = c.stored.size(); i < field.DataSize; ++i) {
        EXPECT_EQ(row.Data()[field.Offset + 1 + i], 0) << c.given << " byte " << i;
      }
    }
  }
}

TEST_F(RecordTest, OtherPutAndGetRules) {
  Create("T", TableParams({NewField("Flag", fld::kBoolean), NewField("Id", fld::kInteger),
                           NewField("Memo", fld::kBlob, 0, fld::kSubMemo)}));
  auto cursor = Open("T");
  TRow row(*cursor);
  row.Init();
  char five[2];
  EncodeFixed16(five, 5);
  cursor->PutField(1, row.Data(), five);
  EXPECT_EQ(row.Word(1), 1) << "a boolean other than 0 is stored as 1";
  row.SetInt(2, 42);
  row.SetNull(2);
  EXPECT_TRUE(row.IsNull(2));
  EXPECT_EQ(row.Data()[cursor->FieldDefinition(2)->Offset + 1], 0) << "null value bytes zero";

  // Pseudo-fields read without a flag byte and are never null; writing them does nothing.
  EncodeInt32(row.Data() + 5, 77);
  EXPECT_FALSE(row.IsNull(-1));
  EXPECT_EQ(row.RecordID(), 77);
  row.SetInt(-1, 5);
  EXPECT_EQ(row.RecordID(), 77);
  EXPECT_FALSE(row.IsNull(-2));

  // A blob field reads its 4-byte reference; a block number keeps the flag, a handle takes
  // the caller's emptiness.
  char reference[4];
  EncodeInt32(reference, 9);
  cursor->PutField(3, row.Data(), reference, false, true);
  EXPECT_TRUE(row.IsNull(3));
  EncodeInt32(reference, -1);
  cursor->PutField(3, row.Data(), reference, false, false);
  EXPECT_FALSE(row.IsNull(3));
  EXPECT_EQ(row.Int(3), -1);

  EXPECT_THROW(row.SetInt(4, 1), std::out_of_range);
}

TEST_F(RecordTest, ClearRecordZeroesTheWholeBuffer) {
  Create("T", TableParams({WithDefault(NewField("Id", fld::kInteger), "3")}));
  auto cursor = Open("T");
  std::vector<char> bytes(cursor->RecordSize(), 'x');
  cursor->ClearRecord(bytes.data());
  EXPECT_EQ(bytes, std::vector<char>(cursor->RecordSize(), 0));
}

TEST(FieldValueTest, LiteralsThatDoNotConvertRaiseConversionErrors) {
  const struct {
    uint8_t type;
    const char* text;
    const char* message;
  } cases[] = {
      {fld::kDate, "2014/11/03", "'2014/11/03' is not a valid date"},
      {fld::kBoolean, "yes", "'yes' is not a valid boolean"},
      {fld::kTime, "1230", "'1230' is not a valid time"},
      {fld::kTimeStamp, "2014-13-03 12:00", "'2014-13-03 12:00' is not a valid date and time"},
      {fld::kInteger, "3000000000", nullptr},
      {fld::kFloat, "1,5", nullptr},
  };
  for (const auto& c : cases) {
    TFieldDefinition field = test::NewField("F", c.type);
    field.DataSize = FieldDataSize(c.type, 0, 0);
    char scratch[kFieldScratchSize];
    try {
      EncodeFieldText(field, c.text, scratch);
      ADD_FAILURE() << c.text << " converted";
    } catch (const EConvertError& error) {
      if (c.message != nullptr) {
        EXPECT_STREQ(error.what(), c.message);
      }
    }
  }
}

}  // namespace
}  // namespace cairn
