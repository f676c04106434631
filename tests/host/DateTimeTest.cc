#include <time.h>

#include <cmath>
#include <stdexcept>

#include <gtest/gtest.h>

#include "cairn/host/DateTime.h"

namespace cairn::host {
namespace {

constexpr double kDay = 86400000.0;

TEST(DateTimeTest, DayNumbers) {
  struct Case {
    int year, month, day;
    int32_t dayNumber;  // 0: not a date
  };
  const Case cases[] = {
      {1, 1, 1, 1},          {1, 12, 31, 365},      {2, 1, 1, 366},          {1899, 12, 30, 693594},
      {1900, 2, 28, 693654}, {1900, 2, 29, 0},       // 1900 is not a leap year
      {1900, 3, 1, 693655},  {2000, 2, 29, 730179},  // 2000 is
      {2024, 2, 29, 738945}, {2023, 2, 29, 0},      {9999, 12, 31, 3652059}, {0, 1, 1, 0},
      {10000, 1, 1, 0},      {2020, 13, 1, 0},      {2020, 4, 31, 0},        {2020, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
    EXPECT_EQ(DateToDayNumber(c.year, c.month, c.day), c.dayNumber);
    if (c.dayNumber == 0) continue;
    int y = 0, m = 0, d = 0;
    ASSERT_TRUE(DayNumberToDate(c.dayNumber, y, m, d));
    EXPECT_EQ(y, c.year);
    EXPECT_EQ(m, c.month);
    EXPECT_EQ(d, c.day);
  }
  int y, m, d;
  EXPECT_FALSE(DayNumberToDate(0, y, m, d));
  EXPECT_FALSE(DayNumberToDate(3652060, y, m, d));
}

TEST(DateTimeTest, DayNumbersRoundTripAcrossTheRange) {
  for (int32_t n = 1; n <= 3652059; n += 997) {
    int y, m, d;
    ASSERT_TRUE(DayNumberToDate(n, y, m, d));
    ASSERT_EQ(DateToDayNumber(y, m, d), n) << y << "-" << m << "-" << d;
  }
}

TEST(DateTimeTest, LeapYears) {
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_FALSE(IsLeapYear(2100));
}

TEST(DateTimeTest, EncodeAndMilliseconds) {
  struct Case {
    int year, month, day, hour, minute, second, msec;
    double dateTime;
    double msecs;
  };
  const Case cases[] = {
      {1899, 12, 30, 0, 0, 0, 0, 0.0, 693594 * kDay},
      {1899, 12, 30, 9, 0, 0, 0, 0.375, 693594 * kDay + 32400000},
      {1899, 12, 29, 6, 0, 0, 0, -1.25, 693593 * kDay + 21600000},
      {1899, 12, 28, 0, 0, 0, 0, -2.0, 693592 * kDay},
      {1900, 1, 1, 18, 0, 0, 0, 2.75, 693596 * kDay + 64800000},
      {2000, 2, 29, 12, 0, 0, 0, 36585.5, 730179 * kDay + 43200000},
      {1, 1, 1, 0, 0, 0, 0, -693593.0, 1 * kDay},
      {2014, 11, 3, 23, 59, 59, 999, 41946 + 86399999 / kDay, 735540 * kDay + 86399999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute);
    double value = EncodeDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second, c.msec);
    EXPECT_DOUBLE_EQ(value, c.dateTime);
    EXPECT_EQ(DateTimeToMSecs(value), c.msecs);
    EXPECT_NEAR(MSecsToDateTime(c.msecs), value, 1e-9);
    EXPECT_EQ(DateTimeToDayNumber(value), DateToDayNumber(c.year, c.month, c.day));
    EXPECT_EQ(DateTimeToTimeMSecs(value),
              ((c.hour * 60 + c.minute) * 60 + c.second) * 1000 + c.msec);
  }
}

TEST(DateTimeTest, MillisecondsRoundToTheNearest) {
  // 1 ms is 1/86400000 of a day; values between milliseconds round.
  EXPECT_EQ(DateTimeToMSecs(0.4 / kDay), 693594 * kDay);
  EXPECT_EQ(DateTimeToMSecs(0.6 / kDay), 693594 * kDay + 1);
  // -0.25 and 0.25 both stand for 06:00 on 1899-12-30.
  EXPECT_EQ(DateTimeToMSecs(-0.25), DateTimeToMSecs(0.25));
  EXPECT_TRUE(std::isnan(DateTimeToMSecs(NAN)));
  EXPECT_EQ(DateTimeToDayNumber(NAN), 0);
  EXPECT_EQ(DateTimeToDayNumber(1e12), 0);
}

// Whole milliseconds split into day and time as integers; the result must be fmod's to the bit,
// signed zeros and values beyond exact integers included.
TEST(DateTimeTest, MillisecondsSplitLikeFmod) {
  const auto reference = [](double msecs) {
    const double m = std::round(msecs);
    const double time = std::fmod(m, kDay);
    const double days = (m - time) / kDay - 693594;
    return days < 0 ? days - time / kDay : days + time / kDay;
  };
  for (double msecs :
       {0.0, -0.0, 1.0, -1.0, kDay, -kDay, 3 * kDay + 5, -3 * kDay - 5, 693594 * kDay + 43200000,
        9007199254740991.0, -9007199254740991.0, 9007199254740994.0, 1e300, -1e300}) {
    SCOPED_TRACE(msecs);
    const double expected = reference(msecs);
    const double got = MSecsToDateTime(msecs);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(std::signbit(got), std::signbit(expected));
  }
}

TEST(DateTimeTest, InvalidPartsAreRefused) {
  EXPECT_THROW(EncodeDateTime(1900, 2, 29, 0, 0, 0, 0), std::invalid_argument);
  EXPECT_THROW(EncodeDateTime(2020, 1, 1, 24, 0, 0, 0), std::invalid_argument);
  EXPECT_THROW(EncodeDateTime(2020, 1, 1, 0, 60, 0, 0), std::invalid_argument);
  EXPECT_THROW(EncodeDateTime(2020, 1, 1, 0, 0, 0, 1000), std::invalid_argument);
}

TEST(DateTimeTest, NowIsTheLocalClock) {
  time_t before = time(nullptr);
  double now = Now();
  tm local{};
  localtime_r(&before, &local);
  // 1970-01-01 is date-time 25569; the local offset moves the clock into local time.
  double expected = 25569.0 + static_cast<double>(before + local.tm_gmtoff) / 86400.0;
  EXPECT_NEAR(now, expected, 3.0 / 86400.0);
  EXPECT_EQ(Date(), std::floor(Now()));
  TSystemTime t = GetLocalTime();
  EXPECT_EQ(t.DayOfWeek, local.tm_wday);
  EXPECT_LT(t.Milliseconds, 1000);
}

}  // namespace
}  // namespace cairn::host
