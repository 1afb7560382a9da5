#include "runtime/Convert.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace ovx {
namespace {

// Number formatting never follows the process locale: the window toolkit may set one with
// a decimal comma.
template <typename T>
Text FormatGeneral(T value, int precision) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                                precision);
    return Text(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

template <typename T>
Text FormatInteger(T value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return Text(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view SkipSpaces(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsCSpace(s[i])) ++i;
    return s.substr(i);
}

// Reads an optional sign and the decimal digits after it, saturating at the int64 range.
std::int64_t ReadInteger(const Text& text) {
    const Text folded = FoldFullWidth(text);
    std::string_view s = SkipSpaces(folded.view());
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    // Accumulate as a negative number so that INT64_MIN fits.
    std::int64_t value = 0;
    bool saturated = false;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        int digit = c - '0';
        if (saturated) continue;
        if (value < (INT64_MIN + digit) / 10) {
            saturated = true;
            value = INT64_MIN;
            continue;
        }
        value = value * 10 - digit;
    }
    if (negative) return value;
    return value == INT64_MIN ? INT64_MAX : -value;
}

template <typename Int>
Int TruncateSaturating(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kLow = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double kHigh = -kLow;  // 2^(bits-1), one above the largest value
    if (value <= kLow) return std::numeric_limits<Int>::min();
    if (value >= kHigh) return std::numeric_limits<Int>::max();
    return static_cast<Int>(value);
}

// The decimal magnitude of a matched floating-point literal: positive when it overflowed,
// not positive when it underflowed.
bool LiteralOverflows(std::string_view literal) {
    std::int64_t digitsBeforePoint = 0;
    std::int64_t leadingFractionZeros = 0;
    bool seenNonZero = false;
    bool afterPoint = false;
    std::size_t i = 0;
    for (; i < literal.size(); ++i) {
        char c = literal[i];
        if (c == '.') {
            afterPoint = true;
        } else if (c >= '0' && c <= '9') {
            if (!afterPoint) {
                if (seenNonZero || c != '0') ++digitsBeforePoint;
            } else if (!seenNonZero && c == '0' && digitsBeforePoint == 0) {
                ++leadingFractionZeros;
            }
            if (c != '0') seenNonZero = true;
        } else {
            break;
        }
    }
    std::int64_t exponent = 0;
    if (i < literal.size() && (literal[i] == 'e' || literal[i] == 'E')) {
        std::string_view e = literal.substr(i + 1);
        bool negative = !e.empty() && e[0] == '-';
        if (!e.empty() && (e[0] == '-' || e[0] == '+')) e.remove_prefix(1);
        for (char c : e) {
            if (c < '0' || c > '9') break;
            if (exponent < 100000000) exponent = exponent * 10 + (c - '0');
        }
        if (negative) exponent = -exponent;
    }
    std::int64_t magnitude = digitsBeforePoint > 0 ? digitsBeforePoint : -leadingFractionZeros;
    return magnitude + exponent > 0;
}

// Parses one field of up to `maxDigits` digits; a missing field reads as 0.
int ReadField(std::string_view s, std::size_t& i, int maxDigits) {
    int value = 0;
    for (int n = 0; n < maxDigits && i < s.size() && s[i] >= '0' && s[i] <= '9'; ++n, ++i)
        value = value * 10 + (s[i] - '0');
    return value;
}

bool SkipToken(std::string_view s, std::size_t& i, std::string_view token) {
    if (s.substr(i, token.size()) != token) return false;
    i += token.size();
    return true;
}

bool SkipPunctuation(std::string_view s, std::size_t& i) {
    if (i < s.size() && (s[i] == '-' || s[i] == '.' || s[i] == '/' || s[i] == ':')) {
        ++i;
        return true;
    }
    return false;
}

}  // namespace

Text FoldFullWidth(const Text& text) {
    std::string_view in = text.view();
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        auto lead = static_cast<std::uint8_t>(in[i]);
        if (lead < 0x80 || i + 1 >= in.size()) {
            out += in[i++];
            continue;
        }
        auto trail = static_cast<std::uint8_t>(in[i + 1]);
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            out += static_cast<char>(trail & 0x7F);
        } else if (lead == 0xA1 && trail == 0xA1) {
            out += ' ';
        } else {
            out.append(in.substr(i, 2));
        }
        i += 2;
    }
    return Text(std::move(out));
}

