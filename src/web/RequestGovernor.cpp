#include "web/RequestGovernor.h"

#include <algorithm>
#include <climits>
#include <thread>

#include "runtime/SettingsFile.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/RequestTrace.h"

namespace ovx {

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using TimePoint = GovernorClock::TimePoint;

constexpr milliseconds kSlice{1000};    // the longest sleep between stop checks
constexpr milliseconds kTurnPoll{200};  // how often a thread waiting its turn looks up
constexpr double kThrottleExtra = 0.2;  // random extra on a throttling wait
constexpr double kPacingExtra = 0.5;    // random extra on the pacing interval
constexpr std::string_view kRetryAfter = "retry-after";

// delta-seconds: one or more digits and nothing else; saturates at INT_MAX.
std::optional<int> DeltaSeconds(std::string_view value) {
    value = TrimAsciiSpaces(value);
    if (value.empty()) return std::nullopt;
    long long n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        n = std::min<long long>(n * 10 + (c - '0'), INT_MAX);
    }
    return static_cast<int>(n);
}

milliseconds Scaled(milliseconds base, double factor) {
    return milliseconds(static_cast<milliseconds::rep>(static_cast<double>(base.count()) * factor));
}

}  // namespace

GovernorSettings GovernorSettings::From(const StoredSettings& stored) {
    GovernorSettings s;
    s.interval = milliseconds(stored.requestIntervalMs);
    s.throttleWait = seconds(stored.throttleWaitSeconds);
    s.maxWait = seconds(stored.throttleMaxWaitSeconds);
    s.maxThrottled = stored.throttleRetries;
    return s;
}

SystemGovernorClock::SystemGovernorClock(std::optional<std::uint32_t> seed)
    : random_(seed ? *seed : std::random_device{}()) {}

TimePoint SystemGovernorClock::Now() {
    return std::chrono::steady_clock::now();
}

bool SystemGovernorClock::Sleep(milliseconds duration) {
    StopFlag* flag = CurrentStopFlag();
    if (!flag) {
        std::this_thread::sleep_for(duration);
        return true;
    }
    return flag->WaitFor(duration);
}

double SystemGovernorClock::Fraction() {
    std::lock_guard lock(mutex_);
    return std::uniform_real_distribution<double>(0.0, 1.0)(random_);
}

RequestGovernor::RequestGovernor(GovernorSettings settings, GovernorClock* clock)
    : settings_(settings) {
    if (!clock) {
        ownClock_ = std::make_unique<SystemGovernorClock>();
        clock = ownClock_.get();
    }
    clock_ = clock;
}

GovernorSettings RequestGovernor::Settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

void RequestGovernor::SetInterval(milliseconds interval) {
    {
        std::lock_guard lock(mutex_);
        settings_.interval = interval;
    }
    turn_.notify_all();
}

bool RequestGovernor::BeforePaced(milliseconds* waited) {
    const TimePoint begin = clock_->Now();
    const double fraction = kPacingExtra * clock_->Fraction();
    bool granted = false;
    std::unique_lock lock(mutex_);
    while (!StopRequested()) {
        const milliseconds interval = std::max(settings_.interval, milliseconds(0));
        const milliseconds extra = Scaled(interval, fraction);
        if (pacedInFlight_) {
            // One paced request at a time; a raised stop flag does not wake this wait, so look
            // up every so often.
            turn_.wait_for(lock, kTurnPoll);
            continue;
        }
        TimePoint target = holdUntil_;
        if (lastPacedEnd_) target = std::max(target, *lastPacedEnd_ + interval + extra);
        if (clock_->Now() >= target) {
            pacedInFlight_ = true;
            granted = true;
            break;
        }
        lock.unlock();
        const bool stayed = WaitUntil(target, {});
        lock.lock();
        if (!stayed) break;
        // Another thread may have gone first, or a throttling answer set a hold: look again.
    }
    const auto spent = std::chrono::duration_cast<milliseconds>(clock_->Now() - begin);
    lastPacedWait_ = spent;
    if (waited) *waited = spent;
    if (granted) NoteWaitBeforeRequest(spent);
    return granted;
}

void RequestGovernor::AfterPaced() {
    {
        std::lock_guard lock(mutex_);
        pacedInFlight_ = false;
        lastPacedEnd_ = clock_->Now();
    }
    turn_.notify_all();
}

milliseconds RequestGovernor::LastPacedWait() const {
    std::lock_guard lock(mutex_);
    return lastPacedWait_;
}

bool RequestGovernor::IsThrottling(int status) {
    return status == 418 || status == 429 || status == 432 || status == 503;
}

