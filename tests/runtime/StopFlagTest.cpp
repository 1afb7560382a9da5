#include <gtest/gtest.h>

#include <thread>

#include "runtime/StopFlag.h"

namespace ovx {
namespace {

TEST(StopFlag, RaisingWakesAWaitAndIsSeenThroughTheThreadsFlag) {
    StopFlag flag;
    EXPECT_FALSE(StopRequested());
    {
        ScopedStopFlag scope(&flag);
        EXPECT_EQ(CurrentStopFlag(), &flag);
        EXPECT_TRUE(flag.WaitFor(std::chrono::milliseconds(1)));
        std::thread raiser([&] { flag.Raise(); });
        // Would take an hour if the raise did not wake the wait.
        EXPECT_FALSE(flag.WaitFor(std::chrono::hours(1)));
        raiser.join();
        EXPECT_TRUE(StopRequested());
    }
    EXPECT_EQ(CurrentStopFlag(), nullptr);
    flag.Reset();
    EXPECT_FALSE(flag.Raised());
}

}  // namespace
}  // namespace ovx
