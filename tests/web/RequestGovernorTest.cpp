// The request governor: throttling waits and Retry-After, the retry loop (giving up, starting
// afresh, stopping) and pacing from the end of the last paced request, one at a time across
// threads. Most tests run on a virtual clock, so their waits are exact and take no time.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <deque>
#include <thread>
#include <vector>

#include "VirtualClock.h"
#include "runtime/StopFlag.h"
#include "web/RequestGovernor.h"

namespace ovx {
namespace {

using std::chrono::milliseconds;
using namespace std::chrono_literals;

using test::VirtualClock;

GovernorSettings Short(int maxThrottled = 8) {
    return {1000ms, 30s, 600s, maxThrottled};
}

TEST(RequestGovernor, ThrottlingWaitsDoubleUpToTheCapAndRetryAfterIsTakenAsGiven) {
    struct Case {
        int k;
        std::optional<int> retryAfter;
        double fraction;
        milliseconds expected;
    };
    const Case cases[] = {
        {1, {}, 0, 30s},        {2, {}, 0, 60s},     {5, {}, 0, 480s},      {6, {}, 0, 600s},
        {INT_MAX, {}, 0, 600s}, {0, {}, 0, 30s},     {1, {}, 0.5, 33s},     {6, {}, 0.5, 660s},
        {3, 120, 0, 120s},      {3, 120, 0.5, 132s}, {1, INT_MAX, 0, 600s}, {1, 0, 0, 1s},
        {2, -1, 0, 60s},
    };
    VirtualClock clock;
    RequestGovernor governor(Short(), &clock);
    for (const Case& c : cases) {
        clock.fraction = c.fraction;
        EXPECT_EQ(governor.ThrottleWait(c.k, c.retryAfter), c.expected)
            << "k=" << c.k << " retryAfter=" << c.retryAfter.value_or(-99);
    }
    // With real randomness the extra stays within 0..20 % of the base.
    SystemGovernorClock random(42);
    RequestGovernor real(Short(), &random);
    for (int i = 0; i < 200; ++i) {
        const milliseconds wait = real.ThrottleWait(2, std::nullopt);
        EXPECT_TRUE(wait >= 60s && wait <= 72s) << wait.count();
    }
}

TEST(RequestGovernor, RetryAfterIsReadFromTheLastResponseInDeltaSecondsOnly) {
    const std::pair<const char*, std::optional<int>> headers[] = {
        {"HTTP/1.1 429 Too Many\r\nRetry-After: 120\r\nServer: x", 120},
        {"HTTP/2 503\nRETRY-AFTER: \t7  \n\n", 7},
        {"HTTP/1.1 429\r\nRetry-After: 99999999999999999999999\r\n", INT_MAX},
        {"HTTP/1.1 429\r\nRetry-After: Wed, 21 Oct 2015 07:28:00 GMT\r\n", std::nullopt},
        {"HTTP/1.1 429\r\nRetry-After: -5\r\n", std::nullopt},
        {"HTTP/1.1 429\r\nRetry-After: 12abc\r\n", std::nullopt},
        {"HTTP/1.1 429\r\nRetry-After:\r\nX-Retry-After: 5\r\nRetry-After-Ms: 5\r\n", {}},
        // After a redirect, only the last response counts.
        {"HTTP/1.1 302 Found\r\nRetry-After: 5\r\n\r\nHTTP/1.1 418\r\nServer: x\r\n", {}},
        {"HTTP/1.1 302 Found\r\n\r\nHTTP/1.1 429\r\nRetry-After: 9", 9},
    };
    for (const auto& [raw, expected] : headers)
        EXPECT_EQ(RequestGovernor::RetryAfterSeconds(raw), expected) << raw;
}

// Plays back answers, counting the tries; records what an observer sees.
struct Script {
    Script(std::initializer_list<Attempt> list) : answers(list) {}

