#include "runtime/DateTime.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>

namespace ovx {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

struct Civil {
    int year;
    int month;
    int day;
};

Civil CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
    return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

const std::int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);  // serial day 0, from 1970

// A date-time taken apart: the serial day and the second of that day, rounded to the
// nearest second so that 0.1 + 0.2 days does not print as a second too early.
struct Parts {
    std::int64_t day;
    int secondOfDay;
};

Parts Split(DateTime value) {
    double days = ClampDateTime(value).days;
    auto seconds = static_cast<std::int64_t>(std::llround(days * kSecondsPerDay));
    std::int64_t day = seconds / kSecondsPerDay;
    std::int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --day;
    }
    return {day, static_cast<int>(rest)};
}

Civil CivilOf(DateTime value) {
    return CivilFromDays(Split(value).day + kEpochOffset);
}

int NormalizeUnit(int unit) {
    return std::clamp(unit, static_cast<int>(kYear), static_cast<int>(kSecond));
}

}  // namespace

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

DateTime Now() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return MakeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec);
}

DateTime MakeDateTime(int year, int month, int day, int hour, int minute, int second) {
    std::int64_t serial =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
        kEpochOffset;
    double time = (static_cast<double>(hour) * 3600.0 + minute * 60.0 + second) / kSecondsPerDay;
    return DateTime{static_cast<double>(serial) + time};
}

DateTime ClampDateTime(DateTime value) {
    if (std::isnan(value.days)) return DateTime{kMinDateTime};
    return DateTime{std::clamp(value.days, kMinDateTime, kMaxDateTime)};
}

int YearOf(DateTime value) {
    return CivilOf(value).year;
}
int MonthOf(DateTime value) {
    return CivilOf(value).month;
}
int DayOf(DateTime value) {
    return CivilOf(value).day;
}
int HourOf(DateTime value) {
    return Split(value).secondOfDay / 3600;
}
int MinuteOf(DateTime value) {
    return Split(value).secondOfDay / 60 % 60;
}
int SecondOf(DateTime value) {
    return Split(value).secondOfDay % 60;
}

int WeekdayOf(DateTime value) {
    // Serial day 0, 1899-12-30, was a Saturday.
    std::int64_t day = Split(value).day;
    return static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;
}

DateTime AddToDateTime(DateTime value, int unit, int amount) {
    if (amount == 0) return value;
    unit = NormalizeUnit(unit);
    switch (unit) {
        case kYear:
        case kQuarter:
        case kMonth: {
            std::int64_t months = amount;
            if (unit == kYear)
                months *= 12;
            else if (unit == kQuarter)
                months *= 3;
            Parts parts = Split(value);
            Civil civil = CivilFromDays(parts.day + kEpochOffset);
            std::int64_t index =
                static_cast<std::int64_t>(civil.year) * 12 + (civil.month - 1) + months;
            std::int64_t year = index >= 0 ? index / 12 : (index - 11) / 12;
            int month = static_cast<int>(index - year * 12) + 1;
            int clampedYear = static_cast<int>(std::clamp<std::int64_t>(year, 100, 9999));
            int day = std::min(civil.day, DaysInMonth(clampedYear, month));
            return MakeDateTime(clampedYear, month, day, parts.secondOfDay / 3600,
                                parts.secondOfDay / 60 % 60, parts.secondOfDay % 60);
        }
        case kWeek:
            return DateTime{value.days + 7.0 * amount};
        case kDay:
            return DateTime{value.days + amount};
        case kHour:
            return DateTime{value.days + amount / 24.0};
        case kMinute:
            return DateTime{value.days + amount / 1440.0};
        default:
            return DateTime{value.days + amount / 86400.0};
    }
}

double DateTimeDiff(DateTime t1, DateTime t2, int unit) {
    if (t1 == t2) return 0.0;
    const double days = t1.days - t2.days;
    // The small addend absorbs the rounding error of the day fractions (half a second in
    // days); it is applied away from zero so that negative differences are not cut short.
    auto wholeUnits = [days](double perDay) {
        constexpr double kEpsilon = 5.787037037037037e-6;
        double scaled = days * perDay;
        return std::trunc(scaled >= 0 ? scaled + kEpsilon : scaled - kEpsilon);
    };
    switch (NormalizeUnit(unit)) {
        case kYear:
            return YearOf(t1) - YearOf(t2);
        case kQuarter:
            return (YearOf(t1) - YearOf(t2)) * 4.0 + (MonthOf(t1) - 1) / 3 - (MonthOf(t2) - 1) / 3;
        case kMonth:
            return (YearOf(t1) - YearOf(t2)) * 12.0 + MonthOf(t1) - MonthOf(t2);
        case kWeek: {
            double weeks = std::trunc(std::trunc(days) / 7.0);
            int w1 = WeekdayOf(t1);
            int w2 = WeekdayOf(t2);
            if (t1 > t2 && w1 < w2) weeks += 1;
            if (t1 < t2 && w2 < w1) weeks -= 1;
            return weeks;
        }
        case kDay:
            return days;
        case kHour:
            return wholeUnits(24.0);
        case kMinute:
            return wholeUnits(1440.0);
        default:
            return wholeUnits(86400.0);
    }
}

}  // namespace ovx
