#include "cairn/host/DateTime.h"

#include <time.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace cairn::host {

namespace {

constexpr int32_t kMaxDayNumber = 3652059;  // 9999-12-31
constexpr double kDayMSecs = kMSecsPerDay;

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days before 1 January of a year, counted from 0001-01-01 (proleptic Gregorian).
int32_t DaysBeforeYear(int year) {
  int32_t y = year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400;
}

// A value in whole milliseconds split into a whole day count (truncated toward zero) and the
// remainder, both exact for every value in the date range.
void SplitMSecs(double m, double& days, double& rest) {
  // Whole milliseconds that a 64-bit integer holds exactly divide as integers, with fmod's result
  // (the remainder takes the sign of m, also when it is zero); anything else goes through fmod.
  constexpr double kExact = 9007199254740992.0;  // 2^53
  if (m > -kExact && m < kExact && m == std::trunc(m)) {
    const auto whole = static_cast<int64_t>(m);
    const auto perDay = static_cast<int64_t>(kDayMSecs);
    const int64_t remainder = whole % perDay;
    rest = std::copysign(static_cast<double>(remainder < 0 ? -remainder : remainder), m);
    days = static_cast<double>((whole - remainder) / perDay);
    return;
  }
  rest = std::fmod(m, kDayMSecs);
  days = (m - rest) / kDayMSecs;
}

}  // namespace

TSystemTime GetLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  TSystemTime t;
  t.Year = static_cast<uint16_t>(local.tm_year + 1900);
  t.Month = static_cast<uint16_t>(local.tm_mon + 1);
  t.DayOfWeek = static_cast<uint16_t>(local.tm_wday);
  t.Day = static_cast<uint16_t>(local.tm_mday);
  t.Hour = static_cast<uint16_t>(local.tm_hour);
  t.Minute = static_cast<uint16_t>(local.tm_min);
  // A leap second reads as the last second of the minute.
  t.Second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
  t.Milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
  return t;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int32_t DateToDayNumber(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return 0;
  if (day < 1 || day > DaysInMonth(year, month)) return 0;
  int32_t days = DaysBeforeYear(year) + day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days;
}

bool DayNumberToDate(int32_t dayNumber, int& year, int& month, int& day) {
  if (dayNumber < 1 || dayNumber > kMaxDayNumber) return false;
  // Estimate the year from the mean Gregorian year, then correct it.
  year = static_cast<int>(dayNumber / 365.2425) + 1;
  while (DaysBeforeYear(year) >= dayNumber) --year;
  while (DaysBeforeYear(year + 1) < dayNumber) ++year;
  int32_t rest = dayNumber - DaysBeforeYear(year);
  month = 1;
  while (rest > DaysInMonth(year, month)) rest -= DaysInMonth(year, month++);
  day = static_cast<int>(rest);
  return true;
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  int32_t dayNumber = DateToDayNumber(year, month, day);
  if (dayNumber == 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
      second > 59 || msec < 0 || msec > 999)
    throw std::invalid_argument("Invalid argument to date encode");
  double days = dayNumber - kDateDelta;
  double time = ((hour * 60 + minute) * 60 + second) * 1000.0 + msec;
  // Before 1899-12-30 the value is negative and the fraction's magnitude is the time of day.
  return days < 0 ? days - time / kDayMSecs : days + time / kDayMSecs;
}

double SystemTimeToDateTime(const TSystemTime& time) {
  return EncodeDateTime(time.Year, time.Month, time.Day, time.Hour, time.Minute, time.Second,
                        time.Milliseconds);
}

double Now() {
  return SystemTimeToDateTime(GetLocalTime());
}

double Date() {
  TSystemTime t = GetLocalTime();
  return EncodeDateTime(t.Year, t.Month, t.Day, 0, 0, 0, 0);
}

double DateTimeToMSecs(double dateTime) {
  double days, time;
  SplitMSecs(std::round(dateTime * kDayMSecs), days, time);
  return (kDateDelta + days) * kDayMSecs + std::fabs(time);
}

double MSecsToDateTime(double msecs) {
  double dayNumber, time;
  SplitMSecs(std::round(msecs), dayNumber, time);
  double days = dayNumber - kDateDelta;
  return days < 0 ? days - time / kDayMSecs : days + time / kDayMSecs;
}

int32_t DateTimeToDayNumber(double dateTime) {
  double days, time;
  SplitMSecs(DateTimeToMSecs(dateTime), days, time);
  // Values outside the date range (and NaN) have no day number.
  if (!(days >= 0 && days <= kMaxDayNumber)) return 0;
  return static_cast<int32_t>(days);
}

int32_t DateTimeToTimeMSecs(double dateTime) {
  double days, time;
  SplitMSecs(DateTimeToMSecs(dateTime), days, time);
  if (!(time >= 0 && time < kDayMSecs)) return 0;
  return static_cast<int32_t>(time);
}

}  // namespace cairn::host
