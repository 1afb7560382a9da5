#include <gtest/gtest.h>

#include <climits>

#include "runtime/BytesOps.h"
#include "runtime/Convert.h"

namespace ovx {
namespace {

TEST(Bytes, SlicingAndZeros) {
    Bytes b{1, 2, 3};
    EXPECT_EQ(BytesLength(b), 3);
    EXPECT_EQ(LeftBytes(b, 2), (Bytes{1, 2}));
    EXPECT_EQ(LeftBytes(b, INT_MAX), b);
    EXPECT_TRUE(LeftBytes(b, -1).empty());
    EXPECT_EQ(ZeroBytes(3), (Bytes{0, 0, 0}));
    EXPECT_TRUE(ZeroBytes(INT_MIN).empty());
}

TEST(Bytes, ReplaceIsExactAndByteWise) {
    Bytes data{0, 'a', 0x81, 'a', 0, 'a'};
    EXPECT_EQ(ReplaceBytes(data, {'a'}, {'b', 'b'}), (Bytes{0, 'b', 'b', 0x81, 'b', 'b', 0, 'b', 'b'}));
    EXPECT_EQ(ReplaceBytes(data, {'a'}, {}, 3, 1), (Bytes{0, 'a', 0x81, 0, 'a'}));
    EXPECT_EQ(ReplaceBytes(data, {'A'}, {'x'}), data);
    EXPECT_EQ(ReplaceBytes(data, {}, {'x'}), data);
    EXPECT_EQ(ReplaceBytes(data, {'a'}, {'x'}, INT_MAX), data);
    EXPECT_EQ(ReplaceBytes(data, {0}, {}, INT_MIN, INT_MIN), (Bytes{'a', 0x81, 'a', 'a'}));
}

TEST(Bytes, ReadValuesInSequence) {
    Bytes data = ToBytes(std::int16_t{-2});
    for (std::uint8_t b : ToBytes(2.5)) data.push_back(b);
    for (std::uint8_t b : ToBytes(Text("hi"))) data.push_back(b);
    data.push_back(0);
    data.push_back(7);

    int pos = 1;
    EXPECT_EQ(std::get<std::int16_t>(ReadBytesValue(data, kShortValue, &pos)), -2);
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(std::get<double>(ReadBytesValue(data, kDoubleValue, &pos)), 2.5);
    EXPECT_EQ(std::get<Text>(ReadBytesValue(data, kTextValue, &pos)), Text("hi"));
    EXPECT_EQ(pos, 14);
    EXPECT_EQ(std::get<std::uint8_t>(ReadBytesValue(data, kByteValue, &pos)), 7);
    EXPECT_EQ(pos, -1);  // the end was reached
}

TEST(Bytes, MissingBytesReadAsZero) {
    Bytes data{0x01, 0x02};
    int pos = 2;
    EXPECT_EQ(std::get<std::int32_t>(ReadBytesValue(data, kIntValue, &pos)), 0x02);
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(std::get<std::int64_t>(ReadBytesValue(data, kInt64Value)), 0x0201);
    EXPECT_EQ(std::get<bool>(ReadBytesValue(Bytes{}, kBoolValue)), false);
    EXPECT_EQ(std::get<Text>(ReadBytesValue(Bytes{'a', 'b'}, kTextValue)), Text("ab"));
    EXPECT_EQ(std::get<DateTime>(ReadBytesValue(ToBytes(42000.5), kDateTimeValue)).days, 42000.5);
    EXPECT_EQ(std::get<std::uintptr_t>(ReadBytesValue(Bytes{1, 0, 0, 0, 9}, kAddressValue)), 1u);
    // Positions outside the array read nothing and end the sequence.
    for (int bad : {-1, 0, 3, INT_MAX, INT_MIN}) {
        pos = bad;
        EXPECT_EQ(std::get<std::int32_t>(ReadBytesValue(data, kIntValue, &pos)), 0) << bad;
        EXPECT_EQ(pos, -1);
        pos = bad;
        EXPECT_EQ(std::get<Text>(ReadBytesValue(data, kTextValue, &pos)), Text()) << bad;
        EXPECT_EQ(pos, -1);
    }
}

TEST(BytesDeathTest, UnknownKindIsFatal) {
    EXPECT_EXIT(ReadBytesValue(Bytes{1}, 11), testing::ExitedWithCode(255), "欲取出数据的类型");
    EXPECT_EXIT(ReadBytesValue(Bytes{1}, 0), testing::ExitedWithCode(255), "");
}

}  // namespace
}  // namespace ovx