    std::deque<Attempt> answers;
    int tries = 0;
    int started = 0;
    std::vector<std::tuple<int, int, int>> ticks;  // status, seconds left, k
    std::vector<std::pair<GovernedOutcome, int>> ended;

    std::function<Attempt()> Perform() {
        return [this] {
            ++tries;
            Attempt a = answers.front();
            answers.pop_front();
            return a;
        };
    }
    ThrottleObserver Observer() {
        return {[this](int, milliseconds) { ++started; },
                [this](int status, int left, int k) { ticks.emplace_back(status, left, k); },
                [this](GovernedOutcome o, int n) { ended.emplace_back(o, n); }};
    }
};

TEST(RequestGovernor, RetriesTheSameRequestUntilAnsweredOrGivesUpAfterTheLimit) {
    VirtualClock clock;
    RequestGovernor governor(Short(3), &clock);

    // Answered at the third try, after 30 s and the second answer's Retry-After of 5 s: one
    // episode, a countdown through each wait.
    Script s{{418, {}}, {429, 5}, {200, {}}};
    EXPECT_EQ(governor.Run(s.Perform(), s.Observer()), GovernedOutcome::Answered);
    EXPECT_EQ(s.tries, 3);
    EXPECT_EQ(clock.slept, 35s);
    EXPECT_EQ(s.started, 1);
    ASSERT_EQ(s.ticks.size(), 35u);
    EXPECT_EQ(s.ticks.front(), std::make_tuple(418, 30, 1));
    EXPECT_EQ(s.ticks[30], std::make_tuple(429, 5, 2));
    EXPECT_EQ(s.ticks.back(), std::make_tuple(429, 1, 2));
    EXPECT_EQ(s.ended, (std::vector{std::pair{GovernedOutcome::Answered, 2}}));

    // The next request starts afresh (two more do not reach the limit, and the first wait is
    // the short one again); three in a row give up without a wait after the third.
    clock.slept = 0ms;
    Script again{{503, {}}, {503, {}}, {404, {}}, {418, {}}, {418, {}}, {418, {}}};
    EXPECT_EQ(governor.Run(again.Perform()), GovernedOutcome::Answered);
    EXPECT_EQ(clock.slept, 90s);
    EXPECT_EQ(governor.Run(again.Perform(), again.Observer()), GovernedOutcome::GaveUp);
    EXPECT_EQ(again.tries, 6);
    EXPECT_EQ(clock.slept, 180s);
    EXPECT_EQ(again.ended, (std::vector{std::pair{GovernedOutcome::GaveUp, 3}}));
}

TEST(RequestGovernor, AStopDuringAWaitEndsTheRunAsStopped) {
    {
        StopFlag flag;
        ScopedStopFlag scope(&flag);
        VirtualClock clock;
        clock.stopAfter = 7s;
        RequestGovernor governor(Short(), &clock);
        Script s{{418, {}}, {200, {}}};
        EXPECT_EQ(governor.Run(s.Perform(), s.Observer()), GovernedOutcome::Stopped);
        EXPECT_EQ(s.ticks.size(), 7u);  // 30 .. 24 s left
        EXPECT_EQ(s.ended, (std::vector{std::pair{GovernedOutcome::Stopped, 1}}));
        // Once stopped, nothing more is tried.
        EXPECT_EQ(governor.Run(s.Perform()), GovernedOutcome::Stopped);
        EXPECT_FALSE(governor.BeforePaced());
        EXPECT_EQ(s.tries, 1);
    }
    // On the real clock, from another thread: a ten-minute wait ends when the flag is raised
    // (the test would time out otherwise).
    RequestGovernor governor({1000ms, 600s, 600s, 8});
    StopFlag flag;
    std::atomic<int> tries{0};
    GovernedOutcome outcome = GovernedOutcome::Answered;
    std::thread worker([&] {
        ScopedStopFlag scope(&flag);
        outcome = governor.Run([&] {
            ++tries;
            return Attempt{418, {}};
        });
    });
    while (tries == 0) std::this_thread::sleep_for(1ms);
    flag.Raise();
    worker.join();
    EXPECT_EQ(outcome, GovernedOutcome::Stopped);
    EXPECT_EQ(tries, 1);
}

// An interval set while requests run (the options page's box) paces the next request, and a
// thread may set it while another waits its turn.
TEST(RequestGovernor, ANewIntervalPacesTheNextRequest) {
    VirtualClock clock;
    RequestGovernor governor(Short(), &clock);
    const std::pair<milliseconds, milliseconds> cases[] = {
        {250ms, 250ms}, {4000ms, 4000ms}, {0ms, 0ms}, {-5ms, 0ms}};
    for (const auto& [interval, expected] : cases) {
        ASSERT_TRUE(governor.BeforePaced());
        governor.AfterPaced();
        governor.SetInterval(interval);
        milliseconds waited{-1};
        ASSERT_TRUE(governor.BeforePaced(&waited));
        governor.AfterPaced();
        EXPECT_EQ(waited, expected) << interval.count();
        EXPECT_EQ(governor.Settings().interval, interval);
    }
    // Set from another thread while paced requests go on: no request is lost or doubled.
    SystemGovernorClock real;
    RequestGovernor shared({1ms, 30s, 600s, 8}, &real);
    std::atomic<int> made{0};
    std::thread setter([&] {
        for (int i = 0; i < 200; ++i) shared.SetInterval(milliseconds(i % 2));
    });
    for (int i = 0; i < 50; ++i) {
        shared.Run([&] {
            ++made;
            return Attempt{200, {}};
        }, {}, true);
    }
    setter.join();
    EXPECT_EQ(made, 50);
}

TEST(RequestGovernor, PacingCountsFromTheEndOfTheLastPacedRequest) {
    VirtualClock clock;
    RequestGovernor governor(Short(), &clock);
    milliseconds waited{-1};
    EXPECT_TRUE(governor.BeforePaced(&waited));
    EXPECT_EQ(waited, 0ms) << "the first request goes at once";
    clock.now += 3000ms;  // a slow request: its start is long past, its end is not
    governor.AfterPaced();
    EXPECT_TRUE(governor.BeforePaced(&waited));
    EXPECT_EQ(waited, 1000ms);
    governor.AfterPaced();

    clock.now += 400ms;    // time spent between requests counts
    clock.fraction = 0.5;  // the random extra: up to half the interval
    EXPECT_TRUE(governor.BeforePaced());
    EXPECT_EQ(governor.LastPacedWait(), 850ms);
    governor.AfterPaced();

    // A throttling wait holds paced requests off until it is over; pacing adds nothing after.
    clock.fraction = 0;
    clock.slept = 0ms;
    Script s{{418, {}}, {200, {}}};
    EXPECT_EQ(governor.Run(s.Perform(), {}, true), GovernedOutcome::Answered);
    EXPECT_EQ(clock.slept, 1000ms + 30s);
}

// Threads sharing one governor make their paced requests one at a time, each at least the
// interval after the previous one ended.
TEST(RequestGovernor, PacedRequestsOfSeveralThreadsTakeTurns) {
    RequestGovernor governor({20ms, 30s, 600s, 8});
    using Clock = std::chrono::steady_clock;
    std::mutex mutex;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> spans;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    const auto request = [&] {
        if (++inside > 1) overlapped = true;
        const Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(2ms);
        --inside;
        std::lock_guard lock(mutex);
        spans.emplace_back(start, Clock::now());
        return Attempt{200, {}};
    };
    const auto work = [&] {
        for (int i = 0; i < 4; ++i) governor.Run(request, {}, true);
    };
    std::thread a(work), b(work), c(work);
    a.join();
    b.join();
    c.join();
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(spans.size(), 12u);
    for (std::size_t i = 1; i < spans.size(); ++i)
        EXPECT_GE(spans[i].first - spans[i - 1].second, 20ms) << i;
}

}  // namespace
}  // namespace ovx
