#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "runtime/Convert.h"

namespace ovx {
namespace {

TEST(ConvertToText, Numbers) {
    EXPECT_EQ(ToText(2.0), Text("2"));
    EXPECT_EQ(ToText(0.1), Text("0.1"));
    EXPECT_EQ(ToText(0.5), Text("0.5"));
    EXPECT_EQ(ToText(100000000.0), Text("100000000"));
    EXPECT_EQ(ToText(1e13), Text("1e+13"));
    EXPECT_EQ(ToText(-1234567.891), Text("-1234567.891"));
    EXPECT_EQ(ToText(1.0 / 3), Text("0.3333333333333"));
    EXPECT_EQ(ToText(0.1f), Text("0.1"));
    EXPECT_EQ(ToText(1234567.0f), Text("1.23457e+06"));
    EXPECT_EQ(ToText(-7), Text("-7"));
    EXPECT_EQ(ToText(std::int64_t{-9223372036854775807 - 1}), Text("-9223372036854775808"));
    EXPECT_EQ(ToText(std::uint8_t{200}), Text("200"));
    EXPECT_EQ(ToText(std::int16_t{-300}), Text("-300"));
    EXPECT_EQ(ToText(true), "真"_t);
    EXPECT_EQ(ToText(false), "假"_t);
    EXPECT_EQ(ToText(Bytes{'a', 'b', 0, 'c'}), Text("ab"));
    EXPECT_EQ(ToText(Bytes{}), Text());
}

TEST(ConvertToText, IgnoresTheProcessLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale";
    EXPECT_EQ(ToText(0.5), Text("0.5"));
    EXPECT_EQ(ToDouble(Text("1.5")), 1.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(ConvertToText, DateTimes) {
    EXPECT_EQ(ToText(MakeDateTime(2016, 3, 5)), "2016年3月5日"_t);
    EXPECT_EQ(ToText(MakeDateTime(2016, 3, 5, 0, 0, 7)), "2016年3月5日0时0分7秒"_t);
    EXPECT_EQ(ToText(MakeDateTime(2016, 3, 5, 14)), "2016年3月5日14时"_t);
    EXPECT_EQ(ToText(MakeDateTime(2016, 3, 5, 0, 30)), "2016年3月5日0时30分"_t);
    EXPECT_EQ(ToText(DateTime{1e300}), "9999年12月31日"_t);
}

TEST(ConvertToInt, TextPrefixes) {
    EXPECT_EQ(ToInt(Text("12abc")), 12);
    EXPECT_EQ(ToInt(Text("abc")), 0);
    EXPECT_EQ(ToInt(Text("  \t-42")), -42);
    EXPECT_EQ(ToInt(Text("+7")), 7);
    EXPECT_EQ(ToInt(Text("- 7")), 0);
    EXPECT_EQ(ToInt(Text("1.9")), 1);
    EXPECT_EQ(ToInt(Text()), 0);
    EXPECT_EQ(ToInt("２０１６"_t), 2016);
    EXPECT_EQ(ToInt("　－１２"_t), -12);
    // Out-of-range text saturates instead of wrapping.
    EXPECT_EQ(ToInt(Text("99999999999")), INT_MAX);
    EXPECT_EQ(ToInt(Text("-99999999999")), INT_MIN);
    EXPECT_EQ(ToInt64(Text("-9223372036854775808")), INT64_MIN);
    EXPECT_EQ(ToInt64(Text("9223372036854775808")), INT64_MAX);
    EXPECT_EQ(ToInt64(Text("1451606400000")), 1451606400000);
    EXPECT_EQ(ToInt64(Text("x1")), 0);
}

TEST(ConvertToInt, Numbers) {
    EXPECT_EQ(ToInt(-2.7), -2);
    EXPECT_EQ(ToInt(2.7), 2);
    EXPECT_EQ(ToInt(true), 1);
    EXPECT_EQ(ToInt(1e20), INT_MAX);
    EXPECT_EQ(ToInt(-1e20), INT_MIN);
    EXPECT_EQ(ToInt(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(ToInt64(-1e30), INT64_MIN);
    EXPECT_EQ(ToInt64(1451606400123.9), 1451606400123);
}

TEST(ConvertToDouble, TextPrefixes) {
    EXPECT_EQ(ToDouble(Text("1.5e3xyz")), 1500.0);
    EXPECT_EQ(ToDouble(Text(" -.25")), -0.25);
    EXPECT_EQ(ToDouble(Text("+3")), 3.0);
    EXPECT_EQ(ToDouble(Text("abc")), 0.0);
    EXPECT_EQ(ToDouble(Text("--1")), 0.0);
    EXPECT_EQ(ToDouble("１．５"_t), 1.5);
    EXPECT_EQ(ToDouble(Text("1e999")), HUGE_VAL);
    EXPECT_EQ(ToDouble(Text("-1e999")), -HUGE_VAL);
    EXPECT_EQ(ToDouble(Text("1e-999")), 0.0);
    EXPECT_EQ(ToDouble(Text("0.000001e-400")), 0.0);
}

TEST(ConvertToDateTime, AcceptedForms) {
    EXPECT_EQ(ToDateTime(Text("2016-02-29")), MakeDateTime(2016, 2, 29));
    EXPECT_EQ(ToDateTime(Text("2016-2-3")), MakeDateTime(2016, 2, 3));
    EXPECT_EQ(ToDateTime("2016年2月3日 8:05"_t), MakeDateTime(2016, 2, 3, 8, 5));
    EXPECT_EQ(ToDateTime("２０１６－０２－２９"_t), MakeDateTime(2016, 2, 29));
    EXPECT_EQ(ToDateTime(Text("2016/03/05 14:07:59")), MakeDateTime(2016, 3, 5, 14, 7, 59));
    EXPECT_EQ(ToDateTime(Text("2016.3.5")), MakeDateTime(2016, 3, 5));
    EXPECT_EQ(ToDateTime("2016年3月5日14时7分59秒"_t), MakeDateTime(2016, 3, 5, 14, 7, 59));
    EXPECT_EQ(ToDateTime(Text("20160305")), MakeDateTime(2016, 3, 5));
    EXPECT_EQ(ToDateTime(Text("2000-02-29")), MakeDateTime(2000, 2, 29));
    EXPECT_EQ(ToDateTime(Text("0100-01-01")).days, kMinDateTime);
    DateTime kept{42000.25};
    EXPECT_EQ(ToDateTime(kept), kept);
}

TEST(ConvertToDateTime, RejectedForms) {
    const DateTime failed{kMinDateTime};
    for (const char* bad : {"2015-02-29", "2016-02-30", "2016", "1900-02-29", "2016-13-01",
                            "2016-00-10", "2016-01-01 24:00", "2016-01-01 10:60",
                            "2016-01-01 10:00:60", "99-01-01", "2016-01-01x", "", "abc",
                            "2016-01-01 10:00:00 ", "-2016-01-01", "2016--01-01"})
        EXPECT_EQ(ToDateTime(Text(bad)), failed) << bad;
    EXPECT_EQ(ToDateTime("2016年1月1日 秒x"_t), failed);
}

TEST(ConvertFolding, FullWidthFormsOnly) {
    EXPECT_EQ(FoldFullWidth("ＡＢｃ１！　"_t + Text("\xA3\xFE")), Text("ABc1! ~"));
    EXPECT_EQ(FoldFullWidth("～"_t), "～"_t);  // A1 AB is not in the full-width row
    // Other double-byte characters stay whole, even when their trail byte is A3.
    Text mixed = "信息"_t + Text("\xB0\xA3\xA3\xA1");
    EXPECT_EQ(FoldFullWidth(mixed), "信息"_t + Text("\xB0\xA3!"));
    EXPECT_EQ(FoldFullWidth(Text("a\xA3")), Text("a\xA3"));
}

TEST(ConvertToBytes, TextAndNumbers) {
    EXPECT_EQ(ToBytes(Text("ab")), (Bytes{'a', 'b'}));
    EXPECT_EQ(ToBytes(0x01020304), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(ToBytes(1.0).size(), 8u);
}

}  // namespace
}  // namespace ovx
