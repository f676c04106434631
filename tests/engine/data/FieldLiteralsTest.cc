#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/data/FieldLiterals.h"
#include "cairn/host/DateTime.h"

namespace cairn {
namespace {

struct TLiteralCase {
  uint8_t DataType;
  std::string Text;
  bool Valid;
};

void PrintTo(const TLiteralCase& c, std::ostream* os) {
  *os << "type " << int(c.DataType) << " '" << c.Text << "'";
}

class FieldLiteralValidity : public ::testing::TestWithParam<TLiteralCase> {};

TEST_P(FieldLiteralValidity, MatchesTheTypeRules) {
  const TLiteralCase& c = GetParam();
  EXPECT_EQ(IsValidFieldLiteral(c.DataType, c.Text), c.Valid);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FieldLiteralValidity,
    ::testing::Values(
        // Empty means "no value" for every type, blobs included.
        TLiteralCase{fld::kDate, "", true}, TLiteralCase{fld::kBlob, "", true},
        TLiteralCase{fld::kBlob, "x", false}, TLiteralCase{fld::kBlob, "CURRENT_DATE", false},
        // Keywords, whole text, case ignored, only for their types.
        TLiteralCase{fld::kString, "current_guid", true},
        TLiteralCase{fld::kDate, "Current_Date", true},
        TLiteralCase{fld::kDate, "CURRENT_TIME", false},
        TLiteralCase{fld::kDate, " CURRENT_DATE", false},
        TLiteralCase{fld::kTime, "CURRENT_TIME", true},
        TLiteralCase{fld::kTime, "CURRENT_TIMESTAMP", false},
        TLiteralCase{fld::kTimeStamp, "CURRENT_TIMESTAMP", true},
        TLiteralCase{fld::kTimeStamp, "current_date", true},
        TLiteralCase{fld::kTimeStamp, "CURRENT_TIME", true},
        TLiteralCase{fld::kInteger, "CURRENT_DATE", false},
        // Dates.
        TLiteralCase{fld::kDate, "2014-11-03", true}, TLiteralCase{fld::kDate, "2000-2-29", true},
        TLiteralCase{fld::kDate, "1900-02-29", false},
        TLiteralCase{fld::kDate, "2014-13-01", false}, TLiteralCase{fld::kDate, "0-01-01", false},
        TLiteralCase{fld::kDate, "20141103", false}, TLiteralCase{fld::kDate, "2014-11", false},
        TLiteralCase{fld::kDate, "2014-11-03-1", false},
        TLiteralCase{fld::kDate, "2014-+1-03", false},
        TLiteralCase{fld::kDate, "2014-11-03 ", false},
        // Times.
        TLiteralCase{fld::kTime, "12:30", true}, TLiteralCase{fld::kTime, "23:59:59.999", true},
        TLiteralCase{fld::kTime, "PM 1:05", true}, TLiteralCase{fld::kTime, "1:05pm", true},
        TLiteralCase{fld::kTime, "24:00", false}, TLiteralCase{fld::kTime, "12:60", false},
        TLiteralCase{fld::kTime, "12:30:00.1000", false}, TLiteralCase{fld::kTime, "1230", false},
        TLiteralCase{fld::kTime, "12:30.5", false}, TLiteralCase{fld::kTime, "1:2:3:4", false},
        TLiteralCase{fld::kTime, "12:30 AM PM", false}, TLiteralCase{fld::kTime, "11:00 PM", true},
        TLiteralCase{fld::kTime, "13:00 PM", false}, TLiteralCase{fld::kTime, ":30", false},
        // Date-times.
        TLiteralCase{fld::kTimeStamp, "2014-11-03 12:30", true},
        TLiteralCase{fld::kTimeStamp, "2014-11-03 12:30 pm", true},
        TLiteralCase{fld::kTimeStamp, "2014-11-03", true},
        TLiteralCase{fld::kTimeStamp, "9:15 AM", true},
        TLiteralCase{fld::kTimeStamp, "2014-11-03 noon", false},
        TLiteralCase{fld::kTimeStamp, "2014-11-32 12:30", false},
        TLiteralCase{fld::kTimeStamp, "today", false},
        // Booleans.
        TLiteralCase{fld::kBoolean, "False", true}, TLiteralCase{fld::kBoolean, "TRUE", true},
        TLiteralCase{fld::kBoolean, "yes", false}, TLiteralCase{fld::kBoolean, "1", false},
        TLiteralCase{fld::kBoolean, " TRUE", false},
        // Integers and their ranges.
        TLiteralCase{fld::kInteger, "-1", true}, TLiteralCase{fld::kInteger, "+7", true},
        TLiteralCase{fld::kInteger, "2147483647", true},
        TLiteralCase{fld::kInteger, "2147483648", false}, TLiteralCase{fld::kInteger, "1.0", false},
        TLiteralCase{fld::kInteger, "+-1", false}, TLiteralCase{fld::kInteger, "1a", false},
        TLiteralCase{fld::kInteger, "-", false}, TLiteralCase{fld::kSmallInt, "-32768", true},
        TLiteralCase{fld::kSmallInt, "32768", false}, TLiteralCase{fld::kWord, "65535", true},
        TLiteralCase{fld::kWord, "-1", false},
        TLiteralCase{fld::kLargeInt, "-9223372036854775808", true},
        TLiteralCase{fld::kLargeInt, "9223372036854775808", false},
        // Floats and BCD.
        TLiteralCase{fld::kFloat, "3.25", true}, TLiteralCase{fld::kFloat, "-.5", true},
        TLiteralCase{fld::kFloat, "1e10", true}, TLiteralCase{fld::kFloat, "1,5", false},
        TLiteralCase{fld::kFloat, "1e999", false}, TLiteralCase{fld::kFloat, "nan", false},
        TLiteralCase{fld::kFloat, ".", false}, TLiteralCase{fld::kFloat, "1e", false},
        TLiteralCase{fld::kBCD, "12.3456", true}, TLiteralCase{fld::kBCD, "12.34567", false},
        TLiteralCase{fld::kBCD, "1e3", false}, TLiteralCase{fld::kBCD, "1.2.3", false},
        // Strings, bytes and the types without values take any text.
        TLiteralCase{fld::kString, "anything at all", true}, TLiteralCase{fld::kBytes, "x", true},
        TLiteralCase{fld::kVarBytes, "x", true}, TLiteralCase{fld::kADT, "x", true}));

TEST(FieldLiteralParse, GivesTheStoredValueForms) {
  constexpr double kDay = host::kMSecsPerDay;
  EXPECT_EQ(ParseDateLiteral("1899-12-30"), 693594);
  EXPECT_EQ(ParseDateLiteral("0001-01-01"), 1);
  // AM and PM: 12 AM is midnight, 12 PM noon, other PM hours move by 12.
  EXPECT_EQ(ParseTimeLiteral("12:30 AM"), 30 * 60 * 1000);
  EXPECT_EQ(ParseTimeLiteral("12:30 PM"), (12 * 60 + 30) * 60 * 1000);
  EXPECT_EQ(ParseTimeLiteral("1:05:07.250 PM"), ((13 * 60 + 5) * 60 + 7) * 1000 + 250);
  EXPECT_EQ(ParseDateTimeLiteral("1899-12-30 6:00"), 693594 * kDay + 6 * 3600000.0);
  // A time alone falls on 1899-12-30; a date alone at midnight.
  EXPECT_EQ(ParseDateTimeLiteral("6:00"), 693594 * kDay + 6 * 3600000.0);
  EXPECT_EQ(ParseDateTimeLiteral("0001-01-02"), 2 * kDay);
  EXPECT_EQ(ParseBooleanLiteral("fAlSe"), false);
  EXPECT_EQ(ParseIntegerLiteral(" -1 ", INT32_MIN, INT32_MAX), -1);
  EXPECT_EQ(ParseFloatLiteral("-2.5e2"), -250.0);
  EXPECT_EQ(ParseBCDLiteral("-12.5"), -125000);
  EXPECT_EQ(ParseBCDLiteral("922337203685477.5807"), INT64_MAX);
  EXPECT_EQ(ParseBCDLiteral("-922337203685477.5808"), INT64_MIN);
  EXPECT_EQ(ParseBCDLiteral("922337203685477.5808"), std::nullopt);
}

TEST(FieldLiteralKeyword, NamesTheKeywordOnlyWhereItIsAllowed) {
  EXPECT_EQ(FieldLiteralKeyword(fld::kString, "Current_Guid"), TLiteralKeyword::CurrentGuid);
  EXPECT_EQ(FieldLiteralKeyword(fld::kInteger, "CURRENT_GUID"), TLiteralKeyword::None);
  EXPECT_EQ(FieldLiteralKeyword(fld::kTimeStamp, "current_time"), TLiteralKeyword::CurrentTime);
  EXPECT_EQ(FieldLiteralKeyword(fld::kTimeStamp, "CURRENT_TIMESTAMP"),
            TLiteralKeyword::CurrentTimestamp);
  EXPECT_EQ(FieldLiteralKeyword(fld::kDate, "CURRENT_DATE"), TLiteralKeyword::CurrentDate);
}

}  // namespace
}  // namespace cairn
