#pragma once
// A governor clock for tests: a sleep moves the clock on at once. Once the sleeps reach
// `stopAfter`, the thread's stop flag is raised, as by a user pressing stop during that wait.
// Header-only.

#include <chrono>
#include <optional>

#include "runtime/StopFlag.h"
#include "web/RequestGovernor.h"

namespace ovx::test {

class VirtualClock : public GovernorClock {
  public:
    TimePoint Now() override { return now; }
    bool Sleep(std::chrono::milliseconds d) override {
        if (stopAfter && slept + d >= *stopAfter) {
            CurrentStopFlag()->Raise();
            return false;
        }
        now += d;
        slept += d;
        return true;
    }
    double Fraction() override { return fraction; }

    TimePoint now = TimePoint{} + std::chrono::hours(1);
    double fraction = 0;
    std::chrono::milliseconds slept{0};
    std::optional<std::chrono::milliseconds> stopAfter;
};

}  // namespace ovx::test
