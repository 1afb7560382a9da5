#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime/StopFlag.h"
#include "web/PumpingDelay.h"

namespace ovx {
namespace {

TEST(PumpingDelay, AStopCutsTheWaitShort) {
    StopFlag flag;
    ScopedStopFlag scope(&flag);
    std::thread stopper([&] { flag.Raise(); });
    // An hour-long wait: the test would time out if the raise did not end it.
    EXPECT_TRUE(PumpingDelay(1, DelayUnit::Hours));
    stopper.join();
    // Once stopped, further waits return at once.
    EXPECT_TRUE(PumpingDelay(3, 3));
    EXPECT_TRUE(StopRequested());
}

TEST(PumpingDelay, TheInstalledHandlerServesOnlyItsThread) {
    std::vector<long long> waits;
    std::atomic<int> pumps{0};
    // Removed again however the test ends, since it refers to the locals above.
    struct Uninstall {
        ~Uninstall() { SetPumpingDelayHandler({}); }
    } uninstall;
    SetPumpingDelayHandler({std::this_thread::get_id(),
                            [&](std::chrono::milliseconds ms) { waits.push_back(ms.count()); },
                            [&] { ++pumps; }});
    PumpingDelay(2000);
    PumpingDelay(2, 1);
    PumpingDelay(1, 2);
    PumpingDelay(5, 99);  // an unknown unit counts as milliseconds
    PumpingDelay(-5);
    PumpPendingInput();
    EXPECT_EQ(waits, (std::vector<long long>{2000, 2000, 60000, 5, 0}));
    EXPECT_EQ(pumps, 1);

    std::thread worker([] {
        StopFlag flag;
        flag.Raise();
        ScopedStopFlag scope(&flag);
        PumpingDelay(1, DelayUnit::Hours);
        PumpPendingInput();
    });
    worker.join();
    EXPECT_EQ(waits.size(), 5u);
    EXPECT_EQ(pumps, 1);

    SetPumpingDelayHandler({});
    PumpPendingInput();
    PumpingDelay(1);
    EXPECT_EQ(waits.size(), 5u);
}

}  // namespace
}  // namespace ovx
