#include <gtest/gtest.h>

#include "runtime/Convert.h"
#include "runtime/DateTime.h"

namespace ovx {
namespace {

DateTime D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return MakeDateTime(y, mo, d, h, mi, s);
}

void ExpectFields(DateTime t, int y, int mo, int d, int h, int mi, int s) {
    EXPECT_EQ(YearOf(t), y);
    EXPECT_EQ(MonthOf(t), mo);
    EXPECT_EQ(DayOf(t), d);
    EXPECT_EQ(HourOf(t), h);
    EXPECT_EQ(MinuteOf(t), mi);
    EXPECT_EQ(SecondOf(t), s);
}

TEST(DateTimeCalendar, SerialNumbersAndFields) {
    EXPECT_EQ(D(1899, 12, 30).days, 0.0);
    EXPECT_EQ(D(1970, 1, 1).days, 25569.0);
    EXPECT_EQ(D(100, 1, 1).days, kMinDateTime);
    EXPECT_EQ(D(9999, 12, 31).days, kMaxDateTime);
    EXPECT_EQ(D(2016, 2, 29).days, 42429.0);
    ExpectFields(D(2016, 3, 5, 14, 7, 59), 2016, 3, 5, 14, 7, 59);
    ExpectFields(D(1600, 2, 29, 23, 59, 59), 1600, 2, 29, 23, 59, 59);
    ExpectFields(D(1899, 12, 29, 18), 1899, 12, 29, 18, 0, 0);
    ExpectFields(DateTime{kMinDateTime}, 100, 1, 1, 0, 0, 0);
    // Values outside the range are clamped before they are taken apart.
    ExpectFields(DateTime{1e12}, 9999, 12, 31, 0, 0, 0);
    ExpectFields(DateTime{-1e12}, 100, 1, 1, 0, 0, 0);
    ExpectFields(DateTime{std::numeric_limits<double>::quiet_NaN()}, 100, 1, 1, 0, 0, 0);
    // A time a hair below a whole second still shows that second.
    ExpectFields(DateTime{D(2016, 1, 1, 8).days + 0.1 / 86400.0 * 9.99}, 2016, 1, 1, 8, 0, 1);
}

TEST(DateTimeCalendar, Weekdays) {
    EXPECT_EQ(WeekdayOf(D(1899, 12, 30)), 7);  // Saturday
    EXPECT_EQ(WeekdayOf(D(2016, 3, 6, 23)), 1);  // Sunday
    EXPECT_EQ(WeekdayOf(D(2016, 3, 7)), 2);
    EXPECT_EQ(WeekdayOf(D(1800, 1, 1)), 4);  // Wednesday
}

TEST(DateTimeAdd, CalendarUnitsClampTheDay) {
    EXPECT_EQ(AddToDateTime(D(2016, 1, 31), kMonth, 1), D(2016, 2, 29));
    EXPECT_EQ(AddToDateTime(D(2016, 2, 29), kYear, 1), D(2017, 2, 28));
    EXPECT_EQ(AddToDateTime(D(2016, 1, 31, 10, 20, 30), kMonth, -2), D(2015, 11, 30, 10, 20, 30));
    EXPECT_EQ(AddToDateTime(D(2016, 11, 15), kQuarter, 1), D(2017, 2, 15));
    EXPECT_EQ(AddToDateTime(D(2016, 1, 15), kMonth, -13), D(2014, 12, 15));
    EXPECT_EQ(AddToDateTime(D(9999, 6, 1), kYear, 5), D(9999, 6, 1));
    EXPECT_EQ(AddToDateTime(D(200, 6, 1), kYear, INT_MIN), D(100, 6, 1));
    // Unit codes outside 1-8 count as the nearest end.
    EXPECT_EQ(AddToDateTime(D(2016, 1, 1), 0, 1), D(2017, 1, 1));
    EXPECT_EQ(AddToDateTime(D(2016, 1, 1), 99, 60), D(2016, 1, 1, 0, 1));
}

TEST(DateTimeAdd, SpansAndZero) {
    DateTime odd{12345.678};
    EXPECT_EQ(AddToDateTime(odd, kMonth, 0), odd);
    EXPECT_EQ(AddToDateTime(D(2016, 2, 28), kWeek, 1), D(2016, 3, 6));
    EXPECT_EQ(AddToDateTime(D(2016, 3, 1), kDay, -1), D(2016, 2, 29));
    ExpectFields(AddToDateTime(D(2016, 3, 1), kHour, -1), 2016, 2, 29, 23, 0, 0);
    ExpectFields(AddToDateTime(D(2016, 3, 1), kMinute, 90), 2016, 3, 1, 1, 30, 0);
    ExpectFields(AddToDateTime(D(2016, 3, 1), kSecond, 86399), 2016, 3, 1, 23, 59, 59);
}

TEST(DateTimeDiff, CalendarUnits) {
    EXPECT_EQ(DateTimeDiff(D(2016, 1, 1), D(2016, 1, 1), kSecond), 0.0);
    EXPECT_EQ(DateTimeDiff(D(2016, 1, 1), D(2015, 12, 31), kYear), 1.0);
    EXPECT_EQ(DateTimeDiff(D(2016, 4, 1), D(2016, 3, 31), kQuarter), 1.0);
    EXPECT_EQ(DateTimeDiff(D(2015, 12, 31), D(2016, 1, 1), kQuarter), -1.0);
    EXPECT_EQ(DateTimeDiff(D(2016, 3, 1), D(2015, 12, 31), kMonth), 3.0);
    EXPECT_DOUBLE_EQ(DateTimeDiff(D(2016, 1, 2, 12), D(2016, 1, 1), kDay), 1.5);
}

TEST(DateTimeDiff, WeeksCountSundaysCrossed) {
    // Saturday to the next Monday: less than a week but a new week.
    EXPECT_EQ(DateTimeDiff(D(2016, 3, 7), D(2016, 3, 5), kWeek), 1.0);
    EXPECT_EQ(DateTimeDiff(D(2016, 3, 5), D(2016, 3, 7), kWeek), -1.0);
    EXPECT_EQ(DateTimeDiff(D(2016, 3, 14), D(2016, 3, 7), kWeek), 1.0);
    EXPECT_EQ(DateTimeDiff(D(2016, 3, 12), D(2016, 3, 7), kWeek), 0.0);
}

TEST(DateTimeDiff, SecondsAreWholeAndExact) {
    DateTime epoch = D(1970, 1, 1, 8);
    EXPECT_EQ(DateTimeDiff(D(2016, 1, 1, 8), epoch, kSecond), 1451606400.0);
    EXPECT_EQ(DateTimeDiff(D(2016, 3, 5, 14, 7, 59), epoch, kSecond), 1457158079.0);
    // Negative differences are not cut short by the rounding addend.
    EXPECT_EQ(DateTimeDiff(epoch, D(2016, 1, 1, 8), kSecond), -1451606400.0);
    EXPECT_EQ(DateTimeDiff(D(2016, 1, 1), D(2016, 1, 1, 1), kSecond), -3600.0);
    EXPECT_EQ(DateTimeDiff(D(2016, 1, 1, 10, 59), D(2016, 1, 1, 9), kHour), 1.0);
    EXPECT_EQ(DateTimeDiff(D(2016, 1, 1, 10, 59, 59), D(2016, 1, 1, 9), kMinute), 119.0);
    // A time that is a fraction of a second short is not rounded up.
    EXPECT_EQ(DateTimeDiff(DateTime{1.0 - 0.9 / 86400}, DateTime{0.0}, kSecond), 86399.0);
}

TEST(DateTimeNow, IsInRange) {
    DateTime now = Now();
    EXPECT_GE(YearOf(now), 2024);
    EXPECT_LE(YearOf(now), 9999);
}

}  // namespace
}  // namespace ovx