Text ToText(const Text& value) { return value; }
Text ToText(bool value) { return value ? "真"_t : "假"_t; }
Text ToText(std::uint8_t value) { return FormatInteger(static_cast<unsigned>(value)); }
Text ToText(std::int16_t value) { return FormatInteger(static_cast<int>(value)); }
Text ToText(int value) { return FormatInteger(value); }
Text ToText(std::int64_t value) { return FormatInteger(value); }
Text ToText(float value) { return FormatGeneral(value, 6); }
Text ToText(double value) { return FormatGeneral(value, 13); }
Text ToText(const Bytes& value) {
    return Text(reinterpret_cast<const char*>(value.data()), value.size());
}

Text ToText(DateTime value) {
    value = ClampDateTime(value);
    auto number = [](int n) { return FormatInteger(n); };
    Text text = number(YearOf(value)) + "年"_t + number(MonthOf(value)) + "月"_t +
                number(DayOf(value)) + "日"_t;
    int hour = HourOf(value), minute = MinuteOf(value), second = SecondOf(value);
    if (second != 0) {
        text += number(hour) + "时"_t + number(minute) + "分"_t + number(second) + "秒"_t;
    } else if (minute != 0) {
        text += number(hour) + "时"_t + number(minute) + "分"_t;
    } else if (hour != 0) {
        text += number(hour) + "时"_t;
    }
    return text;
}

int ToInt(const Text& text) {
    std::int64_t value = ReadInteger(text);
    if (value < INT_MIN) return INT_MIN;
    if (value > INT_MAX) return INT_MAX;
    return static_cast<int>(value);
}

int ToInt(double value) { return TruncateSaturating<int>(value); }
int ToInt(bool value) { return value ? 1 : 0; }
std::int64_t ToInt64(const Text& text) { return ReadInteger(text); }
std::int64_t ToInt64(double value) { return TruncateSaturating<std::int64_t>(value); }

double ToDouble(const Text& text) {
    Text folded = FoldFullWidth(text);
    std::string_view s = SkipSpaces(folded.view());
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
        // A second sign is not a number.
        if (!s.empty() && (s[0] == '+' || s[0] == '-')) return 0.0;
    }
    double value = 0.0;
    auto result = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return 0.0;
    if (result.ec == std::errc::result_out_of_range) {
        std::string_view literal = s.substr(0, static_cast<std::size_t>(result.ptr - s.data()));
        value = LiteralOverflows(literal) ? HUGE_VAL : 0.0;
    }
    return negative ? -value : value;
}

DateTime ToDateTime(const Text& text) {
    const DateTime failed{kMinDateTime};
    const Text folded = FoldFullWidth(text);
    std::string_view s = folded.view();
    const Text yearMark = "年"_t, monthMark = "月"_t, dayMark = "日"_t, hourMark = "时"_t,
               minuteMark = "分"_t, secondMark = "秒"_t;
    std::size_t i = 0;
    int year = ReadField(s, i, 4);
    if (!SkipPunctuation(s, i)) SkipToken(s, i, yearMark.view());
    int month = ReadField(s, i, 2);
    if (!SkipPunctuation(s, i)) SkipToken(s, i, monthMark.view());
    int day = ReadField(s, i, 2);
    if (!SkipPunctuation(s, i)) {
        // "日" may be followed by blanks before the time, as in "2016年2月3日 8:05".
        SkipToken(s, i, dayMark.view());
        while (i < s.size() && s[i] == ' ') ++i;
    }
    int hour = ReadField(s, i, 2);
    if (!SkipPunctuation(s, i)) SkipToken(s, i, hourMark.view());
    int minute = ReadField(s, i, 2);
    if (!SkipPunctuation(s, i)) SkipToken(s, i, minuteMark.view());
    int second = ReadField(s, i, 2);
    SkipToken(s, i, secondMark.view());
    if (i != s.size()) return failed;

    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59)
        return failed;
    return MakeDateTime(year, month, day, hour, minute, second);
}

DateTime ToDateTime(DateTime value) { return value; }

Bytes ToBytes(const Text& text) { return Bytes(text.bytes().begin(), text.bytes().end()); }

}  // namespace ovx
