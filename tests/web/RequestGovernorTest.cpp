// The request governor: how long it waits after throttling answers, how it reads Retry-After,
// its retry loop (giving up, starting afresh, stopping), and pacing measured from the end of
// the last paced request, one paced request at a time across threads. Most tests run on a
// virtual clock, so their waits are exact and take no time.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/StopFlag.h"
#include "web/RequestGovernor.h"

namespace ovx {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using namespace std::chrono_literals;

// Virtual time: a sleep moves the clock on at once. The thread's stop flag is raised once the
// sleeps reach `stopAfter`, as a user pressing stop during that wait.
class VirtualClock : public GovernorClock {
  public:
    TimePoint Now() override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    bool Sleep(milliseconds duration) override {
        std::lock_guard lock(mutex_);
        if (stopAfter && slept + duration >= *stopAfter) {
            now_ += *stopAfter - slept;
            slept = *stopAfter;
            CurrentStopFlag()->Raise();
            return false;
        }
        now_ += duration;
        slept += duration;
        return true;
    }
    double Fraction() override { return fraction; }
    void Advance(milliseconds d) {
        std::lock_guard lock(mutex_);
        now_ += d;
    }

    double fraction = 0;
    milliseconds slept{0};
    std::optional<milliseconds> stopAfter;

  private:
    std::mutex mutex_;
    TimePoint now_ = TimePoint{} + 1h;
};

GovernorSettings Short(int maxThrottled = 8) {
    GovernorSettings s;
    s.interval = 1000ms;
    s.throttleWait = 30s;
    s.maxWait = 600s;
    s.maxThrottled = maxThrottled;
    return s;
}

TEST(RequestGovernor, ThrottlingWaitsDoubleUpToTheCapAndRetryAfterIsTakenAsGiven) {
    struct Case {
        int k;
        std::optional<int> retryAfter;
        double fraction;
        milliseconds expected;
    };
    const Case cases[] = {
        {1, std::nullopt, 0, 30s},
        {2, std::nullopt, 0, 60s},
        {5, std::nullopt, 0, 480s},
        {6, std::nullopt, 0, 600s},  // 960 s capped
        {64, std::nullopt, 0, 600s},
        {INT_MAX, std::nullopt, 0, 600s},
        {0, std::nullopt, 0, 30s},  // out of range: as the first
        {1, std::nullopt, 0.5, 33s},
        {6, std::nullopt, 0.5, 660s},  // the extra comes on top of the cap
        {3, 120, 0, 120s},             // not doubled
        {3, 120, 0.5, 132s},
        {1, 100000, 0, 600s},  // capped
        {1, INT_MAX, 0, 600s},
        {1, 0, 0, 1s},    // at least a second
        {2, -1, 0, 60s},  // negative: as absent
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
    for (int k = 1; k <= 8; ++k) {
        const milliseconds base = std::min<milliseconds>(30s * (1 << (k - 1)), 600s);
        for (int i = 0; i < 50; ++i) {
            const milliseconds wait = real.ThrottleWait(k, std::nullopt);
            EXPECT_GE(wait, base);
            EXPECT_LE(wait, base * 6 / 5);
        }
    }
}

TEST(RequestGovernor, AnswersAreJudgedByStatusAndRetryAfterHeader) {
    for (int status : {418, 429, 432, 503}) EXPECT_TRUE(RequestGovernor::IsThrottling(status));
    for (int status : {0, 200, 302, 403, 404, 500, 502})
        EXPECT_FALSE(RequestGovernor::IsThrottling(status));

    const std::pair<const char*, std::optional<int>> headers[] = {
        {"HTTP/1.1 429 Too Many Requests\r\nRetry-After: 120\r\nServer: x", 120},
        {"HTTP/1.1 418\nretry-after:5\n", 5},
        {"HTTP/2 503\r\nRETRY-AFTER: \t7  \r\n\r\n", 7},
        {"HTTP/1.1 503\r\nRetry-After: 3\r\nRetry-After: 9\r\n", 3},
        {"HTTP/1.1 429\r\nRetry-After: 99999999999999999999999\r\n", INT_MAX},
        {"HTTP/1.1 429\r\nRetry-After: Wed, 21 Oct 2015 07:28:00 GMT\r\n", std::nullopt},
        {"HTTP/1.1 429\r\nRetry-After: -5\r\n", std::nullopt},
        {"HTTP/1.1 429\r\nRetry-After: 12abc\r\n", std::nullopt},
        {"HTTP/1.1 429\r\nRetry-After: 1.5\r\n", std::nullopt},
        {"HTTP/1.1 429\r\nRetry-After:\r\n", std::nullopt},
        {"HTTP/1.1 429\r\nX-Retry-After: 5\r\nRetry-After-Ms: 5\r\n", std::nullopt},
        {"HTTP/1.1 429\r\nRetry-After : 5\r\n", std::nullopt},
        {"", std::nullopt},
        // After a redirect, only the last response counts.
        {"HTTP/1.1 302 Found\r\nRetry-After: 5\r\n\r\nHTTP/1.1 418\r\nServer: x\r\n", std::nullopt},
        {"HTTP/1.1 302 Found\r\n\r\nHTTP/1.1 429\r\nRetry-After: 9", 9},
    };
    for (const auto& [raw, expected] : headers)
        EXPECT_EQ(RequestGovernor::RetryAfterSeconds(raw), expected) << raw;
}

// Plays back a list of answers and counts the tries.
struct Script {
    std::deque<Attempt> answers;
    int tries = 0;
    std::function<Attempt()> Perform() {
        return [this] {
            ++tries;
            Attempt a = answers.front();
            answers.pop_front();
            return a;
        };
    }
};

// The events an observer sees, in short.
struct Seen {
    int started = 0;
    milliseconds firstWait{0};
    std::vector<std::tuple<int, int, int>> ticks;  // status, seconds left, k
    std::vector<std::pair<GovernedOutcome, int>> ended;
    ThrottleObserver Observer() {
        return {[this](int, milliseconds wait) {
                    ++started;
                    firstWait = wait;
                },
                [this](int status, int left, int k) { ticks.emplace_back(status, left, k); },
                [this](GovernedOutcome o, int n) { ended.emplace_back(o, n); }};
    }
};

TEST(RequestGovernor, RetriesTheSameRequestUntilAnsweredOrGivesUpAfterTheLimit) {
    VirtualClock clock;
    RequestGovernor governor(Short(3), &clock);

    // Two throttling answers, then a real one: answered after waiting 30 s and 5 s (the
    // second answer's Retry-After), one episode with a countdown for each wait.
    Script script{{{418, std::nullopt}, {429, 5}, {200, std::nullopt}}};
    Seen seen;
    EXPECT_EQ(governor.Run(script.Perform(), seen.Observer()), GovernedOutcome::Answered);
    EXPECT_EQ(script.tries, 3);
    EXPECT_EQ(clock.slept, 35s);
    EXPECT_EQ(seen.started, 1);
    EXPECT_EQ(seen.firstWait, 30s);
    ASSERT_EQ(seen.ticks.size(), 35u);
    EXPECT_EQ(seen.ticks.front(), std::make_tuple(418, 30, 1));
    EXPECT_EQ(seen.ticks[29], std::make_tuple(418, 1, 1));
    EXPECT_EQ(seen.ticks[30], std::make_tuple(429, 5, 2));
    EXPECT_EQ(seen.ticks.back(), std::make_tuple(429, 1, 2));
    EXPECT_EQ(seen.ended,
              (std::vector<std::pair<GovernedOutcome, int>>{{GovernedOutcome::Answered, 2}}));

    // The next request starts afresh: two more throttling answers do not reach the limit of
    // three, and its first wait is the short one again.
    clock.slept = 0ms;
    Script again{{{503, std::nullopt}, {503, std::nullopt}, {404, std::nullopt}}};
    EXPECT_EQ(governor.Run(again.Perform()), GovernedOutcome::Answered);
    EXPECT_EQ(clock.slept, 90s);

    // Three in a row: given up at the third, without waiting after it.
    clock.slept = 0ms;
    Script refused{{{418, std::nullopt}, {418, std::nullopt}, {418, std::nullopt}}};
    Seen gaveUp;
    EXPECT_EQ(governor.Run(refused.Perform(), gaveUp.Observer()), GovernedOutcome::GaveUp);
    EXPECT_EQ(refused.tries, 3);
    EXPECT_EQ(clock.slept, 90s);
    EXPECT_EQ(gaveUp.ended,
              (std::vector<std::pair<GovernedOutcome, int>>{{GovernedOutcome::GaveUp, 3}}));

    // No answer at all is for the caller to judge; no episode, no events.
    Script silent{{{0, std::nullopt}}};
    Seen none;
    EXPECT_EQ(governor.Run(silent.Perform(), none.Observer()), GovernedOutcome::Answered);
    EXPECT_EQ(none.started, 0);
    EXPECT_TRUE(none.ticks.empty());
    EXPECT_TRUE(none.ended.empty());
}

TEST(RequestGovernor, AStopDuringAWaitEndsTheRunAsStopped) {
    {
        // On the virtual clock: stop 7 s into the 30 s wait.
        StopFlag flag;
        ScopedStopFlag scope(&flag);
        VirtualClock clock;
        clock.stopAfter = 7s;
        RequestGovernor governor(Short(), &clock);
        Script script{{{418, std::nullopt}, {200, std::nullopt}}};
        Seen seen;
        EXPECT_EQ(governor.Run(script.Perform(), seen.Observer()), GovernedOutcome::Stopped);
        EXPECT_EQ(script.tries, 1);
        EXPECT_EQ(seen.ticks.size(), 7u);
        EXPECT_EQ(seen.ended,
                  (std::vector<std::pair<GovernedOutcome, int>>{{GovernedOutcome::Stopped, 1}}));
        // Once stopped, nothing more is tried.
        EXPECT_EQ(governor.Run(script.Perform()), GovernedOutcome::Stopped);
        EXPECT_FALSE(governor.BeforePaced());
        EXPECT_EQ(script.tries, 1);
    }

    // On the real clock, from another thread: a ten-minute throttling wait and a minute-long
    // pacing wait both end when the flag is raised (the test would time out otherwise).
    GovernorSettings slow;
    slow.interval = 60s;
    slow.throttleWait = 600s;
    {
        RequestGovernor governor(slow);
        StopFlag flag;
        std::atomic<int> tries{0};
        GovernedOutcome outcome = GovernedOutcome::Answered;
        std::thread worker([&] {
            ScopedStopFlag scope(&flag);
            outcome = governor.Run([&] {
                ++tries;
                return Attempt{418, std::nullopt};
            });
        });
        while (tries == 0) std::this_thread::sleep_for(1ms);
        flag.Raise();
        worker.join();
        EXPECT_EQ(outcome, GovernedOutcome::Stopped);
        EXPECT_EQ(tries, 1);
    }
    {
        RequestGovernor governor(slow);
        StopFlag flag;
        std::atomic<bool> first{false};
        bool second = true;
        std::thread worker([&] {
            ScopedStopFlag scope(&flag);
            first = governor.BeforePaced();
            governor.AfterPaced();
            second = governor.BeforePaced();
        });
        while (!first) std::this_thread::sleep_for(1ms);
        flag.Raise();
        worker.join();
        EXPECT_FALSE(second);
    }
}

TEST(RequestGovernor, PacingCountsFromTheEndOfTheLastPacedRequest) {
    VirtualClock clock;
    RequestGovernor governor(Short(), &clock);
    milliseconds waited{-1};

    EXPECT_TRUE(governor.BeforePaced(&waited));
    EXPECT_EQ(waited, 0ms) << "the first request goes at once";
    clock.Advance(3000ms);  // a slow request: its start is long past, its end is not
    governor.AfterPaced();
    EXPECT_TRUE(governor.BeforePaced(&waited));
    EXPECT_EQ(waited, 1000ms);
    EXPECT_EQ(governor.LastPacedWait(), 1000ms);
    governor.AfterPaced();

    clock.Advance(400ms);  // time spent between requests counts
    EXPECT_TRUE(governor.BeforePaced(&waited));
    EXPECT_EQ(waited, 600ms);
    governor.AfterPaced();

    clock.fraction = 0.5;  // the random extra: up to half the interval
    EXPECT_TRUE(governor.BeforePaced(&waited));
    EXPECT_EQ(waited, 1250ms);
    governor.AfterPaced();

    // A throttling wait holds paced requests off until it is over; pacing adds nothing after.
    clock.fraction = 0;
    clock.slept = 0ms;
    Script script{{{418, std::nullopt}, {200, std::nullopt}}};
    EXPECT_EQ(governor.Run(script.Perform(), {}, true), GovernedOutcome::Answered);
    EXPECT_EQ(clock.slept, 1000ms + 30s);
}

// Threads sharing one governor make their paced requests one at a time, each at least the
// interval after the previous one ended.
TEST(RequestGovernor, PacedRequestsOfSeveralThreadsTakeTurns) {
    GovernorSettings s;
    s.interval = 20ms;
    RequestGovernor governor(s);
    using Clock = std::chrono::steady_clock;
    std::mutex mutex;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> spans;
    int inside = 0;
    bool overlapped = false;
    const auto work = [&] {
        for (int i = 0; i < 4; ++i) {
            governor.Run(
                [&] {
                    Clock::time_point start;
                    {
                        std::lock_guard lock(mutex);
                        overlapped = overlapped || ++inside > 1;
                        start = Clock::now();
                    }
                    std::this_thread::sleep_for(2ms);
                    std::lock_guard lock(mutex);
                    --inside;
                    spans.emplace_back(start, Clock::now());
                    return Attempt{200, std::nullopt};
                },
                {}, true);
        }
    };
    std::thread a(work), b(work), c(work);
    a.join();
    b.join();
    c.join();
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(spans.size(), 12u);
    for (std::size_t i = 1; i < spans.size(); ++i)
        EXPECT_GE(spans[i].first - spans[i - 1].second, s.interval) << i;
}

}  // namespace
}  // namespace ovx
