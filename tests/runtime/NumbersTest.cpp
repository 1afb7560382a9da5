#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <thread>

#include "runtime/Numbers.h"

namespace ovx {
namespace {

TEST(Numbers, BitOrAndFloor) {
    EXPECT_EQ(BitOr({0x2000, 0x10, 0x4}), 0x2014);
    EXPECT_EQ(FloorInt(-2.5), -3);
    EXPECT_EQ(FloorInt(2.5), 2);
    EXPECT_EQ(FloorInt(2.9999999999995), 3);
    EXPECT_EQ(FloorInt(-2.9999999999995), -3);
    EXPECT_EQ(FloorInt(2.999999999), 2);
    EXPECT_EQ(FloorInt(-0.0000001), -1);
    EXPECT_EQ(FloorInt(1e300), INT_MAX);
    EXPECT_EQ(FloorInt(-1e300), INT_MIN);
    EXPECT_EQ(FloorInt(NAN), 0);
}

TEST(Numbers, GeneratorSequenceIsFixed) {
    // state * 214013 + 2531011, (state >> 16) & 0x7FFF, from seed 1.
    SeedRandom(1);
    EXPECT_EQ(RandomInt(0, 32767), 41);
    EXPECT_EQ(RandomInt(0, 32767), 18467);
    EXPECT_EQ(RandomInt(0, 32767), 6334);
    SeedRandom(1);
    EXPECT_EQ(RandomInt(10, 99), 10 + 41 % 90);
}

TEST(Numbers, RandomIntBounds) {
    SeedRandom(12345);
    for (int i = 0; i < 2000; ++i) {
        int v = RandomInt(10, 99);
        ASSERT_GE(v, 10);
        ASSERT_LE(v, 99);
        int w = RandomInt(99, 10);  // the smaller bound is the low end
        ASSERT_GE(w, 10);
        ASSERT_LE(w, 99);
        int x = RandomInt(-5, 3);  // negative bounds count as 0
        ASSERT_GE(x, 0);
        ASSERT_LE(x, 3);
        int y = RandomInt();
        ASSERT_GE(y, 0);
        ASSERT_LE(y, 32767);
        int z = RandomInt(INT_MAX - 1, INT_MAX);
        ASSERT_GE(z, INT_MAX - 1);
    }
    // Equal bounds give the bound and leave the generator alone.
    SeedRandom(1);
    EXPECT_EQ(RandomInt(5, 5), 5);
    EXPECT_EQ(RandomInt(-3, 0), 0);
    EXPECT_EQ(RandomInt(0, 32767), 41);
}

TEST(Numbers, UnseededSeedingsDiffer) {
    std::set<int> firsts;
    for (int i = 0; i < 20; ++i) {
        SeedRandom();
        firsts.insert(RandomInt(0, 32767) * 32768 + RandomInt(0, 32767));
    }
    EXPECT_GT(firsts.size(), 15u);
}

TEST(Numbers, GeneratorStateIsPerThread) {
    SeedRandom(1);
    std::thread other([] {
        SeedRandom(999);
        RandomInt();
    });
    other.join();
    EXPECT_EQ(RandomInt(0, 32767), 41);
}

}  // namespace
}  // namespace ovx
