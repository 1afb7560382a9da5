// Waits on the window's thread keep the window's events flowing; waits elsewhere do not
// touch the window's event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/GuiPumpingDelay.h"
#include "web/PumpingDelay.h"

namespace ovx {
namespace {

TEST(GuiPumpingDelayTest, TheWindowKeepsWorkingDuringAWait) {
    InstallGuiPumpingDelay();
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    bool posted = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { posted = true; }, Qt::QueuedConnection);

    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(PumpingDelay(300));
    EXPECT_GE(clock.elapsed(), 300) << "the wait ended early";
    EXPECT_TRUE(posted);
    EXPECT_GE(ticks, 2);

    // A worker's wait does not run the window's loop; it simply waits.
    std::atomic<bool> done{false};
    std::thread worker([&] {
        PumpingDelay(20);
        done = true;
    });
    worker.join();
    EXPECT_TRUE(done.load());
    SetPumpingDelayHandler({});
}

TEST(GuiPumpingDelayTest, ANestedWaitDoesNotHoldUpTheOuterOne) {
    // A click handler that itself waits, during an outer wait: both return.
    bool innerDone = false;
    QTimer::singleShot(10, [&] {
        GuiPumpingWait(50);
        innerDone = true;
    });
    GuiPumpingWait(100);
    EXPECT_TRUE(innerDone);
    GuiPumpingWait(0);
    GuiPumpingWait(-5);
}

}  // namespace
}  // namespace ovx
