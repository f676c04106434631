// Local time and the date-time forms of the engine.
//
// Three forms meet here:
// - the date-time value of the component layer: days since 1899-12-30 as a double, the fraction
//   being the time of day (0.375 is 09:00);
// - day numbers of the engine: 0001-01-01 is day 1, so 1899-12-30 is day 693594;
// - milliseconds: day number x 86400000 + milliseconds of the day, held in a double.
#pragma once

#include <cstdint>

namespace cairn::host {

constexpr int32_t kDateDelta = 693594;  // day number of 1899-12-30
constexpr int32_t kMSecsPerDay = 86400000;

struct TSystemTime {
  uint16_t Year = 0;
  uint16_t Month = 0;      // 1 ... 12
  uint16_t DayOfWeek = 0;  // 0 = Sunday
  uint16_t Day = 0;
  uint16_t Hour = 0;
  uint16_t Minute = 0;
  uint16_t Second = 0;
  uint16_t Milliseconds = 0;
};

// The current local time, with milliseconds.
TSystemTime GetLocalTime();

bool IsLeapYear(int year);
// Day number (0001-01-01 is 1) of a date; 0 when the date is not valid.
int32_t DateToDayNumber(int year, int month, int day);
// Inverse of DateToDayNumber; false for day numbers below 1 or beyond 9999-12-31.
bool DayNumberToDate(int32_t dayNumber, int& year, int& month, int& day);

// Date-time value (days since 1899-12-30) of a date and a time; throws std::invalid_argument
// for a date or time that does not exist.
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);
double SystemTimeToDateTime(const TSystemTime& time);
// The current local date and time as a date-time value.
double Now();
// The current local date as a date-time value (time part dropped).
double Date();

// Date-time value -> milliseconds: the value times 86400000 rounded to a whole number m;
// the day count is 693594 plus m divided by 86400000 (truncated toward zero), the time is the
// magnitude of the remainder.
double DateTimeToMSecs(double dateTime);
// Milliseconds -> date-time value.
double MSecsToDateTime(double msecs);
// The date part of a date-time value as a day number (0 outside 0001-01-01 ... 9999-12-31); the
// time part as milliseconds of the day.
int32_t DateTimeToDayNumber(double dateTime);
int32_t DateTimeToTimeMSecs(double dateTime);

}  // namespace cairn::host
