#pragma once
// The request governor of one session, shared by its runs and threads: it paces the requests
// that ask for it (the web API's JSON calls) and waits out throttling answers (HTTP 418, 429,
// 432, 503) with a growing back-off before trying the same request again, for every protocol.
// Every wait counts down through an observer and ends at once when the calling thread's job
// is asked to stop (runtime/StopFlag.h). The time a request was held back goes to the calling
// thread's request trace (web/RequestTrace.h), with the request that follows.
//
// Pacing is measured from the end of the last paced request: BeforePaced() waits until the
// interval plus a random extra of up to half of it has passed since the matching AfterPaced(),
// and paced requests of all threads go one at a time. After a throttling answer, paced
// requests of the other threads also hold off until the wait is over.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string_view>

namespace ovx {

struct StoredSettings;

struct GovernorSettings {
    std::chrono::milliseconds interval{1500};  // least time between two paced requests
    std::chrono::seconds throttleWait{30};     // the first wait after a throttling answer
    std::chrono::seconds maxWait{600};         // the longest (before its random extra)
    int maxThrottled = 8;  // throttling answers in a row to one request before giving up

    // The "网络" settings as SettingsFile reads them (already clamped).
    static GovernorSettings From(const StoredSettings& stored);
};

// Time and randomness, replaceable by tests.
class GovernorClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~GovernorClock() = default;
    virtual TimePoint Now() = 0;
    // Waits `duration`; false at once (or as soon as it is raised during the wait) when the
    // calling thread's job is asked to stop.
    virtual bool Sleep(std::chrono::milliseconds duration) = 0;
    // A random fraction in [0, 1).
    virtual double Fraction() = 0;
};

// steady_clock, StopFlag::WaitFor on the calling thread's flag, and a seeded Mersenne twister
// (seeded from std::random_device without a seed).
class SystemGovernorClock : public GovernorClock {
  public:
    explicit SystemGovernorClock(std::optional<std::uint32_t> seed = std::nullopt);
    TimePoint Now() override;
    bool Sleep(std::chrono::milliseconds duration) override;
    double Fraction() override;

  private:
    std::mutex mutex_;
    std::mt19937 random_;
};

// One try of a governed request: the HTTP status (0 when there was no answer at all) and the
// answer's Retry-After, if any (RequestGovernor::RetryAfterSeconds).
struct Attempt {
    int status = 0;
    std::optional<int> retryAfter;
};

enum class GovernedOutcome {
    Answered,  // the last try got a non-throttling answer (or none): the caller judges it
    Stopped,   // the thread's job was asked to stop before or during a wait
    GaveUp,    // maxThrottled throttling answers in a row
};

// What a front end and the log see of throttling. Every member may be empty.
struct ThrottleObserver {
    // Once per episode, at the first throttling answer to a request (k = 1).
    std::function<void(int status, std::chrono::milliseconds wait)> started;
    // At the start of every wait and then about once a second: the seconds left (rounded up)
    // before the k-th retry, after a throttling answer with `status`.
    std::function<void(int status, int secondsLeft, int k)> tick;
    // The episode is over: the request was answered, the job stopped or the governor gave up
    // after `throttled` throttling answers in a row. Only after an episode began.
    std::function<void(GovernedOutcome outcome, int throttled)> ended;
};

class RequestGovernor {
  public:
    // With the system clock; `clock` must outlive the governor when given.
    explicit RequestGovernor(GovernorSettings settings, GovernorClock* clock = nullptr);
    RequestGovernor(const RequestGovernor&) = delete;
    RequestGovernor& operator=(const RequestGovernor&) = delete;

    // The settings in force (the interval as last set).
    GovernorSettings Settings() const;
    // A new least time between two paced requests, for every paced request that has not begun
    // its wait yet; callable from any thread while requests run.
    void SetInterval(std::chrono::milliseconds interval);

    // Waits for this thread's turn to make a paced request. False (at once, or within the wait)
    // when the job is asked to stop; then no AfterPaced() follows. `waited`, when given, gets
    // the time spent here. Every true must be followed by AfterPaced() when the request ends
    // (with or without an answer), or the other threads' paced requests wait for it.
    bool BeforePaced(std::chrono::milliseconds* waited = nullptr);
    void AfterPaced();
    // The time the most recent BeforePaced() of any thread spent waiting.
    std::chrono::milliseconds LastPacedWait() const;

    static bool IsThrottling(int status);  // 418, 429, 432, 503
    // The Retry-After of the last response in a raw header block (CR LF or LF separated
    // lines; a status line starts a new response), in delta-seconds. Absent for a missing
    // header, an HTTP date or anything not a plain non-negative whole number; a number beyond
    // the int range reads as the int maximum.
    static std::optional<int> RetryAfterSeconds(std::string_view rawHeaders);

    // The wait before retrying after the k-th throttling answer in a row (k from 1): the
    // answer's Retry-After when given (at least a second, at most maxWait), else throttleWait
    // doubled k - 1 times up to maxWait; plus a random extra of up to 20 %.
    std::chrono::milliseconds ThrottleWait(int k, std::optional<int> retryAfter);

    // Waits until the hold a throttling answer to any thread's request set is over: work that
    // would start a new request asks this first. False when the job is asked to stop.
    bool AwaitHold();

    // Makes one request through the governor: paces it when asked, performs it, and while the
    // answer is a throttling answer waits ThrottleWait and performs it again.
    GovernedOutcome Run(const std::function<Attempt()>& perform,
                        const ThrottleObserver& observer = {}, bool paced = false);

  private:
    // Waits until `until` in slices of at most a second, ticking the observer's countdown when
    // `tick` is set; false when the job was asked to stop.
    bool WaitUntil(GovernorClock::TimePoint until,
                   const std::function<void(int secondsLeft)>& tick);
    // Holds other threads' paced requests off until `until`.
    void HoldPacedUntil(GovernorClock::TimePoint until);

    GovernorSettings settings_;
    std::unique_ptr<SystemGovernorClock> ownClock_;
    GovernorClock* clock_;

    mutable std::mutex mutex_;
    std::condition_variable turn_;  // a paced request ended
    bool pacedInFlight_ = false;
    std::optional<GovernorClock::TimePoint> lastPacedEnd_;
    GovernorClock::TimePoint holdUntil_{};
    std::chrono::milliseconds lastPacedWait_{0};
};

}  // namespace ovx