std::optional<int> RequestGovernor::RetryAfterSeconds(std::string_view rawHeaders) {
    std::optional<int> found;
    bool seen = false;  // only the first Retry-After of a response counts
    while (!rawHeaders.empty()) {
        const std::size_t end = rawHeaders.find('\n');
        std::string_view line = rawHeaders.substr(0, end);
        rawHeaders.remove_prefix(end == std::string_view::npos ? rawHeaders.size() : end + 1);
        if (StartsWithNoCase(line, "HTTP/")) {
            // The status line of a further response (after a redirect or a 100 Continue).
            found.reset();
            seen = false;
        } else if (!seen && StartsWithNoCase(line, kRetryAfter) &&
                   line.size() > kRetryAfter.size() && line[kRetryAfter.size()] == ':') {
            seen = true;
            found = DeltaSeconds(line.substr(kRetryAfter.size() + 1));
        }
    }
    return found;
}

milliseconds RequestGovernor::ThrottleWait(int k, std::optional<int> retryAfter) {
    const milliseconds cap = std::max(milliseconds(settings_.maxWait), milliseconds(0));
    milliseconds base;
    if (retryAfter && *retryAfter >= 0) {
        base = std::min(milliseconds(seconds(std::max(*retryAfter, 1))), cap);
    } else {
        base = std::max(milliseconds(settings_.throttleWait), milliseconds(1));
        // Doubling stops at the cap, so a large k neither loops long nor overflows.
        for (int i = 1; i < k && base < cap; ++i) base *= 2;
        base = std::min(base, cap);
    }
    return base + Scaled(base, kThrottleExtra * clock_->Fraction());
}

void RequestGovernor::HoldPacedUntil(TimePoint until) {
    std::lock_guard lock(mutex_);
    holdUntil_ = std::max(holdUntil_, until);
}

bool RequestGovernor::AwaitHold() {
    for (;;) {
        TimePoint until;
        {
            std::lock_guard lock(mutex_);
            until = holdUntil_;
        }
        if (!WaitUntil(until, {})) return false;
        // A later throttling answer may have moved the hold on meanwhile.
        std::lock_guard lock(mutex_);
        if (holdUntil_ <= until) return true;
    }
}

bool RequestGovernor::WaitUntil(TimePoint until, const std::function<void(int)>& tick) {
    for (;;) {
        if (StopRequested()) return false;
        const TimePoint now = clock_->Now();
        if (now >= until) return true;
        const auto left = std::chrono::ceil<milliseconds>(until - now);
        const auto secondsLeft = static_cast<int>((left + kSlice - milliseconds(1)) / kSlice);
        if (tick) tick(secondsLeft);
        // Sleep to the next whole second left, so the countdown steps by one.
        const milliseconds slice = left - kSlice * (secondsLeft - 1);
        if (!clock_->Sleep(slice)) return false;
    }
}

GovernedOutcome RequestGovernor::Run(const std::function<Attempt()>& perform,
                                     const ThrottleObserver& observer, bool paced) {
    int throttled = 0;
    const auto finish = [&](GovernedOutcome outcome) {
        if (throttled > 0 && observer.ended) observer.ended(outcome, throttled);
        return outcome;
    };
    for (;;) {
        if (paced ? !BeforePaced() : StopRequested()) return finish(GovernedOutcome::Stopped);
        Attempt attempt;
        {
            // The paced turn ends with the request, also when `perform` throws.
            struct TurnEnd {
                RequestGovernor* governor;
                ~TurnEnd() {
                    if (governor) governor->AfterPaced();
                }
            } turnEnd{paced ? this : nullptr};
            attempt = perform();
        }
        if (!IsThrottling(attempt.status)) return finish(GovernedOutcome::Answered);
        ++throttled;
        if (throttled >= settings_.maxThrottled) return finish(GovernedOutcome::GaveUp);

        const milliseconds wait = ThrottleWait(throttled, attempt.retryAfter);
        if (throttled == 1 && observer.started) observer.started(attempt.status, wait);
        const TimePoint waitBegin = clock_->Now();
        const TimePoint until = waitBegin + wait;
        HoldPacedUntil(until);
        const auto tick = [&](int secondsLeft) {
            if (observer.tick) observer.tick(attempt.status, secondsLeft, throttled);
        };
        if (!WaitUntil(until, tick)) return finish(GovernedOutcome::Stopped);
        NoteWaitBeforeRequest(std::chrono::duration_cast<milliseconds>(clock_->Now() - waitBegin));
    }
}

}  // namespace ovx
