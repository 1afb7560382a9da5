#pragma once
// Date-time values: days since 1899-12-30 00:00 local time, the fraction being the time of day.

#include <compare>
#include <cstdint>

namespace ovx {

struct DateTime {
    double days = 0.0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
    friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

inline constexpr double kMinDateTime = -657434.0;  // 100-01-01 00:00:00, also "conversion failed"
inline constexpr double kMaxDateTime = 2958465.0;  // 9999-12-31 00:00:00

// Units of AddToDateTime and DateTimeDiff; codes above 8 count as 8, below 1 as 1.
enum DateUnit : int { kYear = 1, kQuarter, kMonth, kWeek, kDay, kHour, kMinute, kSecond };

DateTime Now();
// Days from 1970-01-01 to a proleptic Gregorian date (month 1..12, day 1..31).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);
// A date-time from calendar fields; fields are not checked (the caller knows them valid).
DateTime MakeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
DateTime ClampDateTime(DateTime value);
bool IsLeapYear(int year);
// The number of days of a month (1-12) in the proleptic Gregorian calendar; 0 for other months.
int DaysInMonth(int year, int month);

DateTime AddToDateTime(DateTime value, int unit, int amount);
double DateTimeDiff(DateTime t1, DateTime t2, int unit);

int YearOf(DateTime value);
int MonthOf(DateTime value);
int DayOf(DateTime value);
int HourOf(DateTime value);
int MinuteOf(DateTime value);
int SecondOf(DateTime value);
// Sunday = 1 ... Saturday = 7.
int WeekdayOf(DateTime value);

}  // namespace ovx
